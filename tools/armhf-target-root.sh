#!/usr/bin/env bash
# Makes a clean stand-in for the target host: a Debian 11 armhf root holding
# only the base system and our net-snmp library, for running the release
# under qemu-arm -L ROOT_DIR:
#
#   tools/armhf-target-root.sh SYSROOT ROOT_DIR
#
# The base system (debootstrap's minbase, plus EXTRA_PACKAGES) is fetched
# from the archive the armhf root came from (SYSROOT's private sources list)
# once, and kept as ROOT_DIR.tar; every run unpacks it afresh into ROOT_DIR,
# so nothing an earlier run left there survives. Then the net-snmp library
# built into SYSROOT goes into /usr/lib/arm-linux-gnueabihf, standing in for
# the target's libsnmp35, and the root's own ldconfig (under qemu-arm) makes
# the loader's cache, as on a real host.
#
# debootstrap only unpacks (--foreign): no armhf program runs while the root
# is made, so the machine needs no binfmt set-up.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

readonly TRIPLET=arm-linux-gnueabihf
readonly SUITE=bullseye
# Debian 11 packages the target has beside the base system, for what the
# net-snmp library needs: it is built with OpenSSL (libssl1.1), as the
# target's own is. One package name a word.
readonly EXTRA_PACKAGES=(libssl1.1)
die() { echo "armhf-target-root: $*" >&2; exit 1; }
trap 'echo "armhf-target-root: failed at line $LINENO" >&2' ERR

[[ $# -eq 2 ]] || die "usage: $0 SYSROOT ROOT_DIR"
"$here/install-deps.sh" debootstrap qemu-user
sysroot=$(cd "$1" && pwd)
mkdir -p "$2"
root=$(cd "$2" && pwd)
[[ $root != / ]] || die "refusing to use / as the target root"
base="$root.tar"
wanted="$SUITE minbase ${EXTRA_PACKAGES[*]}"

if [[ ! -s $base || $(cat "$base.stamp" 2>/dev/null) != "$wanted" ]]; then
  mirror=$(sed -n 's/^deb \+\(\[[^]]*\] \+\)\?\([^ ]*\) .*/\2/p' "$sysroot/.apt/sources.list" \
             2>/dev/null | head -n 1) || true
  [[ -n $mirror ]] || die "$sysroot/.apt/sources.list names no archive (run tools/armhf-sysroot.sh)"
  echo "armhf-target-root: fetching Debian 11 ($SUITE) armhf base system from $mirror (once)"
  rm -rf "$root" "$base" "$base.stamp"
  mkdir -p "$root"
  include=()
  ((${#EXTRA_PACKAGES[@]} == 0)) || include=(--include="$(IFS=,; echo "${EXTRA_PACKAGES[*]}")")
  log="$root.log"
  # A download can fail for a moment (a name lookup, a mirror sync): three tries.
  for attempt in 1 2 3; do
    if debootstrap --foreign --variant=minbase --arch=armhf "${include[@]}" \
        "$SUITE" "$root" "$mirror" >"$log" 2>&1; then
      break
    fi
    if ((attempt == 3)); then
      tail -n 5 "$log" >&2
      die "debootstrap of $SUITE armhf failed 3 times; the last one's output: $log"
    fi
    rm -rf "$root"
    mkdir -p "$root"
    sleep 10
  done
  # debootstrap's own files and package lists are no part of a host.
  rm -rf "$root/debootstrap" "$root/var/cache/apt/archives/"*.deb "$root/var/lib/apt/lists/"*
  tar -C "$root" -cf "$base.part" .
  mv "$base.part" "$base"
  echo "$wanted" >"$base.stamp"
fi

rm -rf "$root"
mkdir -p "$root"
tar -C "$root" -xf "$base"

# net-snmp as the target's libsnmp35 provides it: the library and its soname.
library=$(readlink -f "$sysroot/usr/lib/$TRIPLET/libnetsnmp.so")
soname=$(readelf -d -W "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[[ -f $library && -n $soname ]] || die "no net-snmp library in $sysroot (tools/build-netsnmp-armhf.sh)"
install -m 644 "$library" "$root/usr/lib/$TRIPLET/"
ln -sf "$(basename "$library")" "$root/usr/lib/$TRIPLET/$soname"

qemu-arm -L "$root" "$root/sbin/ldconfig" -r "$root" ||
  die "the root's ldconfig failed under qemu-arm"
# Whatever the net-snmp library needs, the root has.
for needed in $(readelf -d -W "$library" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
  [[ -e $root/usr/lib/$TRIPLET/$needed || -e $root/lib/$TRIPLET/$needed ]] ||
    die "the root lacks $needed, which $soname needs: add its Debian 11 package to EXTRA_PACKAGES in $0"
done
