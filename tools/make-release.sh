#!/usr/bin/env bash
# Packs the armhf build into the archive we ship (make release does it):
#
#   tools/make-release.sh BUILD_DIR SYSROOT DIST_DIR
#
# BUILD_DIR is the armhf build (build-armhf, with snmp_varno_pdu.so and
# pdu-host built), SYSROOT its root (tools/armhf-sysroot.sh), which holds the
# net-snmp it was built against. Writes
# DIST_DIR/snmp_varno_pdu-VERSION-armhf.tar.gz, which unpacks into one folder
# snmp_varno_pdu-VERSION-armhf/ holding:
#
#   snmp_varno_pdu.so, pdu-host   as the build made them
#   lib/libnetsnmp.so.35          the net-snmp library they were built against
#                (stripped), for a host without one, and its licence
#                (lib/net-snmp-COPYING)
#   README       installing, verifying and commissioning on the host
#                (tools/release-readme.txt)
#   MANIFEST     version, commit, the net-snmp built against, the digest of
#                the lock of the Debian packages that built it, and for each
#                file its size, SHA-256, needed libraries, newest symbol
#                versions and hardening (tools/elf-hardening.sh)
#   SHA256SUMS   for sha256sum -c
#
# Beside the archive it writes DIST_DIR/ARCHIVE.sha256 (sha256sum's format)
# and prints the archive's SHA-256, for a receiver to check the download.
#
# It refuses, with one line, a checkout with uncommitted changes (a release
# names the commit it comes from), a plug-in or pdu-host that fails the
# build's own check of it (CTest PluginBinary.*, PduHostBinary.*), a plug-in
# whose version note is not VERSION, a pdu-host that needs more than net-snmp
# and the C and C++ runtime, a shipped file without the hardening every build
# has, and a root not made from tools/armhf-roots.lock as it is.
#
# The same commit gives the same bytes wherever it is built: every entry's
# time is the commit's (SOURCE_DATE_EPOCH), entries are sorted and owned by
# 0:0 with fixed modes, and gzip stores no name or time.
set -euo pipefail
# shellcheck source=tools/debian-lock.sh
source "$(dirname "${BASH_SOURCE[0]}")/debian-lock.sh"
die() { echo "make-release: $*" >&2; exit 1; }
trap 'echo "make-release: failed at line $LINENO" >&2' ERR

[[ $# -eq 3 ]] || die "usage: $0 BUILD_DIR SYSROOT DIST_DIR"
project=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "$1" && pwd)
sysroot=$(cd "$2" && pwd)
mkdir -p "$3"
dist=$(cd "$3" && pwd)
readonly TRIPLET=arm-linux-gnueabihf
# What pdu-host may need on the target besides net-snmp: the C and C++ runtime
# (the loader itself for the stack protector's guard word).
readonly RUNTIME='ld-linux-armhf\.so\.3|libc\.so\.6|libm\.so\.6|libpthread\.so\.0|libdl\.so\.2|'\
'libstdc\+\+\.so\.6|libgcc_s\.so\.1'

# The build refuses a VERSION that is not MAJOR.MINOR.PATCH; the plug-in's
# version note, checked below, must be that VERSION.
version=$(head -n 1 "$project/VERSION")
cd "$project"
commit=$(git rev-parse HEAD 2>/dev/null) || die "$project is not a git checkout: a release names its commit"
[[ -z $(git status --porcelain --untracked-files=no) ]] ||
  die "the checkout has uncommitted changes (git status): commit them first, a release names its commit"
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct HEAD)}
commit_date=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%dT%H:%M:%SZ)

plugin="$build/snmp_varno_pdu.so"
host="$build/pdu-host"
[[ -f $plugin && -f $host ]] || die "$build lacks snmp_varno_pdu.so or pdu-host: build them first (make release)"

# The plug-in and pdu-host pass the same checks as in the armhf test suite.
if ! (cd "$build" && ctest --output-on-failure --no-tests=error -R '^(PluginBinary|PduHostBinary)\.') \
    >"$build/plugin-check.log" 2>&1; then
  cat "$build/plugin-check.log" >&2
  die "the plug-in or pdu-host fails its binary check (above)"
fi
[[ $(head -n 1 "$sysroot/.armhf-sysroot" 2>/dev/null) == *"lock $(lock_digest build)" ]] ||
  die "$sysroot was not made from $(basename "$LOCK_FILE") as it is: remake it (make armhf)"
note=$(readelf -p .note.snmp_varno_pdu.version "$plugin" 2>/dev/null | sed -n 's/^ *\[ *[0-9a-f]*\] *//p' |
         tail -n 1)
[[ $note == "$version" ]] || die "the plug-in's version note says '$note', VERSION says $version: rebuild"

# net-snmp as built into the root: its release, soname and needs.
netsnmp_library=$(readlink -f "$sysroot/usr/lib/$TRIPLET/libnetsnmp.so")
netsnmp_release=$(sed -n 's/^#define PACKAGE_VERSION "\(.*\)"$/\1/p' \
                    "$sysroot/usr/include/net-snmp/net-snmp-config.h")
netsnmp_soname=$(readelf -d -W "$netsnmp_library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[[ -n $netsnmp_release && -n $netsnmp_soname ]] || die "cannot tell the net-snmp release in $sysroot"

needed() { readelf -d -W "$1" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | tr '\n' ' ' | sed 's/ $//'; }
# The newest version of each symbol set the file asks for, e.g. GLIBC_2.30.
newest_versions() {
  readelf -V -W "$1" | sed -n 's/.*Name: \([A-Z]*_[0-9.]*\) .*/\1/p' | sort -u | sort -V |
    awk -F_ '{newest[$1] = $0} END {for (set in newest) print newest[set]}' | sort | tr '\n' ' ' |
    sed 's/ $//'
}

unexpected=$(needed "$host" | tr ' ' '\n' | grep -vE "^(${netsnmp_soname//./\\.}|$RUNTIME)\$" || true)
[[ -z $unexpected ]] || die "pdu-host needs ${unexpected//$'\n'/ }, which the target does not have"
! readelf -d -W "$host" | grep -qE '\((RPATH|RUNPATH)\)' || die "pdu-host carries a library search path"

name="snmp_varno_pdu-$version-armhf"
stage="$build/release/$name"
rm -rf "$build/release"
mkdir -p "$stage/lib"
chmod 755 "$build/release" "$stage" "$stage/lib"
install -m 755 "$plugin" "$host" "$stage/"
# What a loader needs of a library: debug information stays behind.
"$sysroot/usr/bin/$TRIPLET-strip" --strip-unneeded -o "$stage/lib/$netsnmp_soname" "$netsnmp_library"
chmod 644 "$stage/lib/$netsnmp_soname"
install -m 644 "$sysroot/usr/share/doc/net-snmp/COPYING" "$stage/lib/net-snmp-COPYING"
shipped=(snmp_varno_pdu.so pdu-host "lib/$netsnmp_soname")

# Every shipped program and library as hardened as every build makes them.
declare -A hardening
for file in "${shipped[@]}"; do
  required=stack-protector,fortify,relro,bind-now
  [[ $file == pdu-host ]] && required+=,pie
  hardening[$file]=$("$project/tools/elf-hardening.sh" "$stage/$file" --require "$required" 2>&1) ||
    die "${hardening[$file]##*$'\n'}"
done
sed -e "s/@VERSION@/$version/g" -e "s/@NETSNMP_SONAME@/$netsnmp_soname/g" \
    -e "s/@NETSNMP_RELEASE@/$netsnmp_release/g" "$project/tools/release-readme.txt" >"$stage/README"
chmod 644 "$stage/README"

{
  echo "snmp_varno_pdu $version for armhf (32-bit ARM Linux, hard-float)"
  echo
  echo "version:   $version"
  echo "commit:    $commit ($commit_date)"
  echo "net-snmp:  $netsnmp_release, $netsnmp_soname (needed libraries: $(needed "$netsnmp_library"))"
  echo "compiler:  $("$sysroot/usr/bin/$TRIPLET-g++" --version | head -n 1)"
  echo "packages:  the Debian 11 packages of tools/armhf-roots.lock," \
       "sha256 $(sha256sum "$LOCK_FILE" | cut -d ' ' -f 1)"
  for file in "${shipped[@]}" lib/net-snmp-COPYING README; do
    echo
    echo "$file"
    echo "  size:                    $(stat -c %s "$stage/$file") bytes"
    echo "  sha256:                  $(sha256sum "$stage/$file" | cut -d ' ' -f 1)"
    if [[ -n ${hardening[$file]:-} ]]; then
      echo "  needed libraries:        $(needed "$stage/$file")"
      echo "  newest symbol versions:  $(newest_versions "$stage/$file")"
      echo "  hardening:               ${hardening[$file]}"
    fi
  done
} >"$stage/MANIFEST"
chmod 644 "$stage/MANIFEST"
(cd "$stage" && sha256sum "${shipped[@]}" lib/net-snmp-COPYING README MANIFEST >SHA256SUMS)
chmod 644 "$stage/SHA256SUMS"

archive="$dist/$name.tar.gz"
tar --create --format=gnu --sort=name --owner=0 --group=0 --numeric-owner --mode=u=rwX,go=rX \
    --mtime="@$SOURCE_DATE_EPOCH" -C "$build/release" "$name" | gzip -n -9 >"$archive.part"
mv "$archive.part" "$archive"
(cd "$dist" && sha256sum "$name.tar.gz" >"$name.tar.gz.sha256")
echo "make-release: $archive ($(stat -c %s "$archive") bytes, commit ${commit:0:12})"
echo "make-release: sha256 $(cut -d ' ' -f 1 "$archive.sha256") (also in $archive.sha256)"
