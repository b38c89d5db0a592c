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
  if grep -qE '^%(ulimit|chmod|sigxfsz|fifo|signal|close) ' "$case_dir/args" 2>/dev/null; then
    posix_only="resource limits, file modes, FIFOs, signals and closed streams"
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

# Lays out the work folder and reads the case's arguments and directives (again on a retry).
prepare() {
  rm -rf "$run"
  mkdir "$run"
  if [ -d "$case_dir/input" ]; then cp -a "$case_dir/input/." "$run/"; fi
  args=()
  envs=()
  limits=()
  merge=0
  xfsz=ignore
  generated=()
  fifos=()
  readers=()
  quitters=()
  digests=()
  signal=
  signal_when=
  closed=()
  [ -f "$case_dir/args" ] || return 0
  while IFS= read -r line || [ -n "$line" ]; do
    case "$line" in
      '%env '*) envs+=("${line#%env }") ;;
      '%ulimit '*) limits+=("${line#%ulimit }") ;;
      '%merge') merge=1 ;;
      '%chmod '*) (cd "$run" && chmod ${line#%chmod }) ;;
      '%sigxfsz default') xfsz=default ;;
      '%unsanitized')
        # The case needs the plain allocator (a sanitizer reserves terabytes of address space and
        # ends the process itself when memory runs out).
        if [ "${QUILLEX_E2E_SANITIZED:-0}" = 1 ]; then echo "skipped in a sanitizer build"; exit 77; fi ;;
      '%generate '*)
        spec=${line#%generate }
        name=${spec%% *}
        (cd "$run" && bash -c "${spec#* }" >"$name") || { echo "generating $name failed"; exit 125; }
        generated+=("$name") ;;
      '%fifo '*)
        spec=${line#%fifo }
        name=${spec%% *}
        mkfifo "$run/$name" || exit 125
        fifos+=("$name")
        if [ "$spec" = "$name quitting-reader" ]; then
          quitters+=("$name")
        elif [ "$spec" != "$name" ]; then
          readers+=("$name")
        fi ;;
      '%digest '*) digests+=("${line#%digest }") ;;
      '%close '*) closed+=("${line#%close }") ;;
      '%signal '*)
        spec=${line#%signal }
        signal=${spec%% *}
        signal_when=${spec#* } ;;
      *) args+=("${line//@WORK@/$run}") ;;
    esac
  done <"$case_dir/args"

  # A reader holds each "%fifo NAME reader" open (read and write, so that it neither waits nor
  # sees the end) while the tool runs; what the tool wrote stays in the pipe until read below.
  declare -gA reader_fd=()
  for name in "${readers[@]+"${readers[@]}"}"; do
    exec {fd}<>"$run/$name"
    reader_fd[$name]=$fd
  done
  # A "%fifo NAME quitting-reader" takes the first byte written and quits, so that the writer
  # meets a pipe without a reader. Until then it holds the FIFO both ways: it sees no end before
  # the tool opens it, and the tool finds a reader at once.
  quitter_pids=()
  local k
  for k in "${!quitters[@]}"; do
    rm -f "$work/quitter$k"
    (exec 3<>"$run/${quitters[$k]}" && : >"$work/quitter$k" && IFS= read -r -n 1 -u 3 _) &
    quitter_pids+=($!)
    until [ -e "$work/quitter$k" ]; do sleep 0.01; done
  done
}

# Ends in exec, so the process started for it is the tool itself (and a signal reaches the tool).
run_tool() {
  cd "$run" || exit 125
  for limit in "${limits[@]+"${limits[@]}"}"; do ulimit $limit || exit 125; done
  # A file-size limit must show as a failed write, not kill the tool; "%sigxfsz default" leaves
  # the signal alone to show that the tool ignores it itself.
  if [ "$xfsz" = ignore ]; then trap '' XFSZ; else trap - XFSZ; fi
  for stream in "${closed[@]+"${closed[@]}"}"; do
    case "$stream" in
      stdin) exec 0<&- ;;
      stdout) exec 1>&- ;;
      stderr) exec 2>&- ;;
    esac
  done
  if [ "$windows" = 1 ]; then
    # Wine's own settings pass; the locale chooses the system's language and code pages.
    exec env -i PATH="$PATH" HOME="${HOME:-/root}" ${WINEPREFIX:+WINEPREFIX="$WINEPREFIX"} \
      LC_ALL="$wine_locale" "${envs[@]+"${envs[@]}"}" "${launcher[@]}" "$exe" \
      "${args[@]+"${args[@]}"}"
  fi
  exec env -i PATH="$PATH" "${envs[@]+"${envs[@]}"}" "$exe" "${args[@]+"${args[@]}"}"
}

# "%signal SIG GLOB": the signal reaches the tool while a file matching GLOB (in the folder the
# tool runs in) exists, that is while that file is being written. The tool is stopped first and
# the file looked for again, so the signal lands only with the file in flight; when the file was
# gone by then (the race was lost), the tool goes on and `lost` asks for another attempt.
run_and_signal() {
  run_tool &
  local pid=$! deadline=$((SECONDS + 25)) state=
  lost=1
  while kill -0 "$pid" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do
    if compgen -G "$run/$signal_when" >/dev/null; then
      kill -s STOP "$pid" 2>/dev/null
      for _ in $(seq 1000); do
        read -r _ _ state _ <"/proc/$pid/stat" 2>/dev/null || break
        [ "$state" = T ] && break
      done
      if compgen -G "$run/$signal_when" >/dev/null; then
        kill -s "$signal" "$pid" 2>/dev/null
        lost=0
      fi
      kill -s CONT "$pid" 2>/dev/null
      break
    fi
    sleep 0.002
  done
  { wait "$pid"; } 2>/dev/null  # no job message from the runner in the tool's output
}

run_in_foreground() { (run_tool); }
for attempt in 1 2 3 4 5; do
  prepare
  lost=0
  runner=run_in_foreground
  [ -n "$signal" ] && runner=run_and_signal
  if [ "$merge" = 1 ]; then
    $runner >"$work/stdout" 2>&1
  else
    $runner >"$work/stdout" 2>"$work/stderr"
  fi
  echo $? >"$work/status"
  # A reader the tool never wrote to would wait for good.
  for pid in "${quitter_pids[@]+"${quitter_pids[@]}"}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  [ "$lost" = 0 ] && break
  echo "attempt $attempt: the signal found no file in flight; again"
done
touch "$work/stderr"

# Outputs too big to keep become NAME.digest: their size and SHA-256.
for name in "${digests[@]+"${digests[@]}"}"; do
  if [ -f "$run/$name" ] && [ ! -L "$run/$name" ]; then
    echo "$(wc -c <"$run/$name") $(sha256sum <"$run/$name" | cut -d' ' -f1)" >"$run/$name.digest"
    rm -f "$run/$name"
  fi
done
# Generated inputs are too big to keep; a FIFO that is still a FIFO becomes NAME.fifo holding
# the bytes its reader got. A FIFO replaced by a file of the tool stays, and fails the case.
for name in "${generated[@]+"${generated[@]}"}"; do rm -f "$run/$name"; done
for name in "${fifos[@]+"${fifos[@]}"}"; do
  [ -p "$run/$name" ] || continue
  if [ -n "${reader_fd[$name]+set}" ]; then
    exec {drain}<"$run/$name"
    eval "exec ${reader_fd[$name]}>&-"
    cat <&"$drain" >"$run/$name.fifo"
    eval "exec $drain<&-"
  else
    : >"$run/$name.fifo"
  fi
  rm -f "$run/$name"
done

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
files="$expected/files"
[ -d "$files" ] || { files="$work/nofiles"; mkdir -p "$files"; }
if ! diff -r --no-dereference "$files" "$run" >"$work/files.diff" 2>&1; then
  echo "--- output files differ (expected, actual):"
  head -n 60 "$work/files.diff"
  failed=1
fi
exit $failed
