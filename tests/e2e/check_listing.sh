#!/usr/bin/env bash
# Runs a list-* case's command line twice in fresh copies of its input: with --list-outputs, and
# without it (a real run). The listing must name exactly the files the real run created or
# changed, each once.
# usage: check_listing.sh [--windows LAUNCHER] EXECUTABLE CASE_DIR   (--windows: as run_case.sh)
set -u
launcher=()
if [ "${1-}" = --windows ]; then
  launcher=("$2")
  shift 2
fi
exe=$1
case_dir=$2

if [ ${#launcher[@]} -gt 0 ] && [ -n "$(find "$case_dir/input" -type l | head -n 1)" ]; then
  echo "POSIX only: symbolic links among the inputs"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
listing=()
real=()
while IFS= read -r line || [ -n "$line" ]; do
  case "$line" in
    '%'*) ;;
    --list-outputs) listing+=("$line") ;;
    *) listing+=("$line"); real+=("$line") ;;
  esac
done <"$case_dir/args"

for run in list real; do
  mkdir "$work/$run"
  cp -a "$case_dir/input/." "$work/$run/"
done
# Inputs keep an old time stamp, so that a file the run changed stands out.
find "$work/real" -exec touch -h -d '2000-01-01' {} +

tool() {
  if [ ${#launcher[@]} -gt 0 ]; then
    env -i PATH="$PATH" HOME="${HOME:-/root}" ${WINEPREFIX:+WINEPREFIX="$WINEPREFIX"} \
      LC_ALL=C.UTF-8 "${launcher[@]}" "$exe" "$@"
  else
    env -i PATH="$PATH" "$exe" "$@"
  fi
}
(cd "$work/list" && tool "${listing[@]}") >"$work/listed" || exit 1
# A listing that cannot be written whole is a failure, not a success with a cut list.
if [ ${#launcher[@]} -eq 0 ] && [ -w /dev/full ]; then
  if (cd "$work/list" && tool "${listing[@]}") >/dev/full 2>"$work/full.err"; then
    echo "a listing to a full device exited 0"
    exit 1
  fi
  grep -q '^Error: Failed to write file: standard output$' "$work/full.err" || {
    echo "a listing to a full device said:"
    cat "$work/full.err"
    exit 1
  }
  # Nor is one with standard output closed, which goes nowhere.
  if (cd "$work/list" && tool "${listing[@]}") >&- 2>"$work/closed.err"; then
    echo "a listing with standard output closed exited 0"
    exit 1
  fi
  grep -q '^Error: Failed to write file: standard output$' "$work/closed.err" || {
    echo "a listing with standard output closed said:"
    cat "$work/closed.err"
    exit 1
  }
fi
# The folders of the outputs are made first, as a build does: the tool makes none.
(cd "$work/real" && tr -d '\r' <"$work/listed" | tr '\\' / | while IFS= read -r path; do
  mkdir -p "$(dirname "$path")"
done)
(cd "$work/real" && tool "${real[@]}") >/dev/null || exit 1

# Paths as the tool prints them: relative to the run folder, or absolute. On Windows the console
# lines end in CR LF and the platform's join puts a backslash.
if [ ${#launcher[@]} -gt 0 ]; then
  tr -d '\r' <"$work/listed" | tr '\\' / >"$work/listed.posix" && mv "$work/listed.posix" "$work/listed"
fi
# Each path as the file it names (links and ".." resolved), relative to the run folder.
(cd "$work/list" && tr '\n' '\0' <"$work/listed" | xargs -0 -r realpath -m --relative-to=.) |
  sort >"$work/listed.sorted"
(cd "$work/real" && find . -type f -newermt '2000-01-02' | sed 's|^\./||' | sort) >"$work/written"
if ! cmp -s "$work/listed.sorted" "$work/written"; then
  echo "--- listed (left) and written (right) differ:"
  diff "$work/listed.sorted" "$work/written"
  exit 1
fi
[ "$(sort -u "$work/listed.sorted" | wc -l)" = "$(wc -l <"$work/listed")" ] || {
  echo "a path is listed twice"
  exit 1
}
exit 0
