# Hardening of everything the project compiles and links, as Debian builds
# its own packages: a strong stack protector, glibc's checked string and
# format functions (_FORTIFY_SOURCE=2), format strings that cannot come from
# data, relocations made read-only after start (full RELRO: -z relro -z now)
# and position-independent executables (the compilers of Debian 11 and 12
# make every object fit for one; pdu-host, which we ship, asks for it).
#
# -z now holds for the plug-in too: every symbol it takes from the host
# framework, JsonCpp and net-snmp is bound when the host loads it, so a host
# that lacks one refuses the plug-in at dlopen with the symbol's name, instead
# of ending the whole host process at the first call of it during a poll.
#
# _FORTIFY_SOURCE needs optimisation and works against the sanitizers' own
# checks (their interceptors replace the checked functions), so Debug,
# sanitizer and fuzz builds go without it; tools/elf-hardening.sh reports what
# a built file has.

# Executables with POSITION_INDEPENDENT_CODE are linked with -pie.
include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)

add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
add_link_options(LINKER:-z,relro LINKER:-z,now)

if(CMAKE_BUILD_TYPE STREQUAL "Debug" OR PDU_SANITIZE OR PDU_FUZZ)
  set(PDU_FORTIFIED OFF)
else()
  set(PDU_FORTIFIED ON)
  # -U first: some compilers define it themselves, at another level.
  add_compile_options(-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
endif()
