#include "version/elf_section.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace vellumar
{

namespace
{

constexpr std::size_t kIdentSize = 16;
constexpr std::array<std::uint8_t, 4> kMagic { 0x7F, 'E', 'L', 'F' };
constexpr std::uint8_t kClass32 = 1;
constexpr std::uint8_t kClass64 = 2;
constexpr std::uint8_t kLittleEndian = 1;
constexpr std::uint8_t kBigEndian = 2;
constexpr std::uint32_t kSectionNoBits = 8;
constexpr std::uint64_t kExtendedIndex = 0xFFFF; // SHN_XINDEX: the real value is in section 0

// Where the fields that matter sit in the file header and in a section header, per ELF class.
struct TElfLayout {
    std::size_t HeaderSize;
    std::size_t SectionTableOffset, SectionEntrySize, SectionCount, NameTableIndex;
    std::size_t MinSectionEntrySize;
    std::size_t AddressWidth;
    std::size_t SectionName, SectionType, SectionOffset, SectionSize, SectionLink;
};

constexpr TElfLayout kLayout32 { 52, 0x20, 0x2E, 0x30, 0x32, 40, 4, 0x00, 0x04, 0x10, 0x14, 0x18 };
constexpr TElfLayout kLayout64 { 64, 0x28, 0x3A, 0x3C, 0x3E, 64, 8, 0x00, 0x04, 0x18, 0x20, 0x28 };

class TElfFile
{
public:
    TElfFile(std::span<const std::uint8_t> bytes, const TElfLayout &layout, bool bigEndian)
        : mBytes(bytes)
        , mLayout(layout)
        , mBigEndian(bigEndian)
    {
    }

    // A field of width bytes at `at`; the caller has checked that it lies inside the file.
    [[nodiscard]] std::uint64_t Field(std::uint64_t at, std::size_t width) const
    {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < width; ++i) {
            const std::uint8_t byte = mBytes[std::size_t(at) + (mBigEndian ? i : width - 1 - i)];
            value = value << 8 | byte;
        }
        return value;
    }

    // True when the range [offset, offset + size) lies inside the file.
    [[nodiscard]] bool Holds(std::uint64_t offset, std::uint64_t size) const
    {
        return offset <= mBytes.size() && size <= mBytes.size() - offset;
    }

    [[nodiscard]] const TElfLayout &Layout() const { return mLayout; }
    [[nodiscard]] std::span<const std::uint8_t> Range(std::uint64_t offset, std::uint64_t size) const
    {
        return mBytes.subspan(std::size_t(offset), std::size_t(size));
    }

private:
    std::span<const std::uint8_t> mBytes;
    const TElfLayout &mLayout;
    bool mBigEndian;
};

} // namespace

TElfSection FindElfSection(std::span<const std::uint8_t> file, std::string_view name)
{
    const TElfSection damaged { TElfSection::TStatus::Damaged, {} };
    if (file.size() < kIdentSize || !std::equal(kMagic.begin(), kMagic.end(), file.begin()))
        return {};
    const std::uint8_t elfClass = file[4];
    const std::uint8_t byteOrder = file[5];
    if ((elfClass != kClass32 && elfClass != kClass64) || (byteOrder != kLittleEndian && byteOrder != kBigEndian))
        return damaged;
    const TElfFile elf(file, elfClass == kClass64 ? kLayout64 : kLayout32, byteOrder == kBigEndian);
    const TElfLayout &layout = elf.Layout();
    if (file.size() < layout.HeaderSize)
        return damaged;

    const std::uint64_t tableOffset = elf.Field(layout.SectionTableOffset, layout.AddressWidth);
    const std::uint64_t entrySize = elf.Field(layout.SectionEntrySize, 2);
    std::uint64_t count = elf.Field(layout.SectionCount, 2);
    std::uint64_t nameTableIndex = elf.Field(layout.NameTableIndex, 2);
    if (tableOffset == 0)
        return {}; // no section table at all
    if (entrySize < layout.MinSectionEntrySize || !elf.Holds(tableOffset, entrySize))
        return damaged;
    // Files with very many sections keep the count and the name table's index in section 0.
    if (count == 0)
        count = elf.Field(tableOffset + layout.SectionSize, layout.AddressWidth);
    if (nameTableIndex == kExtendedIndex)
        nameTableIndex = elf.Field(tableOffset + layout.SectionLink, 4);
    if (count > (file.size() - tableOffset) / entrySize || nameTableIndex >= count)
        return damaged;
    if (nameTableIndex == 0)
        return {}; // sections without names: none can be ours

    const auto entry = [&](std::uint64_t index) {
        return tableOffset + index * entrySize;
    };
    const std::uint64_t namesAt = entry(nameTableIndex);
    const std::uint64_t namesOffset = elf.Field(namesAt + layout.SectionOffset, layout.AddressWidth);
    const std::uint64_t namesSize = elf.Field(namesAt + layout.SectionSize, layout.AddressWidth);
    if (elf.Field(namesAt + layout.SectionType, 4) == kSectionNoBits || !elf.Holds(namesOffset, namesSize))
        return damaged;
    const std::span<const std::uint8_t> names = elf.Range(namesOffset, namesSize);

    for (std::uint64_t index = 0; index < count; ++index) {
        const std::uint64_t at = entry(index);
        const std::uint64_t nameOffset = elf.Field(at + layout.SectionName, 4);
        if (nameOffset >= names.size())
            return damaged;
        const auto *nameStart = reinterpret_cast<const char *>(names.data() + nameOffset);
        const void *nameEnd = std::memchr(nameStart, 0, names.size() - std::size_t(nameOffset));
        if (nameEnd == nullptr)
            return damaged;
        if (std::string_view(nameStart, std::size_t(static_cast<const char *>(nameEnd) - nameStart)) != name)
            continue;
        const std::uint64_t offset = elf.Field(at + layout.SectionOffset, layout.AddressWidth);
        const std::uint64_t size = elf.Field(at + layout.SectionSize, layout.AddressWidth);
        if (elf.Field(at + layout.SectionType, 4) == kSectionNoBits || !elf.Holds(offset, size))
            return damaged;
        return { TElfSection::TStatus::Found, elf.Range(offset, size) };
    }
    return {};
}

} // namespace vellumar
