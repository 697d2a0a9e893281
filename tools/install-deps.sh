#!/usr/bin/env bash
# Installs the Debian packages the native build, tests and demo need, plus
# any package named on the command line (PACKAGE or PACKAGE:ARCH): the test
# targets name those only the test suites use (Makefile: TEST_PACKAGES).
# Calls apt only when something is missing, and apt-get update only then; an
# index that fails to download is named and passed over.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/apt-update.sh
source "$here/apt-update.sh"

packages=(g++ cmake make libsnmp-dev libjsoncpp-dev libboost-dev libboost-date-time-dev
          libgtest-dev libgmock-dev libcli11-dev snmpd snmp python3 binutils)
packages+=("$@")

# A package counts when it is installed for this machine's architecture (or
# for all); a foreign-architecture copy alone does not.
arch=$(dpkg --print-architecture)
missing=()
for p in "${packages[@]}"; do
  name=${p%%:*}
  want=${p#"$name"}; want=${want#:}; want=${want:-$arch}
  if ! dpkg-query -W -f='${Status} ${Architecture}\n' "$name" 2>/dev/null |
      grep -qE "^install ok installed ($want|all)\$"; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt_update_tolerant install-deps "${sudo[@]}" apt-get -qq || exit 1
log=$(mktemp)
# Another install running at the same time holds dpkg's lock: wait for it
# rather than fail at once. A download can fail for a moment (a name lookup,
# a mirror sync): three tries.
for attempt in 1 2 3; do
  if "${sudo[@]}" apt-get install -y -qq --no-install-recommends -o DPkg::Lock::Timeout=300 \
      "${missing[@]}" >"$log" 2>&1; then
    rm -f "$log"
    exit 0
  fi
  ((attempt == 3)) || sleep 10
done
tail -n 20 "$log" >&2
rm -f "$log"
echo "install-deps: cannot install: ${missing[*]} (3 tries)" >&2
exit 1
