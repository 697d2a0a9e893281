// The plug-in's version, kept in the file as an ELF note so that tools read
// it without loading the plug-in (pdu-host --version; `readelf -n` shows it
// as owner "snmp_varno_pdu", type 1, the version text as bytes). The note is
// data in a section of its own: it defines no symbol, so the plug-in exports
// nothing more than before. PDU_VERSION comes from the project's VERSION file.
//
// Layout (the ELF note format): name size, description size, type, then the
// name and the description, each padded to 4 bytes.

#ifndef PDU_VERSION
#error "PDU_VERSION (the release's version text) must be defined"
#endif

// clang-format off
asm(".pushsection .note.snmp_varno_pdu.version, \"a\", %note\n"
    ".balign 4\n"
    ".long 2f - 1f\n"
    ".long 4f - 3f\n"
    ".long 1\n"
    "1: .asciz \"snmp_varno_pdu\"\n"
    "2: .balign 4\n"
    "3: .asciz \"" PDU_VERSION "\"\n"
    "4: .balign 4\n"
    ".popsection\n");
// clang-format on
