#!/usr/bin/env bash
# Runs a list-* case's command line twice in fresh copies of its input: with --list-outputs, and
# without it (a real run). The listing must name exactly the files the real run created or
# changed, each once.
# usage: check_listing.sh EXECUTABLE CASE_DIR
set -u
exe=$1
case_dir=$2

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

(cd "$work/list" && env -i PATH="$PATH" "$exe" "${listing[@]}") >"$work/listed" || exit 1
(cd "$work/real" && env -i PATH="$PATH" "$exe" "${real[@]}") >/dev/null || exit 1

# Paths as the tool prints them: relative to the run folder, or absolute.
sed -e "s|^$work/list/||" -e 's|^\./||' "$work/listed" | sort >"$work/listed.sorted"
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
