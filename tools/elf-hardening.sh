#!/usr/bin/env bash
# Tells how a built ELF file (program or library, any architecture readelf
# reads) is hardened, in one line, and optionally requires some of it:
#
#   tools/elf-hardening.sh FILE [--require stack-protector,fortify,relro,bind-now,pie]
#
# stack protector  it calls __stack_chk_fail (-fstack-protector-strong)
# FORTIFY          it calls glibc's checked functions, __*_chk (-D_FORTIFY_SOURCE=2)
# RELRO            a GNU_RELRO segment: "full" with BIND_NOW (-z relro -z now)
# BIND_NOW         every symbol bound at load (-z now)
# PIE              a position-independent executable (a library is "shared library")
#
# Prints the line on standard output; with --require, exits 1 with one line
# on standard error naming what FILE lacks, 2 when FILE is no ELF file.
set -euo pipefail

die() { echo "elf-hardening: $*" >&2; exit 2; }
[[ $# -eq 1 || ($# -eq 3 && $2 == --require) ]] || die "usage: $0 FILE [--require LIST]"
file=$1
required=${3:-}
header=$(readelf -h -W "$file" 2>/dev/null) || die "$file is not an ELF file"
dynamic=$(readelf -d -W "$file")
undefined=$(readelf --dyn-syms -W "$file" | awk '$7 == "UND" {sub(/@.*/, "", $8); print $8}' | sort -u)

has=()
grep -qx '__stack_chk_fail' <<<"$undefined" && has+=(stack-protector)
checked=$(grep -E '^__[a-z0-9_]+_chk$' <<<"$undefined" | grep -vcx '__stack_chk_fail' || true)
((checked > 0)) && has+=(fortify)
readelf -l -W "$file" | grep -q 'GNU_RELRO' && has+=(relro)
grep -qE '\(BIND_NOW\)|\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*\bNOW\b' <<<"$dynamic" && has+=(bind-now)
library=0
if grep -qE 'Type: +DYN' <<<"$header"; then
  if grep -qE '\(FLAGS_1\).*\bPIE\b' <<<"$dynamic"; then has+=(pie); else library=1; fi
fi

yes_no() { [[ " ${has[*]} " == *" $1 "* ]] && echo yes || echo no; }
relro=$(yes_no relro)
[[ $relro == yes ]] && relro=$([[ $(yes_no bind-now) == yes ]] && echo full || echo partial)
fortify=$(yes_no fortify)
((checked == 0)) || fortify+=" ($checked checked functions)"
pie=$(yes_no pie)
((library == 0)) || pie="shared library"
echo "stack protector: $(yes_no stack-protector); FORTIFY: $fortify; RELRO: $relro;" \
     "BIND_NOW: $(yes_no bind-now); PIE: $pie"

lacking=()
for want in ${required//,/ }; do
  case $want in
    stack-protector | fortify | relro | bind-now | pie) ;;
    *) die "unknown property '$want' (stack-protector, fortify, relro, bind-now, pie)" ;;
  esac
  [[ " ${has[*]} " == *" $want "* ]] || lacking+=("$want")
done
if ((${#lacking[@]} > 0)); then
  echo "elf-hardening: $(basename "$file") lacks: ${lacking[*]}" >&2
  exit 1
fi
