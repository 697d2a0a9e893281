#!/usr/bin/env bash
# Prepares the private armhf tool chain and target root of the cross build:
#
#   tools/armhf-sysroot.sh DIR
#
# DIR receives Debian 11's cross compiler for armhf (GCC 10, binutils 2.35)
# and Debian 11's armhf libraries (glibc 2.31, GCC 10's libstdc++, JsonCpp,
# GoogleTest, Boost headers, and OpenSSL 1.1, which net-snmp's v3 privacy
# and SHA-2 digests are built on, as in the target's own net-snmp). Debian
# 11's C and C++ runtimes are the oldest the plug-in has to load against, so
# whatever is built here asks for no newer symbol versions than they have.
#
# The packages are the lock's build lines (tools/debian-lock.sh: from
# ARMHF_DEBS or the Debian archive, each checked against the lock), unpacked
# with dpkg-deb: nothing armhf is installed into the machine, which keeps its
# own packages out of reach of the archive's armhf side. Downloads use a
# private apt state (its own sources list, index folder and an empty status
# file under DIR/.apt). Natively it installs only qemu-user, which runs the
# armhf tests.
#
# DIR is laid out for qemu-arm -L DIR: the loader is a plain file at
# /lib/ld-linux-armhf.so.3 and every armhf library sits in
# /usr/lib/arm-linux-gnueabihf, so the guest never falls back to the
# machine's own files. Binutils' shared libraries stay inside DIR: the
# binutils programs are wrapped so they find them.
#
# The archive is the one the machine's own apt sources name, or ARMHF_MIRROR;
# without either, only ARMHF_DEBS can supply the packages. `--mirror` prints
# that address (or stops with one line) and does nothing else.
#
# Done once: a stamp in DIR records the lock's build lines, and a later run
# with the same ones makes no network access. ARMHF_REFRESH_LOCK=1 (make
# armhf-lock) locks the archive's current versions of the packages below.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/debian-lock.sh
source "$here/debian-lock.sh"

readonly TRIPLET=arm-linux-gnueabihf
readonly SUITE=bullseye
die() { echo "armhf-sysroot: $*" >&2; exit 1; }
trap 'echo "armhf-sysroot: failed at line $LINENO" >&2' ERR

[[ $# -eq 1 ]] || die "usage: $0 DIR | --mirror"

# The Debian archive to fetch from: ARMHF_MIRROR, or the first address
# ending in /debian of a "deb" entry in the machine's own apt sources, in the
# one-line form (sources.list, sources.list.d/*.list) or the deb822 form
# (sources.list.d/*.sources), where apt-config says they are. Empty when
# there is none.
debian_mirror() {
  if [[ -n ${ARMHF_MIRROR:-} ]]; then
    echo "$ARMHF_MIRROR"
    return
  fi
  local list="" parts=""
  eval "$(apt-config shell list Dir::Etc::sourcelist/f parts Dir::Etc::sourceparts/d 2>/dev/null)" || true
  local file
  for file in "$list" "$parts"/*; do
    [[ -f $file && ($file == "$list" || $file == *.list || $file == *.sources) ]] || continue
    if [[ $file == *.sources ]]; then
      awk 'function flush() { if (types ~ /(^| )deb( |$)/ && enabled != "no") print uris
                              types = uris = enabled = ""; key = "" }
           /^[ \t]*#/ { next }
           /^[ \t]*$/ { flush(); next }
           /^[ \t]/ { if (key == "uris") uris = uris " " $0; next }
           { key = tolower(substr($0, 1, index($0, ":") - 1)); value = substr($0, index($0, ":") + 1)
             gsub(/^[ \t]+|[ \t]+$/, "", value)
             if (key == "types") types = value
             if (key == "uris") uris = value
             if (key == "enabled") enabled = tolower(value) }
           END { flush() }' "$file" | tr ' \t' '\n\n'
    else
      sed -n 's/^[ \t]*deb[ \t]\+\(\[[^]]*\][ \t]\+\)\?\([^ \t]*\).*/\2/p' "$file"
    fi
  done | sed -n 's,^\([a-z+]*:.*/debian\)/*$,\1,p' | head -n 1
}

if [[ ${1:-} == --mirror ]]; then
  mirror=$(debian_mirror)
  [[ -n $mirror ]] || die "no Debian archive in this machine's apt sources; set ARMHF_MIRROR to one"
  echo "$mirror"
  exit 0
fi

# The cross compiler's own programs (cc1plus) use the machine's libraries.
"$here/install-deps.sh" qemu-user libisl23 libmpc3 libmpfr6 libgmp10 zlib1g

# amd64 packages: the cross compiler and binutils, with the C and C++
# run-time files they link against.
toolchain=(gcc-10-arm-linux-gnueabihf g++-10-arm-linux-gnueabihf cpp-10-arm-linux-gnueabihf
           gcc-10-cross-base binutils-arm-linux-gnueabihf libc6-armhf-cross
           libc6-dev-armhf-cross linux-libc-dev-armhf-cross libgcc-10-dev-armhf-cross
           libgcc-s1-armhf-cross libstdc++-10-dev-armhf-cross libstdc++6-armhf-cross)
# armhf packages: what the test programs run with under qemu-arm, and the
# libraries and headers the tests and tools build against.
target=(libc6:armhf libstdc++6:armhf libgcc-s1:armhf libjsoncpp24:armhf libjsoncpp-dev:armhf
        libgtest-dev:armhf libgmock-dev:armhf libboost1.74-dev:armhf libssl1.1:armhf
        libssl-dev:armhf)

mkdir -p "$1"
root=$(cd "$1" && pwd)
[[ $root != / ]] || die "refusing to use / as the armhf root"
stamp="$root/.armhf-sysroot"
wanted="$SUITE lock $(lock_digest build)"
if [[ -f $stamp && $(head -n 1 "$stamp") == "$wanted" && ${ARMHF_REFRESH_LOCK:-} != 1 ]]; then
  exit 0
fi

mirror=$(debian_mirror)
LOCK_LABEL=armhf-sysroot
LOCK_DEBS=${ARMHF_DEBS:-$(dirname "$root")/debs}
LOCK_MIRROR=$mirror
apt_dir="$root/.apt"
lock_private_apt "$apt_dir" "${mirror:+deb $mirror $SUITE main}" \
  -o APT::Architecture=amd64 -o APT::Architectures=amd64,armhf

echo "armhf-sysroot: making the Debian 11 ($SUITE) cross tool chain and armhf libraries from" \
     "$LOCK_DEBS (what it lacks from ${mirror:-no archive})"
lock_fetch build "${toolchain[@]}" "${target[@]}" >"$apt_dir/debs"
wanted="$SUITE lock $(lock_digest build)"

# Unpack afresh: only what an earlier run put here is removed.
find "$root" -mindepth 1 -maxdepth 1 ! -name .apt -exec rm -rf {} +
while read -r deb; do
  dpkg-deb -x "$deb" "$root" || die "cannot unpack $deb"
done <"$apt_dir/debs"

# One library folder and a real loader file (see above).
cp -a "$root/lib/$TRIPLET/." "$root/usr/lib/$TRIPLET/"
rm -rf "$root/lib/$TRIPLET"
ln -s "../usr/lib/$TRIPLET" "$root/lib/$TRIPLET"
loader=$(readlink -f "$root/usr/lib/$TRIPLET/ld-linux-armhf.so.3")
rm -f "$root/lib/ld-linux-armhf.so.3"
cp "$loader" "$root/lib/ld-linux-armhf.so.3"

# Binutils programs load libbfd and friends from the tree, not the machine.
mkdir -p "$root/usr/libexec/binutils-$TRIPLET"
for tool in "$root/usr/bin/$TRIPLET"-*; do
  [[ -L $tool ]] && continue
  readelf -d "$tool" 2>/dev/null | grep -qE 'NEEDED.*lib(bfd|ctf|opcodes)' || continue
  real="$root/usr/libexec/binutils-$TRIPLET/$(basename "$tool")"
  mv "$tool" "$real"
  printf '#!/bin/sh\nLD_LIBRARY_PATH="%s${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" exec "%s" "$@"\n' \
    "$root/usr/lib/x86_64-linux-gnu" "$real" >"$tool"
  chmod 755 "$tool"
done
# The usual unversioned compiler names, as Debian's gcc-TRIPLET packages make them.
for tool in gcc g++ cpp; do
  ln -sfn "$TRIPLET-$tool-10" "$root/usr/bin/$TRIPLET-$tool"
done

for f in "usr/bin/$TRIPLET-g++" lib/ld-linux-armhf.so.3 "usr/lib/$TRIPLET/libc.so.6" \
         "usr/lib/$TRIPLET/libstdc++.so.6" "usr/lib/$TRIPLET/libgtest.a" \
         "usr/lib/$TRIPLET/libjsoncpp.so" usr/include/boost/version.hpp \
         "usr/lib/$TRIPLET/libcrypto.so.1.1" usr/include/openssl/evp.h; do
  [[ -e $root/$f ]] || die "$f is missing after unpacking"
done
"$root/usr/bin/$TRIPLET-g++" --version >/dev/null 2>&1 || die "the unpacked cross compiler does not run"
{
  echo "$wanted"
  xargs -n 1 basename <"$apt_dir/debs"
} >"$stamp"
rm -rf "$apt_dir/debs" "$apt_dir/cache"
echo "armhf-sysroot: ready in $root"
