# Sourced by scripts that run pdu-host against the simulated PDU: starts
# sim/pdu_agent.py on a free loopback port and stops it again.
#
#   start_pdu_agent LABEL WORK_DIR [AGENT_OPTION...]
#       starts the agent with its stdin on a FIFO in WORK_DIR that this shell
#       holds open, and sets pdu_agent_address (127.0.0.1:PORT) once the agent
#       prints it, and pdu_agent_addresses to every address it serves (more
#       than one with --more-ports N); returns 1 with one line on stderr when
#       it does not come up within 30 s.
#   stop_pdu_agent LABEL
#       closes that FIFO, which stops the agent, and kills it by its PID when
#       it has not stopped within 10 s. Safe to call more than once.
#
# A program started while the agent runs must not inherit the FIFO:
# run it with {pdu_agent_in}>&- .
# shellcheck shell=bash

readonly kPduAgentAddressBound=30  # seconds to wait for the agent's address line
readonly kPduAgentStopBound=10     # seconds to wait for the agent to stop by itself
pdu_agent_pid=""
pdu_agent_in=""
# shellcheck disable=SC2034  # for the scripts that source this file
pdu_agent_address=""
# shellcheck disable=SC2034
pdu_agent_addresses=()

start_pdu_agent() {
  local label=$1 work=$2
  shift 2
  local sim
  sim="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/sim/pdu_agent.py"
  mkfifo "$work/agent.in"
  : >"$work/agent.out"
  python3 "$sim" "$@" <"$work/agent.in" >"$work/agent.out" &
  pdu_agent_pid=$!
  exec {pdu_agent_in}<>"$work/agent.in"  # read-write: never blocks on open
  local address="" tenths
  for ((tenths = 0; tenths < kPduAgentAddressBound * 10; tenths++)); do
    if IFS= read -r address <"$work/agent.out"; then break; fi
    address=""
    if ! kill -0 "$pdu_agent_pid" 2>/dev/null; then break; fi
    sleep 0.1
  done
  if [[ ! $address =~ ^127\.0\.0\.1:[0-9]+(,127\.0\.0\.1:[0-9]+)*$ ]]; then
    echo "$label: the simulated PDU did not start (address line: '${address}')" >&2
    return 1
  fi
  # shellcheck disable=SC2034
  IFS=, read -r -a pdu_agent_addresses <<<"$address"
  # shellcheck disable=SC2034
  pdu_agent_address=${pdu_agent_addresses[0]}
}

stop_pdu_agent() {
  local label=$1 waited=0
  [[ -n $pdu_agent_in ]] && exec {pdu_agent_in}>&-  # EOF on its stdin stops the agent
  pdu_agent_in=""
  [[ -n $pdu_agent_pid ]] || return 0
  while kill -0 "$pdu_agent_pid" 2>/dev/null && ((waited < kPduAgentStopBound * 10)); do
    sleep 0.1
    waited=$((waited + 1))
  done
  if kill -0 "$pdu_agent_pid" 2>/dev/null; then
    echo "$label: the PDU agent did not stop; killing PID $pdu_agent_pid" >&2
    kill -KILL "$pdu_agent_pid" 2>/dev/null || true
  fi
  wait "$pdu_agent_pid" 2>/dev/null || true
  pdu_agent_pid=""
}
