// Places the program's version block, built from resources/version at build time, in an ELF section of
// its own. The section is not loaded into memory (no "a" flag): the version reader reads it from the
// executable's file, like the platform's version resources are read from a file.
asm(".pushsection .vellumar_version,\"\",%progbits\n"
    ".balign 4\n"
    ".incbin \"" VELLUMAR_VERSION_BLOCK_FILE "\"\n"
    ".popsection\n");
