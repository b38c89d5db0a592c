#!/usr/bin/env bash
# Runs one end-to-end case folder against the executable and compares everything it produced.
# usage: run_case.sh [--windows LAUNCHER] EXECUTABLE CASE_DIR   (QUILLEX_E2E_UPDATE=1 rewrites
#        expected/, or expected-windows/ with --windows)
# --windows: the executable is a Windows build, started through LAUNCHER (Wine); see README.md for
# how the case's `windows` file states what differs there. Exit status 77: skipped.
set -u
launcher=()
windows=0
if [ "${1-}" = --windows ]; then
  windows=1
  launcher=("$2")
  shift 2
fi
exe=$1
case_dir=$2
update=${QUILLEX_E2E_UPDATE:-0}

# What the case's `windows` file says: POSIX-only, the Wine locale, text files stored with CR LF.
posix_only=""
wine_locale=C.UTF-8
crlf_files=()
if [ "$windows" = 1 ] && [ -f "$case_dir/windows" ]; then
  while IFS= read -r line || [ -n "$line" ]; do
    case "$line" in
      'posix-only '*) posix_only=${line#posix-only } ;;
      'locale ja') wine_locale=ja_JP.UTF-8 ;;
      'crlf '*) crlf_files+=("${line#crlf }") ;;
      '' | '#'*) ;;
      *) echo "unknown line in $case_dir/windows: $line" >&2; exit 2 ;;
    esac
  done <"$case_dir/windows"
fi
# Means only POSIX has mark a case by themselves: resource limits, modes, the locale variables
# that POSIX takes the language from, symbolic links and FIFOs among the inputs.
if [ "$windows" = 1 ] && [ -z "$posix_only" ]; then
  if grep -qE '^%(ulimit|chmod) ' "$case_dir/args" 2>/dev/null; then
    posix_only="resource limits and file modes"
  elif grep -qE '^%env (LANG|LC_[A-Z]+)=' "$case_dir/args" 2>/dev/null; then
    posix_only="the console language comes from the locale variables"
  elif [ -d "$case_dir/input" ] && [ -n "$(find "$case_dir/input" -type l -o -type p | head -n 1)" ]; then
    posix_only="symbolic links or FIFOs among the inputs"
  fi
fi
if [ -n "$posix_only" ]; then
  echo "POSIX only: $posix_only"
  exit 77
fi

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
  if [ "$windows" = 1 ]; then
    # Wine's own settings pass; the locale chooses the system's language and code pages.
    exec env -i PATH="$PATH" HOME="${HOME:-/root}" ${WINEPREFIX:+WINEPREFIX="$WINEPREFIX"} \
      LC_ALL="$wine_locale" "${envs[@]+"${envs[@]}"}" "${launcher[@]}" "$exe" \
      "${args[@]+"${args[@]}"}"
  fi
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
if [ "$windows" = 1 ] && { [ -d "$case_dir/expected-windows" ] || [ "$update" = 1 ]; }; then
  # Written in full for Windows: compared as they are.
  expected="$case_dir/expected-windows"
elif [ "$windows" = 1 ]; then
  # The Windows forms of the shared expectations: the console streams are in text mode, and so
  # are the text files the case lists.
  converted="$work/expected"
  cp -a "$expected" "$converted"
  for file in stdout stderr "${crlf_files[@]/#/files/}"; do
    [ -f "$converted/$file" ] || { echo "no expected file $file to convert" >&2; exit 2; }
    sed -i 's/$/\r/' "$converted/$file"
    # sed adds a line end to a last line that had none: keep the file's own ending.
    if [ -n "$(tail -c 1 "$expected/$file")" ]; then truncate -s -1 "$converted/$file"; fi
  done
  expected=$converted
fi
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
