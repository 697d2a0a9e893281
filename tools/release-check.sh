#!/usr/bin/env bash
# Proves a release is reproducible: builds the archive's commit a second time
# in a fresh clone in another folder (another path, of another length) and
# compares the two archives byte for byte.
#
#   tools/release-check.sh ARCHIVE SYSROOT
#
# ARCHIVE is the one make release just wrote from this checkout. The second
# build uses a copy of the same armhf tool chain and root (SYSROOT), as a
# second machine with the same Debian packages would, in another place, and
# its own source and build folders. On a difference it names the files that
# differ; the clone and the copy are removed either way. Exits 0 only when
# the archives are identical.
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
cp -a "$sysroot" "$other_root"

echo "release-check: building the same commit again in $other"
log="$scratch/build.log"
if ! make -C "$other" release ARMHF_SYSROOT="$other_root" >"$log" 2>&1; then
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
