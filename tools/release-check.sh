#!/usr/bin/env bash
# Proves a release is reproducible: builds the archive's commit a second time
# in a fresh clone in another folder (another path, of another length) and
# compares the two archives byte for byte.
#
#   tools/release-check.sh ARCHIVE SYSROOT
#
# ARCHIVE is the one make release just wrote from this checkout with the
# armhf root SYSROOT. The second build makes a root of its own in another
# place, as a second machine would: from the Debian packages SYSROOT was made
# of (ARMHF_DEBS, by default debs/ beside it), checked against the lock, with
# net-snmp and JsonCpp built afresh, and its own source and build folders.
# On a difference it names the files that differ; the clone and the second
# root are removed either way. Exits 0 only when the archives are identical.
set -euo pipefail
die() { echo "release-check: $*" >&2; exit 1; }

[[ $# -eq 2 ]] || die "usage: $0 ARCHIVE SYSROOT"
[[ -f $1 ]] || die "no archive at $1: make release first"
project=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
archive=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
sysroot=$(cd "$2" && pwd)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/release-check.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
other="$scratch/a/second/checkout/in/a/longer/path"
mkdir -p "$(dirname "$other")"
git clone -q "$project" "$other"
git -C "$other" checkout -q --detach "$(git -C "$project" rev-parse HEAD)"
other_root="$scratch/elsewhere/armhf-root"
mkdir -p "$(dirname "$other_root")"
debs=${ARMHF_DEBS:-$(dirname "$sysroot")/debs}

echo "release-check: building the same commit again in $other, its root made from $debs"
log="$scratch/build.log"
if ! make -C "$other" release ARMHF_SYSROOT="$other_root" ARMHF_DEBS="$debs" >"$log" 2>&1; then
  tail -n 20 "$log" >&2
  die "the second build failed (above)"
fi
second="$other/dist/$(basename "$archive")"
[[ -f $second ]] || die "the second build wrote no $(basename "$archive")"

if cmp -s "$archive" "$second"; then
  echo "release-check: identical: $(basename "$archive") built in $project and in $other" \
       "(sha256 $(sha256sum "$archive" | cut -d ' ' -f 1))"
  exit 0
fi
mkdir -p "$scratch/one" "$scratch/two"
tar -xzf "$archive" -C "$scratch/one"
tar -xzf "$second" -C "$scratch/two"
differing=$(cd "$scratch/one" && find . -type f -exec sh -c 'cmp -s "$1" "../two/$1" || echo "$1"' _ {} \;)
[[ -n $differing ]] || differing="no file inside: the tar or gzip bytes"
die "the two builds differ: ${differing//$'\n'/ } (compare them with diffoscope)"
