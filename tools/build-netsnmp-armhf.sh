#!/usr/bin/env bash
# Builds net-snmp's client library for armhf from a release source tree and
# installs it, with its headers, into the armhf root:
#
#   tools/build-netsnmp-armhf.sh SOURCE_TARBALL SYSROOT WORK_DIR
#
# SYSROOT is a folder tools/armhf-sysroot.sh prepared; the library lands in
# SYSROOT/usr/lib/arm-linux-gnueabihf, the headers in SYSROOT/usr/include and
# the licence in SYSROOT/usr/share/doc/net-snmp,
# where the cross build and the armhf test runs find them. Only the library is
# built: no agent, no applications, no MIB files. It is built with OpenSSL
# (the root's, 1.1) and the AES-192/256 of draft-blumenthal, as Debian builds
# its own, so that SNMP v3 offers SHA-2 digests and AES/DES privacy: it needs
# libcrypto.so.1.1 from the target besides the C library.
#
# It is hardened as Debian builds its own (the project's flags:
# cmake/Hardening.cmake), and the work folder is mapped out of it, so the
# same source gives the same library wherever it is built: the release
# carries it for hosts without a net-snmp 5.8 of their own.
#
# A SOURCE_TARBALL.sha256 beside the tarball, when there is one, must match it.
# Done once per source tree and configuration: a stamp in SYSROOT records the
# tarball's SHA-256, the configure options and the flags.
set -euo pipefail

readonly TRIPLET=arm-linux-gnueabihf
die() { echo "build-netsnmp-armhf: $*" >&2; exit 1; }
trap 'echo "build-netsnmp-armhf: failed at line $LINENO" >&2' ERR

[[ $# -eq 3 ]] || die "usage: $0 SOURCE_TARBALL SYSROOT WORK_DIR"
# net-snmp's configure script needs `file` (for libtool).
"$(dirname "${BASH_SOURCE[0]}")/install-deps.sh" file
[[ -f $1 ]] || die "no net-snmp source tarball at $1"
tarball=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
sysroot=$(cd "$2" && pwd)
[[ -x $sysroot/usr/bin/$TRIPLET-gcc ]] || die "$sysroot holds no armhf tool chain (tools/armhf-sysroot.sh)"
mkdir -p "$3"
work=$(cd "$3" && pwd)

sum=$(sha256sum "$tarball" | cut -d ' ' -f 1)
# A checksum kept beside the tarball must match it.
if [[ -f $tarball.sha256 ]]; then
  [[ $(cut -d ' ' -f 1 "$tarball.sha256") == "$sum" ]] || die "$tarball does not match $tarball.sha256"
fi
features=(--with-openssl --enable-blumenthal-aes)
cflags="-g -O2 -fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wformat -Werror=format-security"
ldflags="-Wl,-z,relro -Wl,-z,now"
# No local symbols: the C runtime's crt*.o are named by their full path in
# the symbol table, and the build ID is made over it.
reproducible_ldflags="-Wl,--discard-all"
stamp="$sysroot/usr/lib/$TRIPLET/.netsnmp-source"
if [[ -f $stamp && $(cat "$stamp") == "$sum ${features[*]} $cflags $ldflags $reproducible_ldflags" ]]; then
  exit 0
fi
[[ -f $sysroot/usr/include/openssl/evp.h ]] || die "$sysroot holds no OpenSSL headers (tools/armhf-sysroot.sh)"
echo "build-netsnmp-armhf: building net-snmp's library from $(basename "$tarball") (a few minutes, once)"

rm -rf "$work/src"
mkdir -p "$work/src"
tar -xf "$tarball" -C "$work/src" --strip-components=1 || die "cannot unpack $tarball"
log="$work/build.log"
: >"$log"
run() {
  "$@" >>"$log" 2>&1 && return
  tail -n 15 "$log" >&2
  die "'$*' failed; its whole output: $log"
}

# Another release built earlier leaves nothing behind.
rm -rf "$sysroot/usr/include/net-snmp" "$sysroot/usr/lib/$TRIPLET"/libnetsnmp.* "$stamp"
cd "$work/src"
export PATH="$sysroot/usr/bin:$PATH"
run ./configure --host=$TRIPLET --with-endianness=little --with-defaults \
  CC="$TRIPLET-gcc --sysroot=$sysroot" LDFLAGS="$ldflags $reproducible_ldflags" \
  CFLAGS="$cflags -ffile-prefix-map=$work/src/= -ffile-prefix-map=$sysroot/=/" \
  --prefix=/usr --libdir=/usr/lib/$TRIPLET \
  --disable-agent --disable-applications --disable-manuals --disable-scripts \
  --disable-mibs --disable-mib-loading "${features[@]}" --disable-embedded-perl \
  --without-perl-modules --enable-ipv6 --disable-static
run make -j "$(nproc)" -C snmplib
run make -C snmplib install DESTDIR="$sysroot"
run make installheaders DESTDIR="$sysroot"
install -D -m 644 COPYING "$sysroot/usr/share/doc/net-snmp/COPYING"
rm -f "$sysroot/usr/lib/$TRIPLET/libnetsnmp.la"

library=$(readlink -f "$sysroot/usr/lib/$TRIPLET/libnetsnmp.so") || true
[[ -f $library ]] || die "no libnetsnmp.so was installed"
config="$sysroot/usr/include/net-snmp/net-snmp-config.h"
grep -q '^#define SIZEOF_LONG 4$' "$config" ||
  die "net-snmp was configured with another size of long than armhf's"
# configure passes over an OpenSSL it cannot use with a warning only.
grep -q '^#define NETSNMP_USE_OPENSSL 1$' "$config" && grep -q '^#define HAVE_AES_CFB128_ENCRYPT 1$' "$config" ||
  die "net-snmp was configured without OpenSSL's AES; see $log"
echo "$sum ${features[*]} $cflags $ldflags $reproducible_ldflags" >"$stamp"
echo "build-netsnmp-armhf: installed $(basename "$library") into $sysroot"
