#!/usr/bin/env bash
# The demo: starts the simulated PDU on loopback (sim/pdu_agent.py serving a
# copy of the default table sim/pdu-table.txt, a healthy PDU: every alarm
# column 0), configures one polled device in mode 2 (id 7) and runs
# BUILD_DIR/pdu-host on it for two passes, so the records, the alarm signals
# (none active) and the plug-in's trace lines show. Then it raises an alarm on
# purpose: it sets column 15 (总电流告警 L1, total current alarm L1) to 1 in
# the table the simulator serves, says so, and polls once more. The agent is
# stopped and the temporary files removed on every way out; the exit status
# is pdu-host's (the first that is not 0; 2 when the demo itself cannot
# start).
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

table="$work/table.txt"
cp "$here/../sim/pdu-table.txt" "$table"
start_pdu_agent run-demo "$work" --data "$table" || exit 2
address=$pdu_agent_address

cat >"$work/config.json" <<JSON
{"devices": [{"id": 7, "address": "$address",
              "appSetting": {"b_mode": "2", "use_thread": "0"},
              "thresholdSetting": {}}]}
JSON

# In the background so that a signal to this script is handled at once
# (the trap then ends pdu-host by its PID), and without the agent's stdin,
# which only this script may hold open.
run_host() {
  local status=0
  "$host" --config "$work/config.json" --passes "$1" {pdu_agent_in}>&- &
  host_pid=$!
  wait "$host_pid" || status=$?
  host_pid=""
  return "$status"
}

echo "Simulated PDU at $address serving a healthy PDU's table (sim/pdu-table.txt:"
echo "every alarm column 0); polling it twice:"
echo
status=0
run_host 2 || status=$?

# The simulator reads its table again on every request: replaced whole, so
# that it never reads half a file.
sed 's/^15\.1 integer 0$/15.1 integer 1/' "$table" >"$table.new"
mv "$table.new" "$table"
echo
echo "Raising an alarm on purpose: column 15 (总电流告警 L1, total current alarm L1)"
echo "is now 1 in the simulated PDU's table; polling it once more:"
echo
second=0
run_host 1 || second=$?
((status != 0)) || status=$second
echo
echo "pdu-host exited with status $status."
exit "$status"
