#!/usr/bin/env bash
# tools/armhf-sysroot.sh --mirror: the Debian archive comes from ARMHF_MIRROR
# or the machine's apt sources (both forms), never from the script; without
# one it stops with one line.
set -uo pipefail
script=$1
etc=$(mktemp -d)
trap 'rm -rf "$etc"' EXIT
mkdir -p "$etc/sources.list.d"
echo "Dir::Etc \"$etc/\";" >"$etc/apt.conf"
export APT_CONFIG=$etc/apt.conf
failed=0
expect() {  # expect WANTED-STDOUT WANTED-STATUS [VAR=VALUE]
  local out err status
  out=$(env ${3:+"$3"} bash "$script" --mirror 2>"$etc/err"); status=$?
  err=$(cat "$etc/err")
  if [[ $out != "$1" || $status != "$2" || ($status != 0 && $(wc -l <"$etc/err") != 1) ]]; then
    echo "FAILED: wanted '$1' (exit $2), got '$out' (exit $status), stderr: $err"
    failed=1
  fi
}

expect "" 1
expect "http://m.invalid/debian" 0 ARMHF_MIRROR=http://m.invalid/debian
printf '%s\n' '# deb http://a.invalid/debian bookworm main' 'deb-src http://b.invalid/debian bookworm main' \
  'deb [arch=amd64 signed-by=/k.gpg] http://c.invalid/pool/debian/ bookworm main' >"$etc/sources.list"
expect "http://c.invalid/pool/debian" 0
rm "$etc/sources.list"
printf '%s\n' 'Types: deb' '# http://a.invalid/debian' 'URIs: http://s.invalid/debian-security' '' \
  'Types: deb' 'URIs: http://e.invalid/debian' 'Enabled: no' '' 'Types: deb-src' \
  'URIs: http://f.invalid/debian' '' 'types: deb deb-src' 'uris: http://g.invalid/x' \
  '  https://h.invalid/debian/' 'Suites: bookworm' >"$etc/sources.list.d/debian.sources"
expect "https://h.invalid/debian" 0
exit $failed
