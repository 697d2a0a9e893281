#!/usr/bin/env bash
# tools/debian-lock.sh: a root is made only of files that match the lock. A
# package whose file differs from its line, a locked version the folder and
# the archive cannot give, and a package list the lock does not match each
# stop with one line naming the package; a matching folder gives the files.
set -uo pipefail
library=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# shellcheck source=tools/debian-lock.sh
source "$library"
LOCK_FILE=$scratch/test.lock LOCK_LABEL=lock-test LOCK_DEBS=$scratch/debs LOCK_MIRROR="" LOCK_APT=(false)

mkdir -p "$scratch/pkg/DEBIAN" "$LOCK_DEBS"
printf 'Package: tiny\nVersion: 1:1.0-1\nArchitecture: armhf\nMaintainer: t <t@t>\nDescription: t\n' \
  >"$scratch/pkg/DEBIAN/control"
dpkg-deb -b "$scratch/pkg" "$LOCK_DEBS/tiny_1.0-1_armhf.deb" >/dev/null
sum=$(sha256sum "$LOCK_DEBS/tiny_1.0-1_armhf.deb" | cut -d ' ' -f 1)

failed=0
expect() {  # expect STATUS PATTERN LOCK-LINE [SPEC...]: PATTERN in stdout (0) or the one stderr line
  local want_status=$1 pattern=$2 line=$3 status
  shift 3
  echo "$line" >"$LOCK_FILE"
  (lock_fetch target "$@") >"$scratch/out" 2>"$scratch/err"
  status=$?
  local said="$scratch/out"
  ((status == 0)) || said="$scratch/err"
  if ((status != want_status)) || ! grep -qE "$pattern" "$said" ||
      ((status != 0 && $(wc -l <"$scratch/err") != 1)); then
    echo "FAILED: lock '$line': wanted exit $want_status and /$pattern/, got exit $status:"
    cat "$scratch/out" "$scratch/err"
    failed=1
  fi
}
expect 0 "/tiny_1.0-1_armhf.deb$" "target tiny 1:1.0-1 armhf $sum" tiny:armhf
expect 1 "^lock-test: tiny 1:1.0-1 \(armhf\): .* differs from the lock's SHA-256" \
  "target tiny 1:1.0-1 armhf ${sum//[1-9a-f]/0}"
expect 1 "^lock-test: no Debian archive .* lacks: tiny:armhf=1:1.0-2$" "target tiny 1:1.0-2 armhf $sum"
expect 1 "^lock-test: .* does not list the target packages asked for \(not locked: other; .*refresh" \
  "target tiny 1:1.0-1 armhf $sum" tiny:armhf other:armhf
exit $failed
