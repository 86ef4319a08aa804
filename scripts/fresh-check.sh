#!/usr/bin/env bash
# Checks that the README's quick start works on a fresh Debian 12: makes a minimal bookworm root
# with debootstrap, clones the committed state of this checkout (HEAD) into it, and runs
# `bash scripts/quick-start.sh` and `bash scripts/test.sh` there inside a chroot. Not part of CI:
# it downloads a system and builds the project several times (most of an hour on two cores).
#
#   bash scripts/fresh-check.sh [--keep] [FOLDER]
#
# FOLDER holds the root (default build/fresh-root); an existing root in it is reused, with a new
# clone. --keep leaves the root in place afterwards (to look around: chroot FOLDER); without it
# the root is removed when the check passes. Run as root. debootstrap picks its own default mirror;
# DEBIAN_MIRROR overrides it.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: $0 [--keep] [FOLDER]" >&2
  exit 2
}

keep=0
root=""
for arg in "$@"; do
  case "$arg" in
    --keep) keep=1 ;;
    -h | --help) usage ;;
    -*) usage ;;
    *)
      [ -z "$root" ] || usage
      root="$arg"
      ;;
  esac
done
root="$(realpath -m "${root:-build/fresh-root}")"
mirror="${DEBIAN_MIRROR:-}"

if [ "$(id -u)" -ne 0 ]; then
  echo "$0: run as root (debootstrap, mount and chroot need it)" >&2
  exit 1
fi
case "$root" in
  / | /bin | /boot | /dev | /etc | /home | /lib* | /proc | /root | /run | /sbin | /sys | /usr | /var)
    echo "$0: refusing to use $root as the root folder" >&2
    exit 1
    ;;
esac

# Everything mounted below the root, deepest first.
mounts_below_root() {
  awk -v r="$root" '$2 == r || index($2, r "/") == 1 { print $2 }' /proc/self/mounts | sort -r
}

unmount_all() {
  local point
  for point in $(mounts_below_root); do
    umount "$point" 2>/dev/null || umount -l "$point"
  done
}

passed=0
finish() {
  unmount_all
  if [ "$passed" -eq 1 ] && [ "$keep" -eq 0 ]; then
    if [ -n "$(mounts_below_root)" ]; then
      echo "$0: something is still mounted in $root; not removing it" >&2
    else
      rm -rf --one-file-system "$root"
    fi
  elif [ -d "$root" ]; then
    echo "The root is kept in $root (chroot $root to look around)." >&2
  fi
}
trap finish EXIT

if ! command -v debootstrap >/dev/null; then
  echo "== installing debootstrap" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends debootstrap >/dev/null
fi

if [ ! -f "$root/etc/debian_version" ]; then
  echo "== debootstrap bookworm into $root" >&2
  mkdir -p "$root"
  debootstrap --variant=minbase bookworm "$root" ${mirror:+"$mirror"}
fi
# No package may start a service inside the root.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

echo "== cloning $(git rev-parse --short HEAD) into $root/root/torvwy" >&2
rm -rf --one-file-system "$root/root/torvwy"
git clone -q --no-checkout "$PWD" "$root/root/torvwy"
git -C "$root/root/torvwy" checkout -q --detach "$(git rev-parse HEAD)"

mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"
mkdir -p "$root/dev/shm"
mount -t tmpfs tmpfs "$root/dev/shm"

echo "== the quick start inside the root" >&2
chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" \
  PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
  bash -c 'cd /root/torvwy && bash scripts/quick-start.sh && bash scripts/test.sh'
passed=1
echo "== fresh check passed" >&2
