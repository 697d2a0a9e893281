#!/usr/bin/env bash
# Makes a clean stand-in for a Debian 11 target host: an armhf root holding
# the base system (debootstrap's minbase) and nothing of ours, for running
# the release under qemu-arm -L ROOT_DIR:
#
#   tools/armhf-target-root.sh SYSROOT ROOT_DIR
#
# Its packages are the lock's target lines (tools/debian-lock.sh): taken from
# ARMHF_DEBS or the archive SYSROOT came from (its private sources list), each
# checked against the lock. They are unpacked as debootstrap's first stage
# unpacks them, no package's scripts run (so no armhf program runs while the
# root is made), and /usr is merged as Debian 11 installs it. The root is kept
# as ROOT_DIR.tar; every run unpacks that afresh into ROOT_DIR, so nothing an
# earlier run left there survives, and the root's own ldconfig (under
# qemu-arm) makes the loader's cache, as on a real host.
#
# ARMHF_REFRESH_LOCK=1 (make armhf-lock) locks the packages debootstrap
# chooses today for Debian 11's minbase.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/debian-lock.sh
source "$here/debian-lock.sh"

readonly SUITE=bullseye
die() { echo "armhf-target-root: $*" >&2; exit 1; }
trap 'echo "armhf-target-root: failed at line $LINENO" >&2' ERR

[[ $# -eq 2 ]] || die "usage: $0 SYSROOT ROOT_DIR"
"$here/install-deps.sh" qemu-user
sysroot=$(cd "$1" && pwd)
mkdir -p "$2"
root=$(cd "$2" && pwd)
[[ $root != / ]] || die "refusing to use / as the target root"
base="$root.tar"
wanted="$SUITE minbase, lock $(lock_digest target)"

if [[ ! -s $base || $(cat "$base.stamp" 2>/dev/null) != "$wanted" || ${ARMHF_REFRESH_LOCK:-} == 1 ]]; then
  LOCK_LABEL=armhf-target-root
  LOCK_DEBS=${ARMHF_DEBS:-$(dirname "$root")/debs}
  LOCK_MIRROR=$(sed -n 's/^deb \+\(\[[^]]*\] \+\)\?\([^ ]*\) .*/\2/p' "$sysroot/.apt/sources.list" \
                  2>/dev/null | head -n 1) || true
  apt_dir="$root.apt"
  lock_private_apt "$apt_dir" "deb $LOCK_MIRROR $SUITE main" -o APT::Architecture=armhf \
    -o APT::Architectures=armhf
  packages=()
  if [[ ${ARMHF_REFRESH_LOCK:-} == 1 ]]; then
    [[ -n $LOCK_MIRROR ]] || die "$sysroot/.apt/sources.list names no archive (run tools/armhf-sysroot.sh)"
    "$here/install-deps.sh" debootstrap
    scratch=$(mktemp -d)
    list=$(debootstrap --print-debs --variant=minbase --arch=armhf "$SUITE" "$scratch" "$LOCK_MIRROR" \
             2>"$root.log") || die "debootstrap cannot tell $SUITE's minbase packages: $(tail -n 1 "$root.log")"
    read -r -a packages <<<"${list//$'\n'/ }"
    rm -rf "$scratch"
  fi
  echo "armhf-target-root: making the Debian 11 ($SUITE) armhf base system (once)"
  lock_fetch target "${packages[@]}" >"$root.debs"
  wanted="$SUITE minbase, lock $(lock_digest target)"

  rm -rf "$root" "$base" "$base.stamp"
  mkdir -p "$root"
  while read -r deb; do
    dpkg-deb --fsys-tarfile "$deb" | tar -C "$root" -xf - || die "cannot unpack $deb"
  done <"$root.debs"
  # Merged /usr: the top folders are links into /usr.
  for dir in bin sbin lib; do
    if [[ -d $root/$dir && ! -L $root/$dir ]]; then
      mkdir -p "$root/usr/$dir"
      cp -a "$root/$dir/." "$root/usr/$dir/"
      rm -rf "${root:?}/$dir"
    fi
    ln -sfn "usr/$dir" "$root/$dir"
  done
  mkdir -p "$root/var/lib/dpkg"
  : >"$root/var/lib/dpkg/status"
  tar -C "$root" -cf "$base.part" .
  mv "$base.part" "$base"
  echo "$wanted" >"$base.stamp"
  rm -rf "$apt_dir" "$root.debs" "$root.log"
fi

rm -rf "$root"
mkdir -p "$root"
tar -C "$root" -xf "$base"
qemu-arm -L "$root" "$root/sbin/ldconfig" -r "$root" || die "the root's ldconfig failed under qemu-arm"
