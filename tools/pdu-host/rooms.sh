#!/usr/bin/env bash
# pdu-host's rooms, from the top down: a file includes headers of its own
# room and of rooms below it, never of a room above (README.md says what
# each room holds). Prints the include arrows between rooms, "FROM -> TO
# COUNT", and exits 1 on an arrow that runs upward or on a folder that is
# not in the order below.
set -euo pipefail
cd "$(dirname "$0")"

rooms=(command_line run_as_host console explain_record survey check verdict walk capture configuration common)

declare -A rank
for i in "${!rooms[@]}"; do rank[${rooms[$i]}]=$i; done

status=0
for folder in */; do
  folder=${folder%/}
  if [[ -z ${rank[$folder]+set} ]]; then
    echo "folder $folder/ is not a room: give it its place in ${0##*/}" >&2
    status=1
  fi
done

declare -A arrows
for from in "${rooms[@]}"; do
  for file in "$from"/*.h "$from"/*.cpp; do
    [[ -e $file ]] || continue
    while read -r header; do
      to=${header%%/*}
      [[ -n ${rank[$to]+set} && $to != "$from" ]] || continue
      arrows[$from -> $to]=$((${arrows[$from -> $to]:-0} + 1))
      if ((rank[$to] < rank[$from])); then
        echo "$file includes $header: $from is below $to" >&2
        status=1
      fi
    done < <(sed -n 's/^#include "\([^"]*\)".*/\1/p' "$file")
  done
done

for from in "${rooms[@]}"; do
  for to in "${rooms[@]}"; do
    [[ -n ${arrows[$from -> $to]+set} ]] && echo "$from -> $to ${arrows[$from -> $to]}"
  done
done
exit $status
