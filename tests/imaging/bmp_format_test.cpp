#include <cstdint>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/bitmap.h"
#include "imaging/bmp_format.h"
#include "imaging/canvas.h"
#include "imaging/errors.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::ReadBytes;
using test::TTempDir;

const QString kNotValid = QStringLiteral("Bitmap image is not valid");

/** What goes into a hand-made ".bmp" file. */
struct TBmpLayout {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    std::uint16_t Bits = 24;
    std::uint32_t Compression = 0;
    std::uint32_t HeaderSize = 40;
    std::uint16_t Planes = 1;
    std::vector<QRgb> Palette {};
    std::int64_t ColorsUsed = -1; // -1: the palette's size
    std::uint32_t Masks[3] = { 0, 0, 0 };
    std::vector<std::uint8_t> Pixels {};
};

void Put16(std::vector<std::uint8_t> &out, std::size_t at, std::uint32_t value)
{
    out[at] = std::uint8_t(value);
    out[at + 1] = std::uint8_t(value >> 8);
}

void Put32(std::vector<std::uint8_t> &out, std::size_t at, std::uint32_t value)
{
    Put16(out, at, value & 0xFFFF);
    Put16(out, at + 2, value >> 16);
}

std::vector<std::uint8_t> BuildBmp(const TBmpLayout &layout)
{
    const bool core = layout.HeaderSize == 12;
    const std::size_t maskBytes = layout.HeaderSize == 40 && layout.Compression == 3 ? 12 : 0;
    const std::size_t entry = core ? 3 : 4;
    const std::size_t paletteAt = 14 + layout.HeaderSize + maskBytes;
    const std::size_t pixelsAt = paletteAt + layout.Palette.size() * entry;
    std::vector<std::uint8_t> out(pixelsAt, 0);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, std::uint32_t(pixelsAt + layout.Pixels.size()));
    Put32(out, 10, std::uint32_t(pixelsAt));
    Put32(out, 14, layout.HeaderSize);
    if (core) {
        Put16(out, 18, std::uint32_t(layout.Width));
        Put16(out, 20, std::uint32_t(layout.Height));
        Put16(out, 22, layout.Planes);
        Put16(out, 24, layout.Bits);
    } else {
        Put32(out, 18, std::uint32_t(layout.Width));
        Put32(out, 22, std::uint32_t(layout.Height));
        Put16(out, 26, layout.Planes);
        Put16(out, 28, layout.Bits);
        Put32(out, 30, layout.Compression);
        Put32(out, 34, std::uint32_t(layout.Pixels.size()));
        Put32(out, 46, std::uint32_t(layout.ColorsUsed < 0 ? std::int64_t(layout.Palette.size()) : layout.ColorsUsed));
        if (layout.Compression == 3 || layout.HeaderSize >= 52)
            for (int i = 0; i < 3; ++i)
                Put32(out, 54 + 4 * std::size_t(i), layout.Masks[i]);
    }
    for (std::size_t i = 0; i < layout.Palette.size(); ++i) {
        out[paletteAt + i * entry] = std::uint8_t(qBlue(layout.Palette[i]));
        out[paletteAt + i * entry + 1] = std::uint8_t(qGreen(layout.Palette[i]));
        out[paletteAt + i * entry + 2] = std::uint8_t(qRed(layout.Palette[i]));
    }
    out.insert(out.end(), layout.Pixels.begin(), layout.Pixels.end());
    return out;
}

QRgb PixelRgb(const TBitmap &bitmap, int x, int y)
{
    return bitmap.Image().pixel(x, y) | 0xFF000000u;
}

// The message of the EInvalidGraphic that decoding bytes raises, or "" when they decode.
QString DecodeError(const std::vector<std::uint8_t> &bytes)
{
    try {
        (void)DecodeBmp(bytes);
    } catch (const EInvalidGraphic &error) {
        return error.Message();
    }
    return {};
}

TBitmap MakePattern24(int width, int height)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat24();
    bitmap.SetBitmapWidth(width);
    bitmap.SetBitmapHeight(height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = bitmap.MutableImage().scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[x * 3] = std::uint8_t(x * 5);
            row[x * 3 + 1] = std::uint8_t(y * 9);
            row[x * 3 + 2] = std::uint8_t(x * y + 3);
        }
    }
    return bitmap;
}

TBitmap MakePattern8(int width, int height)
{
    std::vector<std::uint32_t> palette;
    for (int i = 0; i < 16; ++i)
        palette.push_back(qRgb(i * 16, 255 - i * 8, i));
    TBitmap bitmap;
    bitmap.SetIndexed8(width, height, palette);
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = bitmap.MutableImage().scanLine(y);
        for (int x = 0; x < width; ++x)
            row[x] = std::uint8_t((x + 3 * y) % 16);
    }
    return bitmap;
}

bool SameRows(const QImage &a, const QImage &b, int bytesPerRow)
{
    if (a.size() != b.size())
        return false;
    for (int y = 0; y < a.height(); ++y)
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), std::size_t(bytesPerRow)) != 0)
            return false;
    return true;
}

TEST(BmpFormat, A24BitBitmapRoundTripsThroughABottomUpFile)
{
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("pattern.bmp"));
    TBitmap original = MakePattern24(37, 11);
    original.SaveToFile(path);

    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    const std::size_t stride = (37 * 3 + 3) / 4 * 4;
    ASSERT_EQ(bytes.size(), 54 + stride * 11);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[28], 24);
    EXPECT_EQ(bytes[22], 11); // positive height: bottom-up
    // The first row in the file is the picture's bottom row.
    EXPECT_EQ(std::memcmp(bytes.data() + 54, original.Image().constScanLine(10), 37 * 3), 0);

    TBitmap loaded;
    loaded.LoadFromFile(path);
    EXPECT_EQ(loaded.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(loaded.Width(), 37);
    EXPECT_EQ(loaded.Height(), 11);
    EXPECT_TRUE(SameRows(loaded.Image(), original.Image(), 37 * 3));
}

TEST(BmpFormat, An8BitBitmapRoundTripsWithItsPalette)
{
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("indexed.bmp"));
    TBitmap original = MakePattern8(13, 7);
    original.SaveToFile(path);

    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    EXPECT_EQ(bytes[28], 8);
    EXPECT_EQ(bytes[46], 16); // colours used
    EXPECT_EQ(bytes.size(), 54 + 16 * 4 + 16 * 7u);

    TBitmap loaded;
    loaded.LoadFromFile(path);
    EXPECT_EQ(loaded.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(loaded.Image().format(), QImage::Format_Indexed8);
    EXPECT_EQ(loaded.Image().colorTable(), original.Image().colorTable());
    EXPECT_TRUE(SameRows(loaded.Image(), original.Image(), 13));
}

TEST(BmpFormat, AnEmptyBitmapSavesAnEmptyFileThatDoesNotLoad)
{
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("empty.bmp"));
    TBitmap empty;
    empty.SaveToFile(path);
    EXPECT_TRUE(ReadBytes(path).empty());
    TBitmap loaded = MakePattern24(2, 2);
    try {
        loaded.LoadFromFile(path);
        FAIL() << "an empty file loaded";
    } catch (const EInvalidGraphic &error) {
        EXPECT_EQ(error.Message(), kNotValid);
    }
    EXPECT_EQ(loaded.Width(), 2); // a failed load changes nothing
}

TEST(BmpFormat, ReadsTopDownAndOtherDepths)
{
    // 2 x 2, top-down, 24-bit: rows in picture order.
    TBmpLayout topDown { .Width = 2, .Height = -2 };
    topDown.Pixels = { 1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0 };
    TBitmap bitmap = DecodeBmp(BuildBmp(topDown));
    EXPECT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(PixelRgb(bitmap, 0, 0), qRgb(3, 2, 1));
    EXPECT_EQ(PixelRgb(bitmap, 1, 1), qRgb(12, 11, 10));

    // 32-bit BI_RGB, bottom-up; the fourth byte is ignored.
    TBmpLayout deep { .Width = 1, .Height = 2, .Bits = 32 };
    deep.Pixels = { 1, 2, 3, 99, 4, 5, 6, 99 };
    bitmap = DecodeBmp(BuildBmp(deep));
    EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(PixelRgb(bitmap, 0, 1), qRgb(3, 2, 1));
    EXPECT_EQ(PixelRgb(bitmap, 0, 0), qRgb(6, 5, 4));

    // 16-bit bit fields 5-6-5 in a V5 header.
    TBmpLayout fields { .Width = 2, .Height = 1, .Bits = 16, .Compression = 3, .HeaderSize = 124 };
    fields.Masks[0] = 0xF800;
    fields.Masks[1] = 0x07E0;
    fields.Masks[2] = 0x001F;
    fields.Pixels = { 0x00, 0xF8, 0x1F, 0x00 };
    bitmap = DecodeBmp(BuildBmp(fields));
    EXPECT_EQ(PixelRgb(bitmap, 0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(PixelRgb(bitmap, 1, 0), qRgb(0, 0, 255));

    // 1-bit and 4-bit become 8-bit bitmaps with the file's palette.
    TBmpLayout mono { .Width = 10, .Height = 1, .Bits = 1 };
    mono.Palette = { qRgb(0, 0, 0), qRgb(255, 255, 255) };
    mono.Pixels = { 0b10100000, 0b01000000, 0, 0 };
    bitmap = DecodeBmp(BuildBmp(mono));
    EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
    const std::uint8_t *row = bitmap.Image().constScanLine(0);
    EXPECT_EQ(std::vector<std::uint8_t>(row, row + 10), (std::vector<std::uint8_t> { 1, 0, 1, 0, 0, 0, 0, 0, 0, 1 }));

    TBmpLayout nibbles { .Width = 3, .Height = 1, .Bits = 4 };
    nibbles.Palette = { qRgb(1, 1, 1), qRgb(2, 2, 2), qRgb(3, 3, 3) };
    nibbles.Pixels = { 0x21, 0x00, 0, 0 };
    bitmap = DecodeBmp(BuildBmp(nibbles));
    EXPECT_EQ(PixelRgb(bitmap, 0, 0), qRgb(3, 3, 3));
    EXPECT_EQ(PixelRgb(bitmap, 1, 0), qRgb(2, 2, 2));
    EXPECT_EQ(PixelRgb(bitmap, 2, 0), qRgb(1, 1, 1));

    // The old core header: 16-bit sizes and three-byte palette entries.
    TBmpLayout core { .Width = 2, .Height = 1, .Bits = 8, .HeaderSize = 12 };
    core.Palette = { qRgb(10, 20, 30), qRgb(40, 50, 60) };
    core.Pixels = { 1, 0, 0, 0 };
    bitmap = DecodeBmp(BuildBmp(core));
    EXPECT_EQ(PixelRgb(bitmap, 0, 0), qRgb(40, 50, 60));
    EXPECT_EQ(PixelRgb(bitmap, 1, 0), qRgb(10, 20, 30));
}

TEST(BmpFormat, ReadsRunLengthEncodedFiles)
{
    // RLE8, 4 x 2: bottom row "run of 3 x index 1, then 2", top row "delta 1 right, absolute 2 1 2".
    TBmpLayout rle8 { .Width = 4, .Height = 2, .Bits = 8, .Compression = 1 };
    rle8.Palette = { qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0) };
    rle8.Pixels = { 3, 1, 1, 2, 0, 0, 0, 2, 1, 0, 0, 3, 2, 1, 2, 0, 0, 1 };
    TBitmap bitmap = DecodeBmp(BuildBmp(rle8));
    auto indices = [&](int y) {
        const std::uint8_t *row = bitmap.Image().constScanLine(y);
        return std::vector<std::uint8_t>(row, row + bitmap.Width());
    };
    EXPECT_EQ(indices(1), (std::vector<std::uint8_t> { 1, 1, 1, 2 }));
    EXPECT_EQ(indices(0), (std::vector<std::uint8_t> { 0, 2, 1, 2 }));

    // RLE4, 5 x 1: a run of 5 alternating nibbles 1 and 2.
    TBmpLayout rle4 { .Width = 5, .Height = 1, .Bits = 4, .Compression = 2 };
    rle4.Palette = { qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0) };
    rle4.Pixels = { 5, 0x12, 0, 1 };
    bitmap = DecodeBmp(BuildBmp(rle4));
    EXPECT_EQ(indices(0), (std::vector<std::uint8_t> { 1, 2, 1, 2, 1 }));

    // Runs past the row's end, deltas past the picture and a missing end mark are clipped, not read
    // or written out of bounds.
    TBmpLayout wild = rle8;
    wild.Pixels = { 255, 1, 0, 2, 200, 200, 0, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0 };
    bitmap = DecodeBmp(BuildBmp(wild));
    EXPECT_EQ(indices(1), (std::vector<std::uint8_t> { 1, 1, 1, 1 }));
    wild.Pixels = { 0, 200, 1 };
    EXPECT_EQ(DecodeError(BuildBmp(wild)), QString());
}

// Found by the BMP fuzzer: an odd absolute stretch at the very end of the data, without its padding
// byte, used to step past the end and read on outside the file (AddressSanitizer saw it).
TEST(BmpFormat, AnOddAbsoluteStretchAtTheEndOfTheDataEndsTheDecoding)
{
    TBmpLayout rle8 { .Width = 4, .Height = 2, .Bits = 8, .Compression = 1 };
    rle8.Palette = { qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0) };
    rle8.Pixels = { 0, 3, 2, 1, 2 };
    TBitmap bitmap = DecodeBmp(BuildBmp(rle8));
    const auto indices = [&](int y) {
        const std::uint8_t *row = bitmap.Image().constScanLine(y);
        return std::vector<std::uint8_t>(row, row + bitmap.Width());
    };
    EXPECT_EQ(indices(1), (std::vector<std::uint8_t> { 2, 1, 2, 0 }));
    EXPECT_EQ(indices(0), (std::vector<std::uint8_t> { 0, 0, 0, 0 }));

    TBmpLayout rle4 { .Width = 5, .Height = 1, .Bits = 4, .Compression = 2 };
    rle4.Palette = rle8.Palette;
    rle4.Pixels = { 0, 5, 0x12, 0x12, 0x10 };
    bitmap = DecodeBmp(BuildBmp(rle4));
    EXPECT_EQ(indices(0), (std::vector<std::uint8_t> { 1, 2, 1, 2, 1 }));
}

TEST(BmpFormat, PaletteIndicesPastThePaletteShowBlack)
{
    TBmpLayout layout { .Width = 3, .Height = 1, .Bits = 8 };
    layout.Palette = { qRgb(255, 0, 0), qRgb(0, 255, 0) };
    layout.Pixels = { 0, 1, 200, 0 };
    TBitmap bitmap = DecodeBmp(BuildBmp(layout));
    EXPECT_EQ(bitmap.Image().colorCount(), 201);
    EXPECT_EQ(PixelRgb(bitmap, 2, 0), qRgb(0, 0, 0));
    TBitmap dest;
    dest.SetPixelFormat24();
    dest.SetBitmapWidth(3);
    dest.SetBitmapHeight(1);
    dest.Canvas().DrawAt(0, 0, &bitmap);
    EXPECT_EQ(dest.Image().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(dest.Image().pixel(2, 0), qRgb(0, 0, 0));

    // More colours declared than the depth allows: only the depth's worth are read.
    TBmpLayout many { .Width = 2, .Height = 1, .Bits = 1, .ColorsUsed = 0xFFFFFFFF };
    many.Palette = { qRgb(9, 9, 9), qRgb(8, 8, 8) };
    many.Pixels = { 0x40, 0, 0, 0 };
    bitmap = DecodeBmp(BuildBmp(many));
    EXPECT_EQ(bitmap.Image().colorCount(), 2);
    EXPECT_EQ(PixelRgb(bitmap, 1, 0), qRgb(8, 8, 8));
}

TEST(BmpFormat, RefusesAHeaderDeclaringMoreThan16384By16384Pixels)
{
    TBmpLayout layout { .Width = 65500, .Height = 65500 };
    EXPECT_EQ(DecodeError(BuildBmp(layout)),
        QStringLiteral("Image too large: 65500 x 65500 pixels (the limit is 268435456)"));
    layout.Height = -65500;
    EXPECT_EQ(DecodeError(BuildBmp(layout)),
        QStringLiteral("Image too large: 65500 x 65500 pixels (the limit is 268435456)"));
    layout.Width = 268435457;
    layout.Height = 1;
    EXPECT_EQ(DecodeError(BuildBmp(layout)),
        QStringLiteral("Image too large: 268435457 x 1 pixels (the limit is 268435456)"));
    // Exactly at the limit the size passes, and the missing pixels are what is refused.
    layout.Width = 16384;
    layout.Height = 16384;
    EXPECT_EQ(DecodeError(BuildBmp(layout)), kNotValid);
}

TEST(BmpFormat, RefusesMalformedHeaders)
{
    const TBmpLayout good { .Width = 1, .Height = 1, .Pixels = { 1, 2, 3, 0 } };
    ASSERT_EQ(DecodeError(BuildBmp(good)), QString());

    auto refused = [&](TBmpLayout layout) {
        return DecodeError(BuildBmp(layout)) == kNotValid;
    };
    TBmpLayout layout = good;
    layout.Width = 0;
    EXPECT_TRUE(refused(layout));
    layout.Width = -1;
    EXPECT_TRUE(refused(layout));
    layout = good;
    layout.Height = 0;
    EXPECT_TRUE(refused(layout));
    layout.Height = std::numeric_limits<std::int32_t>::min();
    EXPECT_TRUE(DecodeError(BuildBmp(layout)).startsWith(QStringLiteral("Image too large")));
    layout = good;
    layout.Planes = 0;
    EXPECT_TRUE(refused(layout));
    for (const std::uint16_t bits : { 0, 2, 3, 7, 48, 64 }) {
        layout = good;
        layout.Bits = bits;
        EXPECT_TRUE(refused(layout)) << bits;
    }
    for (const std::uint32_t compression : { 4u, 5u, 6u, 0xFFFFFFFFu }) {
        layout = good;
        layout.Compression = compression;
        EXPECT_TRUE(refused(layout)) << compression;
    }
    layout = good;
    layout.Compression = 1; // RLE8 needs 8 bits
    EXPECT_TRUE(refused(layout));
    for (const std::uint32_t headerSize : { 0u, 13u, 39u, 64u, 0xFFFFFFFFu }) {
        std::vector<std::uint8_t> bytes = BuildBmp(good);
        Put32(bytes, 14, headerSize);
        EXPECT_EQ(DecodeError(bytes), kNotValid) << headerSize;
    }
    std::vector<std::uint8_t> bytes = BuildBmp(good);
    Put32(bytes, 10, 0xFFFFFFF0u); // pixel data far past the end
    EXPECT_EQ(DecodeError(bytes), kNotValid);
    bytes = BuildBmp(good);
    bytes[1] = 'A';
    EXPECT_EQ(DecodeError(bytes), kNotValid);
    // A top-down run-length file does not exist.
    TBmpLayout rle { .Width = 1, .Height = -1, .Bits = 8, .Compression = 1 };
    rle.Palette = { qRgb(0, 0, 0) };
    rle.Pixels = { 0, 1 };
    EXPECT_TRUE(refused(rle));
}

TEST(BmpFormat, RefusesTruncatedFilesAtEveryLength)
{
    const std::vector<std::uint8_t> whole = BuildBmp(TBmpLayout { .Width = 3,
        .Height = 2,
        .Bits = 8,
        .Palette = { qRgb(1, 2, 3), qRgb(4, 5, 6) },
        .Pixels = { 0, 1, 0, 0, 1, 0, 1 } });
    ASSERT_EQ(DecodeError(whole), QString()); // the last row's padding may be missing
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const std::vector<std::uint8_t> part(whole.begin(), whole.begin() + std::ptrdiff_t(length));
        EXPECT_EQ(DecodeError(part), kNotValid) << length;
    }
}

TEST(BmpFormat, SurvivesRandomDamage)
{
    // Each sample with the first byte that may be damaged: a run-length file may rightly declare a
    // huge picture in a few bytes, which would only make this test slow.
    std::vector<std::pair<std::vector<std::uint8_t>, std::size_t>> samples;
    samples.emplace_back(EncodeBmp(MakePattern24(9, 5)), 0);
    samples.emplace_back(EncodeBmp(MakePattern8(9, 5)), 0);
    TBmpLayout rle { .Width = 6, .Height = 3, .Bits = 4, .Compression = 2 };
    rle.Palette = { qRgb(0, 0, 0), qRgb(255, 0, 0) };
    rle.Pixels = { 4, 0x10, 0, 3, 0x11, 0x10, 0, 0, 0, 2, 1, 1, 2, 0x01, 0, 1 };
    samples.emplace_back(BuildBmp(rle), 26);
    std::mt19937 random(1234);
    for (const auto &[sample, first] : samples) {
        for (int round = 0; round < 2000; ++round) {
            std::vector<std::uint8_t> damaged = sample;
            const int changes = 1 + int(random() % 4);
            for (int i = 0; i < changes; ++i)
                damaged[first + random() % (damaged.size() - first)] = std::uint8_t(random());
            try {
                const TBitmap decoded = DecodeBmp(damaged);
                EXPECT_FALSE(decoded.Empty());
            } catch (const EInvalidGraphic &) {
            }
        }
    }
}

TEST(BmpFormat, AJpegNamedBmpIsNotAValidBitmap)
{
    TTempDir dir;
    const QString path = dir.Write(QStringLiteral("photo.bmp"), test::MakeJpeg());
    TBitmap bitmap;
    try {
        bitmap.LoadFromFile(path);
        FAIL() << "a JPEG loaded as a bitmap";
    } catch (const EInvalidGraphic &error) {
        EXPECT_EQ(error.Message(), kNotValid);
    }
    EXPECT_TRUE(bitmap.Empty());
    EXPECT_THROW(bitmap.LoadFromFile(dir.File(QStringLiteral("missing.bmp"))), EFOpenError);
}

TEST(BmpFormat, ALoadKeepsTheCanvas)
{
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("p.bmp"));
    MakePattern24(4, 4).SaveToFile(path);
    TBitmap bitmap;
    TCanvas *canvas = &bitmap.Canvas();
    bitmap.LoadFromFile(path);
    EXPECT_EQ(&bitmap.Canvas(), canvas);
    EXPECT_EQ(bitmap.Width(), 4);
}

} // namespace
} // namespace vellumar
