// Writes the fuzzers' seed inputs: small hostile files for each target, in <folder>/<target>/.
// Usage: vellumar_fuzz_seeds <folder>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QBuffer>
#include <QImage>
#include <QString>

#include "tests/support/hostile_jpegs.h"
#include "tests/support/photo_fixtures.h"
#include "version/version_block.h"

namespace
{

using TBytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

// JPEG seeds are the small members of the hostile corpus: the fuzzer mutates, size is its enemy.
constexpr std::size_t kMaxJpegSeed = 1024;

void WriteSeed(const fs::path &folder, const std::string &name, const TBytes &bytes)
{
    fs::create_directories(folder);
    std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()), std::streamsize(bytes.size()));
}

void PutU16(TBytes &out, std::uint32_t value, bool big = false)
{
    if (big) {
        out.push_back(std::uint8_t(value >> 8));
        out.push_back(std::uint8_t(value));
    } else {
        out.push_back(std::uint8_t(value));
        out.push_back(std::uint8_t(value >> 8));
    }
}

void PutU32(TBytes &out, std::uint32_t value, bool big = false)
{
    PutU16(out, big ? value >> 16 : value & 0xFFFF, big);
    PutU16(out, big ? value & 0xFFFF : value >> 16, big);
}

void PutU64(TBytes &out, std::uint64_t value, bool big = false)
{
    PutU32(out, std::uint32_t(big ? value >> 32 : value), big);
    PutU32(out, std::uint32_t(big ? value : value >> 32), big);
}

void PutBytes(TBytes &out, const TBytes &bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// --- BMP -------------------------------------------------------------------------------------------

struct TBmpLayout {
    std::uint32_t HeaderSize = 40;
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint16_t Bits = 24;
    std::uint32_t Compression = 0;
    std::vector<std::uint32_t> Palette; // 0x00RRGGBB
    std::vector<std::uint32_t> Masks; // written after a 40-byte header, or inside a longer one
    TBytes Pixels;
};

TBytes MakeBmp(const TBmpLayout &layout)
{
    const bool core = layout.HeaderSize == 12;
    const std::size_t entry = core ? 3 : 4;
    const std::size_t masks = layout.HeaderSize == 40 ? layout.Masks.size() * 4 : 0;
    const std::size_t offset = 14 + layout.HeaderSize + masks + layout.Palette.size() * entry;
    TBytes out { 'B', 'M' };
    PutU32(out, std::uint32_t(offset + layout.Pixels.size()));
    PutU32(out, 0);
    PutU32(out, std::uint32_t(offset));
    PutU32(out, layout.HeaderSize);
    if (core) {
        PutU16(out, std::uint16_t(layout.Width));
        PutU16(out, std::uint16_t(layout.Height));
        PutU16(out, 1);
        PutU16(out, layout.Bits);
    } else {
        PutU32(out, std::uint32_t(layout.Width));
        PutU32(out, std::uint32_t(layout.Height));
        PutU16(out, 1);
        PutU16(out, layout.Bits);
        PutU32(out, layout.Compression);
        PutU32(out, std::uint32_t(layout.Pixels.size()));
        PutU32(out, 2835);
        PutU32(out, 2835);
        PutU32(out, std::uint32_t(layout.Palette.size()));
        PutU32(out, 0);
        for (const std::uint32_t mask : layout.Masks)
            PutU32(out, mask);
        out.resize(14 + layout.HeaderSize + masks, 0);
    }
    for (const std::uint32_t colour : layout.Palette) {
        out.push_back(std::uint8_t(colour));
        out.push_back(std::uint8_t(colour >> 8));
        out.push_back(std::uint8_t(colour >> 16));
        if (!core)
            out.push_back(0);
    }
    PutBytes(out, layout.Pixels);
    return out;
}

// A picture as Qt's own ".bmp" writer stores it.
std::vector<std::uint8_t> QtBmp(const QImage &image)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return std::vector<std::uint8_t>(buffer.data().begin(), buffer.data().end());
}

void WriteBmpSeeds(const fs::path &folder)
{
    QImage colour(3, 2, QImage::Format_RGB888);
    colour.fill(Qt::white);
    colour.setPixel(1, 1, qRgb(200, 10, 90));
    WriteSeed(folder, "encoded_24bit.bmp", QtBmp(colour));
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({ 0xFF000000u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu });
    indexed.fill(0);
    indexed.setPixel(2, 1, 3);
    WriteSeed(folder, "encoded_8bit.bmp", QtBmp(indexed));

    const std::vector<std::uint32_t> two { 0x000000, 0xFFFFFF };
    const std::vector<std::uint32_t> sixteen { 0x000000, 0x800000, 0x008000, 0x000080, 0xFFFFFF };
    WriteSeed(folder,
        "1bit.bmp",
        MakeBmp(
            { .Width = 9, .Height = 2, .Bits = 1, .Palette = two, .Pixels = { 0xA5, 0x80, 0, 0, 0x5A, 0x00, 0, 0 } }));
    WriteSeed(folder,
        "4bit.bmp",
        MakeBmp({ .Width = 5,
            .Height = 2,
            .Bits = 4,
            .Palette = sixteen,
            .Pixels = { 0x01, 0x23, 0x40, 0, 0x43, 0x21, 0x00, 0 } }));
    WriteSeed(folder,
        "4bit_index_past_palette.bmp",
        MakeBmp({ .Width = 2, .Height = 1, .Bits = 4, .Palette = two, .Pixels = { 0xF1, 0, 0, 0 } }));
    WriteSeed(folder,
        "16bit.bmp",
        MakeBmp({ .Width = 2, .Height = 2, .Bits = 16, .Pixels = { 0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C, 0xFF, 0x7F } }));
    WriteSeed(folder,
        "16bit_565.bmp",
        MakeBmp({ .Width = 2,
            .Height = 1,
            .Bits = 16,
            .Compression = 3,
            .Masks = { 0xF800, 0x07E0, 0x001F },
            .Pixels = { 0x1F, 0x00, 0xE0, 0x07 } }));
    WriteSeed(folder,
        "32bit_v5_bitfields.bmp",
        MakeBmp({ .HeaderSize = 124,
            .Width = 2,
            .Height = 1,
            .Bits = 32,
            .Compression = 3,
            .Masks = { 0x00FF0000, 0x0000FF00, 0x000000FF },
            .Pixels = { 1, 2, 3, 0, 4, 5, 6, 0 } }));
    WriteSeed(folder,
        "32bit_topdown.bmp",
        MakeBmp({ .Width = 1, .Height = -2, .Bits = 32, .Pixels = { 1, 2, 3, 0, 4, 5, 6, 0 } }));
    WriteSeed(folder,
        "24bit_v4.bmp",
        MakeBmp({ .HeaderSize = 108, .Width = 1, .Height = 1, .Pixels = { 9, 8, 7, 0 } }));
    WriteSeed(folder,
        "rle8.bmp",
        MakeBmp({ .Width = 4,
            .Height = 3,
            .Bits = 8,
            .Compression = 1,
            .Palette = sixteen,
            .Pixels = { 4, 1, 0, 0, 0, 4, 1, 2, 3, 4, 0, 2, 1, 0, 2, 3, 0, 1 } }));
    WriteSeed(folder,
        "rle4.bmp",
        MakeBmp({ .Width = 4,
            .Height = 2,
            .Bits = 4,
            .Compression = 2,
            .Palette = sixteen,
            .Pixels = { 4, 0x12, 0, 0, 0, 4, 0x34, 0x12, 0, 1 } }));
    WriteSeed(folder,
        "rle8_runs_past_row.bmp",
        MakeBmp({ .Width = 2,
            .Height = 2,
            .Bits = 8,
            .Compression = 1,
            .Palette = two,
            .Pixels = { 255, 1, 0, 2, 200, 200, 0, 1 } }));
    WriteSeed(folder,
        "core_8bit.bmp",
        MakeBmp({ .HeaderSize = 12,
            .Width = 2,
            .Height = 2,
            .Bits = 8,
            .Palette = sixteen,
            .Pixels = { 0, 1, 0, 0, 2, 3, 0, 0 } }));
    WriteSeed(folder, "too_large.bmp", MakeBmp({ .Width = 20000, .Height = 20000, .Pixels = { 0 } }));
    WriteSeed(folder, "negative_width.bmp", MakeBmp({ .Width = -4, .Height = 1, .Pixels = { 0 } }));
    WriteSeed(folder, "short_rows.bmp", MakeBmp({ .Width = 8, .Height = 8, .Pixels = { 1, 2, 3 } }));
}

// --- version block and ELF -------------------------------------------------------------------------

TBytes VersionBlock()
{
    vellumar::TVersionBlockData data;
    data.FileVersionMS = 0x00010002;
    data.FileVersionLS = 0x00010014;
    data.ProductVersionMS = 0x00010000;
    data.ProductVersionLS = 0x00010000;
    data.FileFlagsMask = 0x3F;
    data.FileOS = 4;
    data.FileType = 1;
    data.Language = 0x0809;
    data.CodePage = 0x04E4;
    data.Strings = { { QStringLiteral("FileVersion"), QStringLiteral("1.2.1.20") },
        { QStringLiteral("ProductName"), QStringLiteral("Vellumar") },
        { QStringLiteral("Comments"), QString() } };
    return vellumar::BuildVersionBlock(data);
}

// A minimal ELF file: the null section, the section name table and one section called name.
TBytes MakeElf(bool wide, bool big, const std::string &name, const TBytes &contents)
{
    const std::string names = std::string("\0.shstrtab\0", 11) + name + '\0';
    const std::size_t headerSize = wide ? 64 : 52;
    const std::size_t sectionHeaderSize = wide ? 64 : 40;
    const std::size_t namesAt = headerSize;
    const std::size_t contentsAt = namesAt + names.size();
    const std::size_t sectionsAt = (contentsAt + contents.size() + 7) / 8 * 8;
    const auto word = [&](TBytes &out, std::uint64_t value) {
        if (wide)
            PutU64(out, value, big);
        else
            PutU32(out, std::uint32_t(value), big);
    };
    TBytes out { 0x7F, 'E', 'L', 'F', std::uint8_t(wide ? 2 : 1), std::uint8_t(big ? 2 : 1), 1, 0 };
    out.resize(16, 0);
    PutU16(out, 2, big); // executable
    PutU16(out, wide ? 62 : 3, big);
    PutU32(out, 1, big);
    word(out, 0); // entry
    word(out, 0); // program headers
    word(out, sectionsAt);
    PutU32(out, 0, big);
    PutU16(out, std::uint16_t(headerSize), big);
    PutU16(out, 0, big);
    PutU16(out, 0, big);
    PutU16(out, std::uint16_t(sectionHeaderSize), big);
    PutU16(out, 3, big);
    PutU16(out, 1, big); // the name table's index
    out.insert(out.end(), names.begin(), names.end());
    PutBytes(out, contents);
    out.resize(sectionsAt, 0);
    const auto section = [&](std::uint32_t nameAt, std::uint32_t type, std::uint64_t offset, std::uint64_t size) {
        PutU32(out, nameAt, big);
        PutU32(out, type, big);
        word(out, 0); // flags
        word(out, 0); // address
        word(out, offset);
        word(out, size);
        PutU32(out, 0, big);
        PutU32(out, 0, big);
        word(out, 1);
        word(out, 0);
    };
    section(0, 0, 0, 0);
    section(1, 3, namesAt, names.size());
    section(11, 1, contentsAt, contents.size());
    return out;
}

void WriteVersionSeeds(const fs::path &folder)
{
    const TBytes block = VersionBlock();
    WriteSeed(folder, "block.bin", block);
    WriteSeed(folder, "block_truncated.bin", TBytes(block.begin(), block.begin() + long(block.size() / 2)));
    TBytes overrun = block;
    overrun[0] = 0xFF;
    overrun[1] = 0x7F;
    WriteSeed(folder, "block_length_overrun.bin", overrun);
    WriteSeed(folder, "elf64_le.elf", MakeElf(true, false, vellumar::kVersionSectionName, block));
    WriteSeed(folder, "elf32_be.elf", MakeElf(false, true, vellumar::kVersionSectionName, block));
    WriteSeed(folder, "elf64_other_section.elf", MakeElf(true, false, ".comment", block));
    TBytes past = MakeElf(true, false, vellumar::kVersionSectionName, block);
    past[40] = 0xF0; // section headers far past the end
    WriteSeed(folder, "elf64_headers_past_end.elf", past);
}

// --- overlay ---------------------------------------------------------------------------------------

// Settings bytes: picture, font, size class, position, style, colour (3 bytes), flags (1 wrap,
// 2 UTF-16 text, 0x80 a system colour).
TBytes OverlaySeed(std::initializer_list<std::uint8_t> settings, const std::string &text)
{
    TBytes out(settings);
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

void WriteOverlaySeeds(const fs::path &folder)
{
    WriteSeed(folder, "default.bin", OverlaySeed({ 0, 0, 255, 4, 0, 0xC0, 0xC0, 0xC0, 1 }, "Sample Overlay Text\r\n"));
    WriteSeed(folder,
        "large_bold_bottom_right.bin",
        OverlaySeed({ 2, 1, 4, 8, 3, 0xFF, 0, 0, 1 }, "Copyright 2024\tAll rights reserved\r\nsecond line"));
    WriteSeed(folder,
        "narrow_long_word.bin",
        OverlaySeed({ 3, 2, 0, 0, 1, 0, 0xFF, 0, 1 }, std::string(300, 'W') + " end"));
    WriteSeed(folder,
        "no_wrap_many_lines.bin",
        OverlaySeed({ 1, 3, 3, 6, 2, 1, 2, 3, 0 }, std::string(60, '\n') + "x"));
    WriteSeed(folder,
        "unknown_font_mixed_scripts.bin",
        OverlaySeed({ 2, 4, 1, 2, 0, 9, 9, 9, 1 },
            "\xd9\x85\xd8\xb1\xd8\xad\xd8\xa8\xd8\xa7 \xe4\xbd\xa0\xe5\xa5\xbd "
            "\xf0\x9f\x93\xb7 e\xcc\x81 &&& &x"));
    WriteSeed(folder, "one_pixel_system_colour.bin", OverlaySeed({ 4, 0, 7, 200, 255, 8, 0, 0, 0x81 }, "\r\r\n\t\t"));
    WriteSeed(folder,
        "utf16_lone_surrogate.bin",
        OverlaySeed({ 0, 0, 2, 4, 0, 0, 0, 0, 3 },
            std::string("A\0\x00\xd8"
                        "B\0\x00\xdc",
                8)));
}

// --- names -----------------------------------------------------------------------------------------

// Header: locale (and 0x80 for UTF-16 text), padding, an 8-byte little-endian number; then the text:
// the pattern, then the names, one a line.
TBytes NamesSeed(std::uint8_t locale, std::int8_t padding, std::int64_t number, const std::string &text)
{
    TBytes out { locale, std::uint8_t(padding) };
    PutU64(out, std::uint64_t(number));
    out.insert(out.end(), text.begin(), text.end());
    return out;
}

void WriteNamesSeeds(const fs::path &folder)
{
    WriteSeed(folder,
        "plain.bin",
        NamesSeed(1, 2, 1, "*.jpg\nimg10.jpg\nimg2.jpg\nIMG1.JPG\na.jpg\nA.jpg\nb.jpeg\n(12)\n-007"));
    WriteSeed(folder,
        "unicode.bin",
        NamesSeed(2,
            0,
            -5,
            "*\xc3\x9f*.jp?\n\xc3\x9f.jpg\nss.jpg\nSS.jpg\n\xc3\xa9.jpg\ne\xcc\x81.jpg\n\xc4\xb0.jpg\ni.jpg\n"
            "\xc4\xb1.jpg\n\xc7\x85.jpg\n\xef\xac\x80.jpg\nff.jpg"));
    WriteSeed(folder,
        "swedish_turkish.bin",
        NamesSeed(3,
            4,
            9223372036854775807,
            "?*?\n\xc3\xa5.jpg\naa.jpg\nz.jpg\n"
            "\xc3\xa4.jpg\nae.jpg"));
    WriteSeed(folder,
        "backtracking.bin",
        NamesSeed(4, 1, -9223372036854775807 - 1, "*a*a*a*a*b\n" + std::string(150, 'a') + "\naaaaab\n\n\n"));
    WriteSeed(folder, "numbers.bin", NamesSeed(5, -3, 0, "\n99999999999999999999\n-(0)\n+\n12-34\n\xd9\xa3"));
    WriteSeed(folder,
        "czech_thai.bin",
        NamesSeed(7,
            5,
            42,
            "ch*\nch.jpg\nh.jpg\nc.jpg\n\xe0\xb9\x80\xe0\xb8\x81.jpg\n"
            "\xe0\xb8\x81.jpg\nCH.jpg"));
    WriteSeed(folder, "utf16.bin", NamesSeed(0x80, 0, 7, std::string("*\0\n\0\x00\xd8\n\0\x00\xdc\n\0a\0", 14)));
}

// The first byte says whether the fuzzer puts the EXIF signature in front; these seeds bring their own.
void WriteExifSeeds(const fs::path &folder)
{
    for (const bool big : { false, true }) {
        for (const bool gps : { false, true }) {
            TBytes seed { 0 };
            PutBytes(seed, vellumar::test::MakeExif({ .BigEndian = big, .Orientation = 6, .Gps = gps }));
            WriteSeed(folder, std::string(big ? "big" : "little") + (gps ? "_gps" : "") + ".bin", seed);
        }
    }
    // The same bytes are also tried as the body of an XMP packet and of a Photoshop segment.
    const std::string xmp = "<x:xmpmeta><rdf:Description exif:GPSLatitude=\"1\" tiff:Orientation=\"6\"/></x:xmpmeta>";
    TBytes utf16 { 0, 0xFE, 0xFF };
    for (const char c : xmp)
        PutBytes(utf16, { 0, std::uint8_t(c) });
    WriteSeed(folder, "xmp_utf16.bin", utf16);
    TBytes photoshop { 0 };
    for (const unsigned id : { 0x0404u, 0x040Cu, 0x0424u }) {
        const std::string data = id == 0x0424u ? xmp : std::string("\x1C\x02\x05\x00\x01T", 6);
        PutBytes(photoshop, { '8', 'B', 'I', 'M', std::uint8_t(id >> 8), std::uint8_t(id), 0, 0, 0, 0, 0 });
        photoshop.push_back(std::uint8_t(data.size()));
        photoshop.insert(photoshop.end(), data.begin(), data.end());
        if (data.size() % 2 != 0)
            photoshop.push_back(0);
    }
    WriteSeed(folder, "photoshop.bin", photoshop);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage: vellumar_fuzz_seeds <folder>\n");
        return 2;
    }
    const fs::path root(argv[1]);
    for (const vellumar::test::THostileFile &file : vellumar::test::MakeHostileJpegs(16, 16)) {
        if (file.Listed && file.Bytes.size() <= kMaxJpegSeed)
            WriteSeed(root / "jpeg_decode_fuzzer", file.Name, file.Bytes);
    }
    WriteBmpSeeds(root / "bmp_fuzzer");
    WriteVersionSeeds(root / "version_block_fuzzer");
    WriteOverlaySeeds(root / "overlay_fuzzer");
    WriteNamesSeeds(root / "names_fuzzer");
    WriteExifSeeds(root / "exif_fuzzer");
    return 0;
}
