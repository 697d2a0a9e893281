#!/usr/bin/env bash
# Builds the benchmark (and the plug-in it loads) in BUILD_DIR if needed and
# runs it against the simulated PDU on loopback.
#
#   tools/run-bench.sh BUILD_DIR [pdu-bench options...]
#
# BUILD_DIR is configured (RelWithDebInfo) when it has no CMake cache yet.
# Options go to the benchmark: --passes N (>= 50), --warmup N, --devices N,
# --b-mode 1|2, --plugin PATH, --armhf-dir DIR, --armhf-devices N,
# --armhf-seconds S, --survey-pdus N, --survey-dead N, --survey-host PATH.
# The site is surveyed three times (v2c; v3 authPriv; v3 authPriv with a
# third of the live PDUs sharing an engine ID); the v3 surveys start 40
# simulated PDUs of their own, which takes about half a minute. When the
# armhf build (make armhf) is there, its pdu-host is run under qemu-arm as
# well. The last line of output is the ratio of the plug-in's median pass
# time to the bare net-snmp walk's. The exit status is the benchmark's: 0,
# or 1 when a pass or a survey misbehaved, 2 on a setup failure.
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 BUILD_DIR [pdu-bench options...]" >&2
  exit 2
fi
build_dir=$1
shift

source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
  cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build_dir" --target pdu_bench -j "$jobs"

armhf=()
if [[ -x $source_dir/build-armhf/pdu-host ]]; then
  armhf=(--armhf-dir "$source_dir/build-armhf")
fi
exec "$build_dir/bench/pdu-bench" "${armhf[@]}" "$@"
