#!/usr/bin/env bash
# Installs what the armhf cross build and its qemu-run test suite need on a
# Debian 12 (amd64) machine, and unpacks the armhf net-snmp development files.
#
#   tools/install-armhf-deps.sh NETSNMP_ARMHF_DIR
#
# NETSNMP_ARMHF_DIR (e.g. build-armhf/netsnmp-armhf) receives the unpacked
# libsnmp-dev:armhf package. That package is not multi-arch and conflicts with
# the amd64 libsnmp-dev the native build uses, so it is never installed: its
# headers (net-snmp-config.h is architecture specific) and its libnetsnmp.so
# link symlink are taken from the unpacked tree instead; pass the same folder
# to CMake as NETSNMP_ARMHF_ROOT.
#
# Idempotent: on a machine that already has everything it makes no apt call.
# Must run as root (or with sudo available) when something is missing.
set -euo pipefail

readonly TRIPLET=arm-linux-gnueabihf

die() { echo "install-armhf-deps: ERROR: $*" >&2; exit 1; }
note() { echo "install-armhf-deps: $*"; }

[ $# -eq 1 ] || die "usage: $0 NETSNMP_ARMHF_DIR"
netsnmp_dir=$1

if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  SUDO=()   # only needed if something is missing; apt will then fail loudly
fi

export DEBIAN_FRONTEND=noninteractive
APT_GET=(apt-get -q -y -o Dpkg::Use-Pty=0 -o APT::Color=0)

# Native tools: the cross compilers and the user-mode emulator. qemu-user
# ships a dynamically linked /usr/bin/qemu-arm; no binfmt registration is
# needed because CTest calls the emulator explicitly.
native_pkgs=(crossbuild-essential-armhf qemu-user)
# Target libraries, installed side by side with the amd64 ones (multi-arch).
armhf_pkgs=(libsnmp40:armhf libjsoncpp-dev:armhf libgtest-dev:armhf
            libgmock-dev:armhf libssl-dev:armhf)

is_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null)" = "ii " ]
}

apt_updated=0
apt_update() {
  if [ "$apt_updated" -eq 0 ]; then
    note "apt-get update"
    "${SUDO[@]}" "${APT_GET[@]}" update >/dev/null \
      || die "apt-get update failed"
    apt_updated=1
  fi
}

missing=()
for p in "${native_pkgs[@]}" "${armhf_pkgs[@]}"; do
  is_installed "$p" || missing+=("$p")
done
have_arch=0
dpkg --print-foreign-architectures | grep -qx armhf && have_arch=1

if [ "${#missing[@]}" -gt 0 ] || [ "$have_arch" -eq 0 ]; then
  if [ "$have_arch" -eq 0 ]; then
    note "dpkg --add-architecture armhf"
    "${SUDO[@]}" dpkg --add-architecture armhf
  fi
  apt_update
  if [ "${#missing[@]}" -gt 0 ]; then
    note "installing: ${missing[*]}"
    # --no-remove: never trade away an installed amd64 package (libsnmp-dev
    # in particular) to satisfy the armhf side.
    "${SUDO[@]}" "${APT_GET[@]}" install --no-install-recommends --no-remove \
      "${missing[@]}" >/dev/null || die "apt-get install failed: ${missing[*]}"
  fi
fi

for p in "${native_pkgs[@]}" "${armhf_pkgs[@]}"; do
  is_installed "$p" || die "$p is still not installed"
done
for f in /usr/bin/$TRIPLET-gcc /usr/bin/$TRIPLET-g++ /usr/bin/qemu-arm \
         /lib/ld-linux-armhf.so.3 /usr/lib/$TRIPLET/libnetsnmp.so.40 \
         /usr/lib/$TRIPLET/libgtest.a /usr/lib/$TRIPLET/libgtest_main.a \
         /usr/lib/$TRIPLET/libjsoncpp.so; do
  [ -e "$f" ] || die "$f is missing after installation"
done

# qemu-arm looks for the guest's dynamic loader and libraries under
# /etc/qemu-binfmt/arm first when that exists. Pointing it at the cross
# libc in /usr/arm-linux-gnueabihf mixes two loaders/libcs and crashes on the
# first new thread, so the tests rely on the multiarch libc6:armhf instead.
if [ -e /etc/qemu-binfmt/arm ]; then
  note "WARNING: /etc/qemu-binfmt/arm exists and overrides where qemu-arm" \
       "loads armhf libraries from; remove it if tests crash" >&2
fi

# libsnmp-dev:armhf, unpacked (not installed), matching the installed
# libsnmp40:armhf version exactly.
snmp_ver=$(dpkg-query -W -f='${Version}' libsnmp40:armhf)
stamp="$netsnmp_dir/.libsnmp-dev-armhf-version"
so_link="$netsnmp_dir/usr/lib/$TRIPLET/libnetsnmp.so"
config_h="$netsnmp_dir/usr/include/net-snmp/net-snmp-config.h"

if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$snmp_ver" ] && [ -f "$config_h" ]; then
  :
else
  note "unpacking libsnmp-dev:armhf=$snmp_ver into $netsnmp_dir"
  mkdir -p "$netsnmp_dir"
  netsnmp_dir=$(cd "$netsnmp_dir" && pwd)
  [ "$netsnmp_dir" != / ] || die "refusing to unpack into /"
  # Re-unpacking clears usr/ and etc/ first: make sure the folder holds
  # nothing but an earlier (possibly interrupted) unpack.
  foreign=$(find "$netsnmp_dir" -mindepth 1 -maxdepth 1 ! -name usr ! -name etc \
              ! -name .libsnmp-dev-armhf-version -printf '%f ')
  [ -z "$foreign" ] || die "$netsnmp_dir holds other files ($foreign): give an own folder"
  stamp="$netsnmp_dir/.libsnmp-dev-armhf-version"
  so_link="$netsnmp_dir/usr/lib/$TRIPLET/libnetsnmp.so"
  config_h="$netsnmp_dir/usr/include/net-snmp/net-snmp-config.h"
  dl=$(mktemp -d)
  trap 'rm -rf "$dl"' EXIT
  chmod 755 "$dl"   # readable by apt's _apt download user
  # apt-get download writes into the current directory. Lists may be stale
  # on a machine that has not updated for a while: update once and retry.
  if ! (cd "$dl" && "${APT_GET[@]}" download "libsnmp-dev:armhf=$snmp_ver" >/dev/null 2>&1); then
    apt_update
    (cd "$dl" && "${APT_GET[@]}" download "libsnmp-dev:armhf=$snmp_ver" >/dev/null) \
      || die "cannot download libsnmp-dev:armhf=$snmp_ver (is libsnmp40:armhf out of date? run apt-get upgrade)"
  fi
  debs=("$dl"/libsnmp-dev_*_armhf.deb)
  deb=${debs[0]}
  [ -f "$deb" ] || die "apt-get download produced no libsnmp-dev armhf .deb"
  # Only what a previous unpack created: the folder may sit inside a build
  # tree the caller keeps.
  rm -rf "${netsnmp_dir:?}/usr" "${netsnmp_dir:?}/etc" "$stamp"
  dpkg-deb -x "$deb" "$netsnmp_dir" || die "dpkg-deb -x $deb failed"
  echo "$snmp_ver" > "$stamp"
fi

# The package's libnetsnmp.so is a relative symlink to libnetsnmp.so.40.2.0,
# which comes from libsnmp40:armhf and so is not in the unpacked tree. Point
# it at the installed library so the unpacked tree links on its own.
if [ "$(readlink "$so_link" 2>/dev/null)" != "/usr/lib/$TRIPLET/libnetsnmp.so.40" ]; then
  mkdir -p "$(dirname "$so_link")"
  ln -sfn "/usr/lib/$TRIPLET/libnetsnmp.so.40" "$so_link"
fi
[ -f "$config_h" ] || die "$config_h missing in unpacked libsnmp-dev"
[ -e "$so_link" ] || die "$so_link does not resolve"

note "armhf dependencies ready (net-snmp dev files: $netsnmp_dir)"
