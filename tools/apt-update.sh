# Sourced by the install scripts: `apt-get update` that survives an archive
# in the middle of a mirror sync.
#
#   apt_update_tolerant LABEL APT-GET-COMMAND...
#
# Runs the given apt-get command with `update` appended, up to three times
# with a pause between tries. When an index still fails after the last try it
# names the failed indexes in one line and returns 0: apt keeps every index
# that did download, and the install step that follows either finds what it
# needs in them or fails with its own clear line. Returns 1 when apt failed
# for another reason than an index download (a lock, a broken configuration).

apt_update_tolerant() {
  local label=$1
  shift
  local tries=3 pause=5 attempt log failed=""
  log=$(mktemp)
  for ((attempt = 1; attempt <= tries; attempt++)); do
    if "$@" update >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    failed=$(sed -n 's/^[WE]: Failed to fetch \([^ ]*\).*/\1/p' "$log" | sort -u | tr '\n' ' ')
    ((attempt < tries)) && sleep "$pause"
  done
  if [[ -z $failed ]]; then
    # Not an index that failed but apt itself: show what it said.
    echo "$label: apt-get update failed: $(grep -m1 '^E:' "$log" || tail -n 1 "$log")" >&2
    rm -f "$log"
    return 1
  fi
  echo "$label: going on without these package indexes (apt-get update failed $tries times): $failed" >&2
  rm -f "$log"
  return 0
}
