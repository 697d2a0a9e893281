# Sourced by the scripts that make the armhf roots (armhf-sysroot.sh,
# build-jsoncpp-armhf.sh, armhf-target-root.sh): the Debian packages a root
# is made of are exactly those tools/armhf-roots.lock names for it, each at
# its version and with its SHA-256.
#
# The packages are taken from a folder of .deb files (and source packages),
# ARMHF_DEBS, by default debs/ beside the root; one the folder lacks is
# downloaded into it first from the Debian archive. Every file is checked
# against the lock before it is used: a package that cannot be had at the
# locked version, or whose file differs from the lock, stops the script with
# one line naming it. With ARMHF_REFRESH_LOCK=1 (make armhf-lock) the
# archive's current versions of the packages asked for are downloaded instead
# and written into the lock, replacing that root's lines.
#
# The caller sets LOCK_LABEL (its name in messages), LOCK_DEBS (the folder),
# LOCK_MIRROR (the archive's address) and the array LOCK_APT (its private
# apt-get command line, lock_private_apt makes one), then calls
#
#   lock_fetch ROOT [SPEC...] >LIST
#
# ROOT is build, source or target; each SPEC a package as apt names it
# (gcc-10-cross-base, libc6:armhf, libjsoncpp=1.9.5-4 for a source package).
# Without ARMHF_REFRESH_LOCK the lock's packages of ROOT must be the SPECs
# given (none given: whatever the lock says). LIST gets the checked files.
# lock_digest ROOT prints a digest of ROOT's lines, for a root's stamp.

# shellcheck source=tools/apt-update.sh
source "$(dirname "${BASH_SOURCE[0]}")/apt-update.sh"

LOCK_FILE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/armhf-roots.lock"
readonly LOCK_TRIES=3 LOCK_PAUSE=10

lock_die() { echo "$LOCK_LABEL: $*" >&2; exit 1; }

# A private apt state in DIR: its own sources list (SOURCE, one line, or
# none), index folder and an empty status file, so the machine's sources,
# preferences and package database are neither read nor written. Sets
# LOCK_APT to apt-get with it and the options given.
lock_private_apt() {  # DIR SOURCE [APT-GET OPTION...]
  local dir=$1 source=$2
  shift 2
  rm -rf "$dir"
  mkdir -p "$dir"/{lists/partial,cache/archives/partial,sources.list.d,preferences.d}
  : >"$dir/status"
  : >"$dir/sources.list"
  [[ -z $source ]] || echo "$source" >"$dir/sources.list"
  LOCK_APT=(apt-get -q -y "$@" -o Dir::Etc::SourceList="$dir/sources.list"
            -o Dir::Etc::SourceParts="$dir/sources.list.d" -o Dir::Etc::Preferences="$dir/preferences"
            -o Dir::Etc::PreferencesParts="$dir/preferences.d" -o Dir::State::Lists="$dir/lists"
            -o Dir::State::status="$dir/status" -o Dir::Cache="$dir/cache")
}

# ROOT's lines: NAME VERSION ARCH SHA256.
lock_entries() { awk -v root="$1" '$1 == root {print $2, $3, $4, $5}' "$LOCK_FILE"; }
lock_digest() { lock_entries "$1" | sha256sum | cut -d ' ' -f 1; }

# A package's file as apt names it (an epoch's colon as %3a); the archive's
# own name, without the epoch, is taken as well.
lock_file_names() {  # NAME VERSION ARCH
  if [[ $3 == source ]]; then
    echo "${1}_${2#*:}.dsc"
  else
    echo "${1}_${2//:/%3a}_$3.deb"
    echo "${1}_${2#*:}_$3.deb"
  fi
}
lock_find() {  # NAME VERSION ARCH: its file in LOCK_DEBS, or nothing
  local name
  for name in $(lock_file_names "$@"); do
    [[ -f $LOCK_DEBS/$name ]] && { echo "$LOCK_DEBS/$name"; return; }
  done
  true
}

# Runs apt-get in LOCK_DEBS/.partial with LOCK_TRIES tries (a name lookup or
# a mirror sync can fail for a moment) and moves what it fetched into
# LOCK_DEBS; the array lock_downloaded gets the files. A version the archive
# does not have is no passing failure: it stops at once, naming the package
# and what the archive has instead.
lock_download() {  # apt-get arguments (download NAME=VERSION..., source ...)
  local partial="$LOCK_DEBS/.partial" log="$LOCK_DEBS/.download.log" attempt missing file
  [[ -n $LOCK_MIRROR ]] ||
    lock_die "no Debian archive to fetch from (set ARMHF_MIRROR), and $LOCK_DEBS lacks: ${*:2}"
  if [[ -z ${lock_updated:-} ]]; then
    apt_update_tolerant "$LOCK_LABEL" "${LOCK_APT[@]}" ||
      lock_die "cannot read the package index of $LOCK_MIRROR"
    lock_updated=1
  fi
  for ((attempt = 1; ; attempt++)); do
    rm -rf "$partial"
    mkdir -p "$partial"
    # As root: apt's own user may not be able to write the folder.
    if (cd "$partial" && "${LOCK_APT[@]}" -o APT::Sandbox::User=root "$@") >"$log" 2>&1; then
      break
    fi
    missing=$(sed -n -e "s/^E: Version '\(.*\)' for '\(.*\)' was not found$/\2 \1/p" \
                -e "s/^E: Can not find version '\(.*\)' of package '\(.*\)'$/\2 \1/p" "$log" | head -n 1)
    if [[ -n $missing ]]; then
      local has
      has=$(lock_apt_cache policy "${missing% *}" | sed -n 's/^ *Candidate: //p')
      lock_die "the lock's ${missing} is not in $LOCK_MIRROR (it has ${has:-no version of it}):" \
               "refresh the lock (make armhf-lock) or set ARMHF_DEBS to a folder holding it"
    fi
    ((attempt < LOCK_TRIES)) || lock_die "cannot download ${*:2} from $LOCK_MIRROR ($LOCK_TRIES tries):" \
                                         "$(grep -m 1 '^E:' "$log" || tail -n 1 "$log")"
    sleep "$LOCK_PAUSE"
  done
  lock_downloaded=()
  for file in "$partial"/*; do
    [[ -f $file ]] || continue
    mv -f "$file" "$LOCK_DEBS/"
    lock_downloaded+=("$LOCK_DEBS/$(basename "$file")")
  done
  rm -rf "$partial" "$log"
}

# apt-cache with the caller's private apt state.
lock_apt_cache() {
  local option options=()
  for option in "${LOCK_APT[@]:1}"; do [[ $option == -y ]] || options+=("$option"); done
  apt-cache "${options[@]}" "$@" 2>/dev/null || true
}

# How apt asks for a locked package: an amd64 or all one by its name alone
# (the private state's native architecture is amd64 or armhf), another with it.
lock_apt_name() {  # NAME ARCH
  if [[ $2 == all || $2 == amd64 || $2 == source ]]; then echo "$1"; else echo "$1:$2"; fi
}

lock_fetch() {
  local root=$1
  shift
  mkdir -p "$LOCK_DEBS"
  LOCK_DEBS=$(cd "$LOCK_DEBS" && pwd)
  if [[ ${ARMHF_REFRESH_LOCK:-} == 1 ]]; then
    lock_refresh "$root" "$@"
  elif (($# > 0)); then
    local wanted locked unlocked unwanted
    wanted=$(printf '%s\n' "${@%%[:=]*}" | sort -u)
    locked=$(lock_entries "$root" | cut -d ' ' -f 1 | sort -u)
    unlocked=$(comm -23 <(echo "$wanted") <(echo "$locked") | paste -sd ' ')
    unwanted=$(comm -13 <(echo "$wanted") <(echo "$locked") | paste -sd ' ')
    [[ -z $unlocked && -z $unwanted ]] ||
      lock_die "$(basename "$LOCK_FILE") does not list the $root packages asked for (not locked:" \
               "${unlocked:-none}; locked, not asked for: ${unwanted:-none}): refresh it (make armhf-lock)"
  fi
  local entries name version arch sum file missing=() sources=()
  entries=$(lock_entries "$root")
  [[ -n $entries ]] || lock_die "$(basename "$LOCK_FILE") lists no $root package: make it with make armhf-lock"
  while read -r name version arch sum; do
    [[ -n $(lock_find "$name" "$version" "$arch") ]] && continue
    if [[ $arch == source ]]; then
      sources+=("$name=$version")
    else
      missing+=("$(lock_apt_name "$name" "$arch")=$version")
    fi
  done <<<"$entries"
  ((${#missing[@]} == 0)) || lock_download download "${missing[@]}"
  for name in "${sources[@]}"; do lock_download source --download-only "$name"; done
  while read -r name version arch sum; do
    file=$(lock_find "$name" "$version" "$arch")
    [[ -n $file ]] || lock_die "$name $version ($arch) is neither in $LOCK_DEBS nor was it downloaded"
    [[ $(sha256sum "$file" | cut -d ' ' -f 1) == "$sum" ]] ||
      lock_die "$name $version ($arch): $file differs from the lock's SHA-256 $sum:" \
               "refresh the lock (make armhf-lock) if this one is wanted"
    echo "$file"
  done <<<"$entries"
}

# The archive's current packages for ROOT's SPECs become the lock's lines
# for ROOT: downloaded into LOCK_DEBS and read back from the files.
lock_refresh() {
  local root=$1
  shift
  local lines=() file
  echo "$LOCK_LABEL: locking the archive's current $root packages ($# of them)" >&2
  if [[ $root == source ]]; then
    local spec
    for spec in "$@"; do
      lock_download source --download-only "$spec"
      for file in "${lock_downloaded[@]}"; do
        [[ $file == *.dsc ]] || continue
        lines+=("$root $(sed -n 's/^Source: //p' "$file") $(sed -n 's/^Version: //p' "$file") source $(
                  sha256sum "$file" | cut -d ' ' -f 1)")
      done
    done
  else
    lock_download download "$@"
    for file in "${lock_downloaded[@]}"; do
      lines+=("$root $(dpkg-deb -f "$file" Package) $(dpkg-deb -f "$file" Version) $(
                dpkg-deb -f "$file" Architecture) $(sha256sum "$file" | cut -d ' ' -f 1)")
    done
  fi
  # Comments first, then the roots in the order they are made, by name.
  {
    grep '^#' "$LOCK_FILE" || true
    {
      grep -vE "^(#|$root |\s*$)" "$LOCK_FILE" || true
      printf '%s\n' "${lines[@]}"
    } | awk 'BEGIN {order["build"] = 1; order["source"] = 2; order["target"] = 3}
             {printf "%d %-7s %-36s %-26s %-6s %s\n", order[$1], $1, $2, $3, $4, $5}' |
      sort -k1,1n -k3,3 -k5,5 | cut -d ' ' -f 2-
  } >"$LOCK_FILE.new"
  mv "$LOCK_FILE.new" "$LOCK_FILE"
}
