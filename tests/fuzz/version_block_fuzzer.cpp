// Reads the fuzzed bytes as an executable (the ELF section finder) and as a version block (the
// checked parser and its queries): no read outside the bytes, whatever they claim.
#include <cstdint>
#include <cstdlib>
#include <span>

#include <QString>
#include <QStringList>

#include "tests/fuzz/fuzz_check.h"
#include "version/elf_section.h"
#include "version/version_block.h"

namespace
{

bool Inside(std::span<const std::uint8_t> part, std::span<const std::uint8_t> whole)
{
    return part.empty() || (part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size());
}

void QueryBlock(std::span<const std::uint8_t> bytes)
{
    using namespace vellumar;
    const std::optional<TVersionBlock> block = TVersionBlock::Parse(bytes);
    if (!block)
        return;
    static const QStringList paths {
        QStringLiteral("\\"),
        QStringLiteral("\\VarFileInfo\\Translation"),
        QStringLiteral("\\StringFileInfo\\080904E4\\FileVersion"),
        QStringLiteral("\\StringFileInfo\\080904e4\\ProductName"),
        QStringLiteral("\\StringFileInfo"),
        QStringLiteral("\\\\"),
        QStringLiteral("StringFileInfo\\\\080904E4\\"),
        QString(),
    };
    for (const QString &path : paths) {
        if (const auto value = block->QueryValue(path))
            VELLUMAR_FUZZ_CHECK(Inside(*value, bytes));
        (void)block->QueryText(path);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace vellumar;
    const std::span<const std::uint8_t> bytes(data, size);
    const TElfSection section = FindElfSection(bytes, kVersionSectionName);
    if (section.Status == TElfSection::TStatus::Found) {
        VELLUMAR_FUZZ_CHECK(Inside(section.Bytes, bytes));
        QueryBlock(section.Bytes);
    }
    QueryBlock(bytes);
    return 0;
}
