#!/usr/bin/env bash
# Checks the built plug-in file as a host's loader sees it: its name and
# soname, that it exports exactly get_providers, that it needs only net-snmp
# and the system runtime, and that host framework and JsonCpp symbols are
# left for the loading process to resolve.
set -euo pipefail
plugin=$1
# A sanitizer build also needs the sanitizer runtimes.
runtime='libnetsnmp\.so\.[0-9]+|libstdc\+\+\.so\.6|libm\.so\.6|libgcc_s\.so\.1|libc\.so\.6'
[[ ${2:-} == --sanitized ]] && runtime+='|lib(a|ub|t)san\.so\.[0-9]+'
fail() { echo "FAIL: $*" >&2; exit 1; }

[[ $(basename "$plugin") == snmp_varno_pdu.so ]] || fail "file name is $(basename "$plugin")"

dynamic=$(readelf -d -W "$plugin")
soname=$(sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p' <<<"$dynamic")
[[ $soname == snmp_varno_pdu.so ]] || fail "soname is '$soname'"

needed=$(sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' <<<"$dynamic" | sort)
grep -qE '^libnetsnmp\.so\.[0-9]+$' <<<"$needed" || fail "net-snmp is not needed: $needed"
unexpected=$(grep -vE "^($runtime)\$" <<<"$needed" || true)
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
echo "plugin binary OK: exports get_providers; needs" $needed
