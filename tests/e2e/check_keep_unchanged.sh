#!/usr/bin/env bash
# --keep-unchanged end to end: unchanged outputs keep inode and time stamp, changed ones are
# replaced; links, permissions and write failures fare as without the option.
# usage: check_keep_unchanged.sh EXECUTABLE
set -u
exe=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
fail() {
  echo "FAILED: $*"
  exit 1
}
tool() { env -i PATH="$PATH" "$exe" "$@"; }
stamp() { stat -c '%i %Y %a' "$@"; }
printf 'ID,en,ja\r\nHELLO,Hello,Konnichiwa\r\nBYE,Bye,\r\n' >messages.csv

tool messages.csv >first.log || fail "first run"
touch -d '2000-01-01' msg.bin msg_id_hash.inc msg_lang_hash.inc
before=$(stamp msg.bin msg_id_hash.inc msg_lang_hash.inc)
tool --keep-unchanged messages.csv >second.log || fail "second run"
cmp -s first.log second.log || fail "console lines differ: $(diff first.log second.log)"
[ "$(stamp msg.bin msg_id_hash.inc msg_lang_hash.inc)" = "$before" ] || fail "unchanged replaced"

# A new text changes the table only; through a link, with its own mode, as without the option.
mkdir real
mv msg_id_hash.inc real/ids.inc
ln -s real/ids.inc msg_id_hash.inc
chmod 0604 msg.bin real/ids.inc
ids=$(stamp real/ids.inc)
printf 'ID,en,ja\r\nHELLO,Hello!,Konnichiwa\r\nBYE,Bye,\r\n' >messages.csv
tool --keep-unchanged messages.csv >/dev/null || fail "third run"
[ "$(stat -c %i msg.bin)" != "${before%% *}" ] || fail "changed table kept"
grep -q 'Hello!' msg.bin || fail "changed table not written"
[ "$(stat -c %a msg.bin)" = 604 ] || fail "changed table lost its mode"
[ -L msg_id_hash.inc ] || fail "link replaced"
[ "$(stamp real/ids.inc)" = "$ids" ] || fail "unchanged file behind the link replaced"
printf 'ID,en,ja\r\nHELLO,Hello!,Konnichiwa\r\nBYE,Bye,\r\nNEW,New,\r\n' >messages.csv
tool --keep-unchanged messages.csv >/dev/null || fail "fourth run"
[ -L msg_id_hash.inc ] && grep -q '^NEW = ' real/ids.inc || fail "changed file behind the link"
[ "$(stat -c %a real/ids.inc)" = 604 ] || fail "changed file behind the link lost its mode"

# A write that fails fails with or without the option, leaving the files as they were.
for option in "" --keep-unchanged; do
  cp -a msg.bin saved.bin
  # Through a pipe: the limit would stop the console lines in a file too.
  (ulimit -f 0; trap '' XFSZ; tool $option messages.csv) 2>&1 | cat >"out$option.log"
  echo "status ${PIPESTATUS[0]}" >>"out$option.log"
  cmp -s msg.bin saved.bin || fail "failed write changed the table ($option)"
done
cmp -s out.log out--keep-unchanged.log || fail "write failure differs: $(diff out.log out--keep-unchanged.log)"
grep -q 'status 1' out.log && grep -q 'Failed to write file' out.log || fail "no write failure: $(cat out.log)"
ls | grep -q tmp && fail "temporary file left: $(ls)"
echo "keep-unchanged test passed"
