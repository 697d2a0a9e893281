#!/usr/bin/env bash
# The demo: starts the simulated PDU on loopback (sim/pdu_agent.py with the
# default table sim/pdu-table.txt), configures one polled device in mode 2
# (id 7) and runs BUILD_DIR/pdu-host on it for three passes, so the records,
# alarm signals and the plug-in's trace lines show. The agent is stopped and
# the temporary files removed on every way out; the exit status is
# pdu-host's (2 when the demo itself cannot start).
#
# Usage: tools/run-demo.sh BUILD_DIR
# shellcheck disable=SC2317  # cleanup and stop_agent run from traps
set -euo pipefail

readonly kAddressBound=30  # seconds to wait for the agent's address line
readonly kStopBound=10     # seconds to wait for the agent to stop by itself

if [[ $# -ne 1 ]]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
host="$1/pdu-host"
if [[ ! -x $host ]]; then
  echo "run-demo: $host not found; build first (make build)" >&2
  exit 2
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pdu-demo.XXXXXX")
agent_pid=""
agent_in=""
host_pid=""

stop_agent() {
  [[ -n $agent_in ]] && exec {agent_in}>&-  # EOF on its stdin stops the agent
  agent_in=""
  [[ -n $agent_pid ]] || return 0
  local waited=0
  while kill -0 "$agent_pid" 2>/dev/null && ((waited < kStopBound * 10)); do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$agent_pid" 2>/dev/null; then
    echo "run-demo: the PDU agent did not stop; killing PID $agent_pid" >&2
    kill -KILL "$agent_pid" 2>/dev/null || true
  fi
  wait "$agent_pid" 2>/dev/null || true
  agent_pid=""
}

cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  if [[ -n $host_pid ]]; then
    kill -TERM "$host_pid" 2>/dev/null || true
    wait "$host_pid" 2>/dev/null || true
  fi
  stop_agent
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The agent reads its stdin from a FIFO this script holds open for writing:
# closing it (or this script dying) stops the agent.
mkfifo "$work/agent.in"
: >"$work/agent.out"
python3 "$root/sim/pdu_agent.py" <"$work/agent.in" >"$work/agent.out" &
agent_pid=$!
exec {agent_in}<>"$work/agent.in"  # read-write: never blocks on open

address=""
for ((tenths = 0; tenths < kAddressBound * 10; tenths++)); do
  if IFS= read -r address <"$work/agent.out"; then break; fi
  address=""
  if ! kill -0 "$agent_pid" 2>/dev/null; then break; fi
  sleep 0.1
done
if [[ ! $address =~ ^127\.0\.0\.1:[0-9]+$ ]]; then
  echo "run-demo: the simulated PDU did not start (address line: '${address}')" >&2
  exit 2
fi

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
"$host" --config "$work/config.json" --passes 3 {agent_in}>&- &
host_pid=$!
status=0
wait "$host_pid" || status=$?
host_pid=""
echo
echo "pdu-host exited with status $status."
exit "$status"
