#!/usr/bin/env bash
# Builds JsonCpp as a static library for armhf from Debian's source package
# and installs it into the armhf root, for pdu-host to carry JsonCpp in
# itself (the target has no JsonCpp library for it):
#
#   tools/build-jsoncpp-armhf.sh SYSROOT WORK_DIR
#
# Debian ships JsonCpp only as a shared library, and the source of the root's
# own (Debian 11's 1.9.4) is no longer served, so the source is Debian 12's
# JsonCpp, SOURCE_VERSION below: the lock's source line (tools/debian-lock.sh,
# from ARMHF_DEBS or the archive the root came from, checked against the
# lock), unpacked with its Debian patches (dpkg-source, which checks the
# tarballs against the .dsc) and compiled with the root's cross compiler.
# 1.9.5 has the same classes, members and symbols as the root's 1.9.4
# headers, which the plug-in and pdu-host compile against (it only adds
# noexcept to moves and two reader and writer settings): the script checks
# that the archive defines every symbol the root's shared JsonCpp exports.
#
# The archive lands in SYSROOT/usr/lib/arm-linux-gnueabihf/libjsoncpp.a.
# Done once per locked source: a stamp beside it records it.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/debian-lock.sh
source "$here/debian-lock.sh"

readonly TRIPLET=arm-linux-gnueabihf
readonly SOURCE_PACKAGE=libjsoncpp
readonly SOURCE_VERSION=1.9.5-4
readonly SOURCE_SUITE=bookworm
die() { echo "build-jsoncpp-armhf: $*" >&2; exit 1; }
trap 'echo "build-jsoncpp-armhf: failed at line $LINENO" >&2' ERR

[[ $# -eq 2 ]] || die "usage: $0 SYSROOT WORK_DIR"
# dpkg-source unpacks the source package.
"$here/install-deps.sh" dpkg-dev
sysroot=$(cd "$1" && pwd)
[[ -x $sysroot/usr/bin/$TRIPLET-g++ ]] || die "$sysroot holds no armhf tool chain (tools/armhf-sysroot.sh)"
libdir="$sysroot/usr/lib/$TRIPLET"
stamp="$libdir/.jsoncpp-source"
wanted="$SOURCE_PACKAGE $SOURCE_VERSION, lock $(lock_digest source)"
if [[ -f $stamp && $(cat "$stamp") == "$wanted" && ${ARMHF_REFRESH_LOCK:-} != 1 ]]; then
  exit 0
fi
mkdir -p "$2"
work=$(cd "$2" && pwd)
echo "build-jsoncpp-armhf: building JsonCpp $SOURCE_VERSION for armhf from Debian's source (once)"

rm -rf "$work/src"
mkdir -p "$work/src"
LOCK_LABEL=build-jsoncpp-armhf
LOCK_DEBS=${ARMHF_DEBS:-$(dirname "$sysroot")/debs}
# The archive the root's packages came from.
LOCK_MIRROR=$(sed -n 's/^deb \+\(\[[^]]*\] \+\)\?\([^ ]*\) .*/\2/p' "$sysroot/.apt/sources.list" 2>/dev/null |
                head -n 1) || true
apt_dir="$work/apt"
lock_private_apt "$apt_dir" "deb-src $LOCK_MIRROR $SOURCE_SUITE main"
lock_fetch source "$SOURCE_PACKAGE=$SOURCE_VERSION" >"$work/source"
wanted="$SOURCE_PACKAGE $SOURCE_VERSION, lock $(lock_digest source)"
dsc=$(head -n 1 "$work/source")
[[ $(basename "$dsc") == "${SOURCE_PACKAGE}_$SOURCE_VERSION.dsc" ]] ||
  die "the lock's source of $SOURCE_PACKAGE is $(basename "$dsc"), this script builds $SOURCE_VERSION"
log="$work/build.log"
(cd "$work/src" && dpkg-source --require-strong-checksums -x "$dsc" tree) >"$log" 2>&1 ||
  die "cannot unpack $(basename "$dsc"); see $log"

# Upstream's own settings (C++11) with Debian's hardening flags; the work
# folder's path is mapped out so the archive is the same wherever it is built.
tree="$work/src/tree"
objects=()
for unit in json_reader json_value json_writer; do
  "$sysroot/usr/bin/$TRIPLET-g++" --sysroot="$sysroot" -std=c++11 -O2 -fPIC \
    -fstack-protector-strong -D_FORTIFY_SOURCE=2 -ffile-prefix-map="$tree/=" \
    -I"$tree/include" -c "$tree/src/lib_json/$unit.cpp" -o "$work/$unit.o" >>"$log" 2>&1 ||
    die "compiling $unit.cpp failed; see $log"
  objects+=("$work/$unit.o")
done
rm -f "$work/libjsoncpp.a"
"$sysroot/usr/bin/$TRIPLET-ar" rcsD "$work/libjsoncpp.a" "${objects[@]}"

# Every symbol the root's shared JsonCpp offers is in the archive.
nm_tool="$sysroot/usr/bin/$TRIPLET-nm"
shared=$(readlink -f "$libdir/libjsoncpp.so")
"$nm_tool" -D --defined-only "$shared" | awk '$3 ~ /^_Z(N|NK|T[VIS]N)4Json/ {sub(/@.*/, "", $3); print $3}' |
  sort -u >"$work/shared.symbols"
"$nm_tool" --defined-only "$work/libjsoncpp.a" | awk 'NF == 3 {print $3}' | sort -u >"$work/static.symbols"
missing=$(comm -23 "$work/shared.symbols" "$work/static.symbols")
[[ -s $work/shared.symbols ]] || die "no JsonCpp symbols found in $shared"
[[ -z $missing ]] || die "the archive lacks symbols of $(basename "$shared"): $(head -n 3 <<<"$missing" | tr '\n' ' ')"

install -m 644 "$work/libjsoncpp.a" "$libdir/libjsoncpp.a"
echo "$wanted" >"$stamp"
rm -rf "$apt_dir" "$work/src"
echo "build-jsoncpp-armhf: installed libjsoncpp.a ($SOURCE_VERSION) into $sysroot"
