#!/usr/bin/env bash
# Checks the built plug-in file as a host's loader sees it: its name and
# soname, that it exports exactly get_providers, that it needs only net-snmp
# and the system runtime, and that host framework and JsonCpp symbols are
# left for the loading process to resolve, and that it is hardened.
#
#   check_plugin_binary.sh PLUGIN [--netsnmp SONAME] [--armhf]
#                          [--max-versions GLIBC_x.y,GLIBCXX_x.y.z,...] [--sanitized]
#                          [--hardened stack-protector,fortify,relro,bind-now]
#
# --netsnmp: the exact net-snmp library it must need (default: any).
# --armhf: it must be a 32-bit ARM hard-float file.
# --max-versions: the newest symbol version of each named set it may ask for,
#   so it loads on a host whose C and C++ runtimes are that old.
# --sanitized: a sanitizer build also needs the sanitizer runtimes.
# --hardened: what tools/elf-hardening.sh must find in it.
set -euo pipefail
plugin=$1
shift
netsnmp='libnetsnmp\.so\.[0-9]+'
armhf=0
max_versions=""
hardened=""
runtime='libstdc\+\+\.so\.6|libm\.so\.6|libgcc_s\.so\.1|libc\.so\.6|libpthread\.so\.0'
while [[ $# -gt 0 ]]; do
  case $1 in
    --netsnmp) netsnmp=${2//./\\.}; shift ;;
    # The stack protector's guard word on 32-bit ARM is the loader's, which
    # every process has loaded already.
    --armhf) armhf=1 runtime+='|ld-linux-armhf\.so\.3' ;;
    --max-versions) max_versions=$2; shift ;;
    --sanitized) runtime+='|lib(a|ub|t)san\.so\.[0-9]+' ;;
    --hardened) hardened=$2; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift
done
fail() { echo "FAIL: $*" >&2; exit 1; }

[[ $(basename "$plugin") == snmp_varno_pdu.so ]] || fail "file name is $(basename "$plugin")"

if ((armhf)); then
  header=$(readelf -h -W "$plugin")
  grep -qE 'Class: +ELF32' <<<"$header" || fail "not a 32-bit ELF file"
  grep -qE 'Machine: +ARM$' <<<"$header" || fail "not an ARM file"
  grep -qE 'Flags:.*hard-float ABI' <<<"$header" || fail "not built for the hard-float ABI"
fi

dynamic=$(readelf -d -W "$plugin")
soname=$(sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p' <<<"$dynamic")
[[ $soname == snmp_varno_pdu.so ]] || fail "soname is '$soname'"
! grep -qE '\((RPATH|RUNPATH)\)' <<<"$dynamic" || fail "it carries a library search path"

needed=$(sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' <<<"$dynamic" | sort)
grep -qE "^($netsnmp)\$" <<<"$needed" || fail "net-snmp ($netsnmp) is not needed: $needed"
unexpected=$(grep -vE "^($netsnmp|$runtime)\$" <<<"$needed" || true)
[[ -z $unexpected ]] || fail "unexpected needed libraries: $unexpected"

symbols=$(readelf --dyn-syms -W "$plugin" | awk 'NR > 3 && $1 ~ /:$/')
defined=$(awk '$7 != "UND" && $5 != "LOCAL" && $8 != "" {print $8}' <<<"$symbols" | sort -u)
[[ $defined == get_providers ]] || fail "exported symbols are: $defined"

undefined=$(awk '$7 == "UND" {print $8}' <<<"$symbols" | sed 's/@.*//' | c++filt)
for symbol in 'QTXVDevice::SendSP(' 'QTXVDevice::CheckThresholdBool(' 'QTXVDevice::InitSetting(' \
              'QTXVDevice::SaveDeviceHistory(' 'QTXSocketDevice::QTXSocketDevice()' 'get_ttime(' \
              'typeinfo for QTXSocketDevice' 'Json::Value::'; do
  grep -qF -- "$symbol" <<<"$undefined" || fail "'$symbol' is not left undefined"
done

# Every version it asks for, e.g. GLIBC_2.4, from the version-needs section.
versions=$(readelf -V -W "$plugin" | sed -n 's/.*Name: \([A-Z]*_[0-9.]*\) .*/\1/p' | sort -u)
newest=""
for limit in ${max_versions//,/ }; do
  set_name=${limit%_*}
  top=$(grep -E "^${set_name}_[0-9.]+\$" <<<"$versions" | sort -V | tail -n 1 || true)
  if [[ -n $top && $(printf '%s\n%s\n' "$top" "$limit" | sort -V | tail -n 1) != "$limit" ]]; then
    fail "it needs $top, newer than $limit"
  fi
  newest+=" ${top:-no-$set_name}"
done
hardening=""
if [[ -n $hardened ]]; then
  hardening=$(bash "$(dirname "${BASH_SOURCE[0]}")/../tools/elf-hardening.sh" "$plugin" \
                --require "$hardened" 2>&1) || fail "${hardening##*$'\n'}"
fi
echo "plugin binary OK: exports get_providers; needs" $needed${newest:+; newest versions:$newest}${hardening:+; $hardening}
