#!/usr/bin/env bash
# Tests the release archive where it will run, as its README tells a Debian
# 11 host to install it: unpacked into a clean Debian 11 armhf root (the base
# system only, tools/armhf-target-root.sh), its files are checked there with
# the root's own sha256sum and for their hardening. pdu-host must not start
# there yet (Debian 11 has no net-snmp 5.8); after the README's step (the
# archive's lib/libnetsnmp.so.35 into /usr/local/lib, the root's ldconfig)
# the packaged pdu-host, with the packaged plug-in beside it, runs under
# qemu-arm against the simulated PDU on loopback: --version, --check, an
# ordinary run (one polled and one threaded device) and --survey. Nothing is
# taken from the build folder or the machine's libraries: the guest's loader,
# libraries and environment are the root's alone.
#
#   tools/test-release.sh ARCHIVE SYSROOT ROOT_DIR
#
# Prints one line per check and a closing count; exits 1 when any failed.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/pdu-agent.sh
source "$here/pdu-agent.sh"

readonly kRunBound=300  # seconds for one pdu-host run under qemu-arm on a loaded machine
die() { echo "test-release: $*" >&2; exit 2; }

[[ $# -eq 3 ]] || die "usage: $0 ARCHIVE SYSROOT ROOT_DIR"
[[ -f $1 ]] || die "no archive at $1: make release first"
archive=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
name=$(basename "$archive" .tar.gz)
version=${name#snmp_varno_pdu-}
version=${version%-armhf}

"$here/armhf-target-root.sh" "$2" "$3" || die "cannot make the Debian 11 armhf root"
root=$(cd "$3" && pwd)
kit="/opt/$name"           # as the guest sees it
work="/root/release-test"  # the guest's folder for configuration and output
mkdir -p "$root$work"

passed=0
failed=0
pass() {
  echo "test-release: ok: $1"
  passed=$((passed + 1))
}
fail() {
  echo "test-release: FAILED: $1" >&2
  shift
  for file in "$@"; do sed 's/^/    /' "$file" >&2; done
  failed=$((failed + 1))
}

cleanup() {
  stop_pdu_agent test-release
}
trap cleanup EXIT

# Runs a program of the root under qemu-arm in the kit's folder, with the
# root's loader and libraries and no environment from this machine. Output
# goes to $root$work/NAME.out and NAME.err; returns its exit status.
guest() {
  local label=$1 program=$2
  shift 2
  local status=0
  (if [[ -n $pdu_agent_in ]]; then exec {pdu_agent_in}>&-; fi
   cd "$root$kit" &&
     timeout "$kRunBound" env -i PATH=/usr/bin:/bin qemu-arm -L "$root" "$root$program" "$@" \
       >"$root$work/$label.out" 2>"$root$work/$label.err") || status=$?
  return "$status"
}
out() { echo "$root$work/$1.out"; }
err() { echo "$root$work/$1.err"; }

# The archive: one folder of exactly these files.
expected=$(printf '%s\n' "$name/" "$name/MANIFEST" "$name/README" "$name/SHA256SUMS" "$name/lib/" \
             "$name/lib/libnetsnmp.so.35" "$name/lib/net-snmp-COPYING" "$name/pdu-host" \
             "$name/snmp_varno_pdu.so")
listing=$(tar -tzf "$archive" | sort)
if [[ $listing == "$expected" ]]; then
  pass "the archive unpacks into $name/ with the plug-in, pdu-host, lib/, README, MANIFEST, SHA256SUMS"
else
  echo "$listing" >"$root$work/listing"
  fail "the archive holds other files than expected:" "$root$work/listing"
fi
# The checksum published beside the archive, as a receiver checks it.
if (cd "$(dirname "$archive")" && sha256sum -c "$name.tar.gz.sha256") >"$root$work/download" 2>&1; then
  pass "sha256sum -c $name.tar.gz.sha256 beside the archive: $(cat "$root$work/download")"
else
  fail "sha256sum -c $name.tar.gz.sha256 beside the archive" "$root$work/download"
fi
if find "$root" -name 'libjsoncpp*' -o -name 'libqtxhost*' -o -name 'libnetsnmp*' | grep -q .; then
  die "the root is not clean: it has JsonCpp, qtxhost or net-snmp libraries"
fi
mkdir -p "$root/opt"
tar -xzf "$archive" -C "$root/opt"

if guest sums /usr/bin/sha256sum -c SHA256SUMS; then
  pass "sha256sum -c SHA256SUMS in the root: $(tr '\n' ' ' <"$(out sums)")"
else
  fail "sha256sum -c SHA256SUMS in the root" "$(out sums)" "$(err sums)"
fi

hardening=""
for file in snmp_varno_pdu.so pdu-host lib/libnetsnmp.so.35; do
  required=stack-protector,fortify,relro,bind-now
  [[ $file == pdu-host ]] && required+=,pie
  "$here/elf-hardening.sh" "$root$kit/$file" --require "$required" >>"$root$work/hardening" 2>&1 ||
    hardening+=" $file"
done
if [[ -z $hardening ]]; then
  pass "each program and library has a stack protector, FORTIFY, full RELRO, BIND_NOW (pdu-host: PIE)"
else
  fail "not hardened:$hardening" "$root$work/hardening"
fi

# A Debian 11 host has no net-snmp 5.8: pdu-host does not start before the
# README's step, and starts after it.
status=0
guest bare "$kit/pdu-host" --version || status=$?
if ((status != 0)) && grep -q 'libnetsnmp\.so\.35: cannot open shared object file' "$(err bare)"; then
  pass "pdu-host on a bare Debian 11: does not start, no libnetsnmp.so.35 (exit $status)"
else
  fail "pdu-host on a bare Debian 11 exited $status; expected the loader to miss libnetsnmp.so.35" \
    "$(out bare)" "$(err bare)"
fi
install -D -m 644 "$root$kit/lib/libnetsnmp.so.35" "$root/usr/local/lib/libnetsnmp.so.35"
qemu-arm -L "$root" "$root/sbin/ldconfig" -r "$root" || die "the root's ldconfig failed under qemu-arm"

# The plug-in beside pdu-host, as qemu-arm names pdu-host's own path.
status=0
guest version "$kit/pdu-host" --version || status=$?
printf 'pdu-host %s\nplug-in %s (%s)\n' "$version" "$version" "$root$kit/snmp_varno_pdu.so" \
  >"$root$work/version.expected"
if ((status == 0)) && cmp -s "$(out version)" "$root$work/version.expected" &&
    [[ ! -s $(err version) ]]; then
  pass "pdu-host --version: $(tr '\n' ' ' <"$(out version)")"
else
  fail "pdu-host --version exited $status; expected exit 0 and:" "$root$work/version.expected" \
    "$(out version)" "$(err version)"
fi

# Two ports, one a device: two devices on one address would be a finding.
start_pdu_agent test-release "$root$work" --more-ports 1 || die "the simulated PDU did not start"
cat >"$root$work/site.json" <<JSON
{"devices": [
  {"id": 7, "address": "${pdu_agent_addresses[0]}",
   "appSetting": {"b_mode": "2", "use_thread": "0"}, "thresholdSetting": {}},
  {"id": 8, "address": "${pdu_agent_addresses[1]}",
   "appSetting": {"b_mode": "2", "use_thread": "1"}, "thresholdSetting": {}}]}
JSON

status=0
guest check "$kit/pdu-host" --config "$work/site.json" --check || status=$?
if ((status == 0)); then
  pass "pdu-host --check: exit 0"
else
  fail "pdu-host --check exited $status (0: no findings)" "$(out check)" "$(err check)"
fi

status=0
guest run "$kit/pdu-host" --config "$work/site.json" --passes 2 || status=$?
records=$(grep -c '^device [78] ' "$(out run)" || true)
if ((status == 0)) && grep -q '^device 7 .*2 records' "$(out run)" &&
    grep -q '^device 8 .*2 records' "$(out run)"; then
  pass "pdu-host, a polled and a threaded device, 2 passes: exit 0, 2 records each"
else
  fail "pdu-host --passes 2 exited $status ($records summary lines)" "$(out run)" "$(err run)"
fi

status=0
guest survey "$kit/pdu-host" --config "$work/site.json" --survey || status=$?
if ((status == 0)) && grep -qE '^2 PDUs .*2 ok' "$(out survey)"; then
  pass "pdu-host --survey: $(tail -n 1 "$(out survey)")"
else
  fail "pdu-host --survey exited $status (0: every PDU ok)" "$(out survey)" "$(err survey)"
fi

echo "test-release: $passed passed, $failed failed"
((failed == 0))
