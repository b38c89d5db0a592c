#!/usr/bin/env bash
# Checks what the README promises: on a fresh Debian system, a clean clone's scripts/example.sh
# and scripts/test.sh install what they need themselves and pass. Makes a minimal Debian of this
# machine's release with debootstrap (once, kept untouched in build/fresh-debian/base), copies it
# afresh for each check, clones the committed tree (HEAD) into the copy and runs both scripts
# there as root. Everything they print goes to build/fresh-debian/log.
#   usage: scripts/fresh-debian.sh
# Needs root (debootstrap, chroot, mounts); installs debootstrap through apt-get when missing.
# Exits 3 when it cannot run here, 1 when a script failed or the Windows run was skipped.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" = 0 ] || { echo "fresh-debian: needs root" >&2; exit 3; }
if ! command -v debootstrap >/dev/null 2>&1; then
  echo "Installing: debootstrap"
  { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap; } ||
    { echo "fresh-debian: debootstrap cannot be installed" >&2; exit 3; }
fi

work=$PWD/build/fresh-debian
base=$work/base
root=$work/root
log=$work/log
suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
mirror=$(bash scripts/debian-mirror.sh)

if [ ! -x "$base/bin/bash" ]; then
  echo "Making a minimal Debian $suite in $base"
  rm -rf "$base"
  mkdir -p "$work"
  debootstrap --variant=minbase "$suite" "$base" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 20 "$work/debootstrap.log" >&2; echo "fresh-debian: debootstrap failed" >&2; exit 3; }
fi

mounted=()
cleanup() {
  local k
  for ((k = ${#mounted[@]} - 1; k >= 0; k--)); do umount -l "${mounted[k]}" 2>/dev/null || true; done
}
trap cleanup EXIT
# A run that was killed may have left its mounts: undo them first, and never let the removal
# cross into another file system (the bound /dev is the host's own).
{ grep -o " $root/[^ ]*" /proc/mounts || true; } | sort -r | while read -r point; do
  umount -l "$point" || true
done
rm -rf --one-file-system "$root"
cp -a "$base" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
for target in proc sys dev dev/pts; do
  case $target in
    proc) mount -t proc proc "$root/proc" ;;
    sys) mount -t sysfs sys "$root/sys" ;;
    *) mount --bind "/$target" "$root/$target" ;;
  esac
  mounted+=("$root/$target")
done
git clone -q "$PWD" "$root/work/quillex"
echo "Running scripts/example.sh and scripts/test.sh in $root (output in $log)"
status=0
chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  LANG=C.UTF-8 CI=true /bin/bash -c 'cd /work/quillex && scripts/example.sh && scripts/test.sh' \
  >"$log" 2>&1 || status=$?
tail -n 5 "$log"
if [ "$status" != 0 ]; then
  echo "fresh-debian: failed with status $status" >&2
  exit 1
fi
if grep -q '^Skipped the Windows build' "$log"; then
  echo "fresh-debian: the Windows run was skipped" >&2
  exit 1
fi
echo "fresh-debian: both scripts passed on a fresh Debian $suite"
