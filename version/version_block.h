#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include <QList>
#include <QString>
#include <QStringView>

namespace vellumar
{

/** Name of the ELF section that carries the program's version block. */
inline constexpr const char *kVersionSectionName = ".vellumar_version";
/** dwSignature of VS_FIXEDFILEINFO. */
inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
/** Size of VS_FIXEDFILEINFO: thirteen 32-bit words. */
inline constexpr std::size_t kFixedFileInfoSize = 52;

/** The values of a version block, as the build-time generator writes them. */
struct TVersionBlockData {
    std::uint32_t FileVersionMS = 0;
    std::uint32_t FileVersionLS = 0;
    std::uint32_t ProductVersionMS = 0;
    std::uint32_t ProductVersionLS = 0;
    std::uint32_t FileFlagsMask = 0;
    std::uint32_t FileFlags = 0;
    std::uint32_t FileOS = 0;
    std::uint32_t FileType = 0;
    std::uint32_t FileSubtype = 0;
    std::uint16_t Language = 0;
    std::uint16_t CodePage = 0;
    /** The string table in order: key, value. */
    std::vector<std::pair<QString, QString>> Strings;
};

/**
 * Builds a VS_VERSIONINFO block: the fixed part, one StringFileInfo with one string table keyed by
 * language and code page ("080904E4"), and VarFileInfo\Translation with one entry. Every node is
 * wLength, wValueLength, wType, a UTF-16LE key and its terminator, padding to 32 bits, the value and
 * the children; strings are UTF-16LE with their terminator.
 */
[[nodiscard]] std::vector<std::uint8_t> BuildVersionBlock(const TVersionBlockData &data);

/**
 * A checked, read-only view of a VS_VERSIONINFO block. The bytes must outlive the view.
 * Parse() refuses a block whose nodes overrun their parents, nest too deeply or whose root is not
 * "VS_VERSION_INFO"; queries on a parsed block cannot read outside it.
 */
class TVersionBlock
{
public:
    [[nodiscard]] static std::optional<TVersionBlock> Parse(std::span<const std::uint8_t> bytes);

    /**
     * The value of the node at path, a list of keys separated by "\" (the root is "\"); keys match
     * without regard to case. Empty optional when there is no such node.
     */
    [[nodiscard]] std::optional<std::span<const std::uint8_t>> QueryValue(QStringView path) const;
    /** A text node's value up to its first zero character. */
    [[nodiscard]] std::optional<QString> QueryText(QStringView path) const;

private:
    explicit TVersionBlock(std::span<const std::uint8_t> bytes)
        : mBytes(bytes)
    {
    }
    std::span<const std::uint8_t> mBytes;
};

} // namespace vellumar
