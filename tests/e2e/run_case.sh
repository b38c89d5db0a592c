#!/usr/bin/env bash
# Runs one end-to-end case folder against the executable and compares everything it produced.
# usage: run_case.sh EXECUTABLE CASE_DIR     (QUILLEX_E2E_UPDATE=1 rewrites expected/)
set -u
exe=$1
case_dir=$2
update=${QUILLEX_E2E_UPDATE:-0}

work=$(mktemp -d)
trap 'chmod -R u+rwx "$work" 2>/dev/null; rm -rf "$work"' EXIT
run="$work/run"
mkdir "$run"
if [ -d "$case_dir/input" ]; then cp -a "$case_dir/input/." "$run/"; fi

args=()
envs=()
limits=()
merge=0
if [ -f "$case_dir/args" ]; then
  while IFS= read -r line || [ -n "$line" ]; do
    case "$line" in
      '%env '*) envs+=("${line#%env }") ;;
      '%ulimit '*) limits+=("${line#%ulimit }") ;;
      '%merge') merge=1 ;;
      '%chmod '*) (cd "$run" && chmod ${line#%chmod }) ;;
      *) args+=("${line//@WORK@/$run}") ;;
    esac
  done <"$case_dir/args"
fi

run_tool() (
  cd "$run" || exit 125
  for limit in "${limits[@]+"${limits[@]}"}"; do ulimit $limit || exit 125; done
  trap '' XFSZ  # a file-size limit must show as a failed write, not kill the tool
  exec env -i PATH="$PATH" "${envs[@]+"${envs[@]}"}" "$exe" "${args[@]+"${args[@]}"}"
)
if [ "$merge" = 1 ]; then
  run_tool >"$work/stdout" 2>&1
else
  run_tool >"$work/stdout" 2>"$work/stderr"
fi
echo $? >"$work/status"
touch "$work/stderr"

# Paths under the work folder and the build's date and time differ from run to run.
normalize() {
  LC_ALL=C sed -E -e "s|$run|@WORK@|g" \
    -e 's/\(compiled at [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\)/(compiled at @DATE@ @TIME@)/' \
    "$1" >"$1.norm" && mv "$1.norm" "$1"
}
normalize "$work/stdout"
normalize "$work/stderr"
chmod -R u+rwx "$run"

expected="$case_dir/expected"
if [ "$update" = 1 ]; then
  rm -rf "$expected"
  mkdir -p "$expected/files"
  cp "$work/stdout" "$work/stderr" "$work/status" "$expected/"
  cp -a "$run/." "$expected/files/"
  echo "updated $expected"
  exit 0
fi

failed=0
for stream in stdout stderr status; do
  if ! cmp -s "$work/$stream" "$expected/$stream"; then
    echo "--- $stream differs (expected, actual):"
    diff -u --text "$expected/$stream" "$work/$stream" | head -n 60
    failed=1
  fi
done
[ -d "$expected/files" ] || mkdir -p "$work/nofiles"
files="$expected/files"
[ -d "$files" ] || files="$work/nofiles"
if ! diff -r --no-dereference "$files" "$run" >"$work/files.diff" 2>&1; then
  echo "--- output files differ (expected, actual):"
  head -n 60 "$work/files.diff"
  failed=1
fi
exit $failed
