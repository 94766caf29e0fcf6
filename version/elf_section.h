#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace vellumar
{

/** What FindElfSection found. */
struct TElfSection {
    enum class TStatus {
        Found, ///< Bytes holds the section's contents
        NoSection, ///< not an ELF file, or an ELF file without that section
        Damaged, ///< an ELF file whose headers or name table point outside the file
    };
    TStatus Status = TStatus::NoSection;
    std::span<const std::uint8_t> Bytes;
};

/**
 * Finds the section called name in an ELF file held in memory (32 or 64 bits, either byte order).
 * Every offset and size is checked against the file, so a truncated or hostile file gives Damaged,
 * never a read outside file. A section without contents in the file (SHT_NOBITS) counts as Damaged.
 */
[[nodiscard]] TElfSection FindElfSection(std::span<const std::uint8_t> file, std::string_view name);

} // namespace vellumar
