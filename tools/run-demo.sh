#!/usr/bin/env bash
# The demo: starts the simulated PDU on loopback (sim/pdu_agent.py with the
# default table sim/pdu-table.txt), configures one polled device in mode 2
# (id 7) and runs BUILD_DIR/pdu-host on it for three passes, so the records,
# alarm signals and the plug-in's trace lines show. The agent is stopped and
# the temporary files removed on every way out; the exit status is
# pdu-host's (2 when the demo itself cannot start).
#
# Usage: tools/run-demo.sh BUILD_DIR
# shellcheck disable=SC2317  # cleanup runs from traps
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=tools/pdu-agent.sh
source "$here/pdu-agent.sh"
host="$1/pdu-host"
if [[ ! -x $host ]]; then
  echo "run-demo: $host not found; build first (make build)" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pdu-demo.XXXXXX")
host_pid=""

cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  if [[ -n $host_pid ]]; then
    kill -TERM "$host_pid" 2>/dev/null || true
    wait "$host_pid" 2>/dev/null || true
  fi
  stop_pdu_agent run-demo
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

start_pdu_agent run-demo "$work" || exit 2
address=$pdu_agent_address

cat >"$work/config.json" <<JSON
{"devices": [{"id": 7, "address": "$address",
              "appSetting": {"b_mode": "2", "use_thread": "0"},
              "thresholdSetting": {}}]}
JSON

echo "Simulated PDU at $address serving sim/pdu-table.txt; polling it three times:"
echo
# In the background so that a signal to this script is handled at once
# (the trap then ends pdu-host by its PID), and without the agent's stdin,
# which only this script may hold open.
"$host" --config "$work/config.json" --passes 3 {pdu_agent_in}>&- &
host_pid=$!
status=0
wait "$host_pid" || status=$?
host_pid=""
echo
echo "pdu-host exited with status $status."
exit "$status"
