#include <cstdint>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include <QBuffer>
#include <QImage>

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

using test::TTempDir;
using TBytes = std::vector<std::uint8_t>;

const QString kNotValid = QStringLiteral("Bitmap image is not valid");

/** A little-endian value written over a built file, to damage what the layout cannot express. */
struct TPatch {
    std::size_t At = 0;
    std::uint32_t Value = 0;
    int Bytes = 4;
};

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
    TBytes Pixels {};
    std::vector<TPatch> Patches {};
};

void Put(TBytes &out, std::size_t at, std::uint32_t value, int bytes = 4)
{
    for (int i = 0; i < bytes; ++i)
        out[at + std::size_t(i)] = std::uint8_t(value >> (8 * i));
}

TBytes BuildBmp(const TBmpLayout &layout)
{
    const bool core = layout.HeaderSize == 12;
    const std::size_t maskBytes = layout.HeaderSize == 40 && layout.Compression == 3 ? 12 : 0;
    const std::size_t entry = core ? 3 : 4;
    const std::size_t paletteAt = 14 + layout.HeaderSize + maskBytes;
    const std::size_t pixelsAt = paletteAt + layout.Palette.size() * entry;
    TBytes out(pixelsAt, 0);
    out[0] = 'B';
    out[1] = 'M';
    Put(out, 2, std::uint32_t(pixelsAt + layout.Pixels.size()));
    Put(out, 10, std::uint32_t(pixelsAt));
    Put(out, 14, layout.HeaderSize);
    if (core) {
        Put(out, 18, std::uint32_t(layout.Width), 2);
        Put(out, 20, std::uint32_t(layout.Height), 2);
        Put(out, 22, layout.Planes, 2);
        Put(out, 24, layout.Bits, 2);
    } else {
        Put(out, 18, std::uint32_t(layout.Width));
        Put(out, 22, std::uint32_t(layout.Height));
        Put(out, 26, layout.Planes, 2);
        Put(out, 28, layout.Bits, 2);
        Put(out, 30, layout.Compression);
        Put(out, 34, std::uint32_t(layout.Pixels.size()));
        Put(out, 46, std::uint32_t(layout.ColorsUsed < 0 ? std::int64_t(layout.Palette.size()) : layout.ColorsUsed));
        if (layout.Compression == 3 || layout.HeaderSize >= 52)
            for (std::size_t i = 0; i < 3; ++i)
                Put(out, 54 + 4 * i, layout.Masks[i]);
    }
    for (std::size_t i = 0; i < layout.Palette.size(); ++i) {
        out[paletteAt + i * entry] = std::uint8_t(qBlue(layout.Palette[i]));
        out[paletteAt + i * entry + 1] = std::uint8_t(qGreen(layout.Palette[i]));
        out[paletteAt + i * entry + 2] = std::uint8_t(qRed(layout.Palette[i]));
    }
    out.insert(out.end(), layout.Pixels.begin(), layout.Pixels.end());
    for (const TPatch &patch : layout.Patches)
        Put(out, patch.At, patch.Value, patch.Bytes);
    return out;
}

// The message of the EInvalidGraphic that decoding bytes raises, or "" when they decode.
QString DecodeError(const TBytes &bytes)
{
    try {
        (void)DecodeBmp(bytes);
    } catch (const EInvalidGraphic &error) {
        return error.Message();
    }
    return {};
}

/** The bytes of image as written by Qt's own ".bmp" writer: an oracle independent of the reader. */
TBytes QtBmp(const QImage &image)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(image.save(&buffer, "BMP"));
    return TBytes(buffer.data().begin(), buffer.data().end());
}

QImage Pattern(int width, int height, QImage::Format format)
{
    QImage image(width, height, format);
    if (format == QImage::Format_Indexed8) {
        for (int i = 0; i < 16; ++i)
            image.setColor(i, qRgb(i * 16, 255 - i * 8, i));
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (format == QImage::Format_Indexed8)
                image.setPixel(x, y, uint((x + 3 * y) % 16));
            else
                image.setPixel(x, y, qRgb(x * y + 3, y * 9, x * 5));
        }
    }
    return image;
}

const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kGreen = qRgb(0, 255, 0);
const std::vector<QRgb> kRgbPalette { kBlack, kRed, kGreen };

struct TBmpCase {
    const char *Name;
    TBmpLayout Layout;
    /** Expected colours, top row first; empty: only that it decodes. */
    std::vector<std::vector<QRgb>> Rows {};
    TPixelFormat Format = TPixelFormat::pf24bit;
};

// Files the reader takes: every depth, both row orders, both header kinds, run lengths, and damage it
// clips rather than refuses.
const TBmpCase kReadable[] = {
    { "top-down 24-bit",
        { .Width = 2, .Height = -2, .Pixels = { 1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0 } },
        { { qRgb(3, 2, 1), qRgb(6, 5, 4) }, { qRgb(9, 8, 7), qRgb(12, 11, 10) } } },
    { "32-bit, fourth byte ignored",
        { .Width = 1, .Height = 2, .Bits = 32, .Pixels = { 1, 2, 3, 99, 4, 5, 6, 99 } },
        { { qRgb(6, 5, 4) }, { qRgb(3, 2, 1) } } },
    { "16-bit 5-6-5 bit fields in a V5 header",
        { .Width = 2,
            .Height = 1,
            .Bits = 16,
            .Compression = 3,
            .HeaderSize = 124,
            .Masks = { 0xF800, 0x07E0, 0x001F },
            .Pixels = { 0x00, 0xF8, 0x1F, 0x00 } },
        { { kRed, qRgb(0, 0, 255) } } },
    { "1-bit",
        { .Width = 10,
            .Height = 1,
            .Bits = 1,
            .Palette = { kBlack, kRed },
            .Pixels = { 0b10100000, 0b01000000, 0, 0 } },
        { { kRed, kBlack, kRed, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kRed } },
        TPixelFormat::pf8bit },
    { "4-bit",
        { .Width = 3, .Height = 1, .Bits = 4, .Palette = kRgbPalette, .Pixels = { 0x21, 0x00, 0, 0 } },
        { { kGreen, kRed, kBlack } },
        TPixelFormat::pf8bit },
    { "core header: 16-bit sizes, three-byte palette entries",
        { .Width = 2, .Height = 1, .Bits = 8, .HeaderSize = 12, .Palette = kRgbPalette, .Pixels = { 1, 2, 0, 0 } },
        { { kRed, kGreen } },
        TPixelFormat::pf8bit },
    { "RLE8: a run, then a delta and an absolute stretch",
        { .Width = 4,
            .Height = 2,
            .Bits = 8,
            .Compression = 1,
            .Palette = kRgbPalette,
            .Pixels = { 3, 1, 1, 2, 0, 0, 0, 2, 1, 0, 0, 3, 2, 1, 2, 0, 0, 1 } },
        { { kBlack, kGreen, kRed, kGreen }, { kRed, kRed, kRed, kGreen } },
        TPixelFormat::pf8bit },
    { "RLE4: a run of alternating nibbles",
        { .Width = 5, .Height = 1, .Bits = 4, .Compression = 2, .Palette = kRgbPalette, .Pixels = { 5, 0x12, 0, 1 } },
        { { kRed, kGreen, kRed, kGreen, kRed } },
        TPixelFormat::pf8bit },
    { "RLE8: runs past the row and deltas past the picture are clipped",
        { .Width = 4,
            .Height = 2,
            .Bits = 8,
            .Compression = 1,
            .Palette = kRgbPalette,
            .Pixels = { 255, 1, 0, 2, 200, 200, 0, 9, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0 } },
        { { kBlack, kBlack, kBlack, kBlack }, { kRed, kRed, kRed, kRed } },
        TPixelFormat::pf8bit },
    { "RLE8: an absolute stretch longer than the data",
        { .Width = 4, .Height = 2, .Bits = 8, .Compression = 1, .Palette = kRgbPalette, .Pixels = { 0, 200, 1 } } },
    // Found by the fuzzer: an odd absolute stretch at the very end, without its padding byte, used to
    // step past the end of the data.
    { "RLE8: an odd absolute stretch at the end of the data",
        { .Width = 4, .Height = 2, .Bits = 8, .Compression = 1, .Palette = kRgbPalette, .Pixels = { 0, 3, 2, 1, 2 } },
        { { kBlack, kBlack, kBlack, kBlack }, { kGreen, kRed, kGreen, kBlack } },
        TPixelFormat::pf8bit },
    { "RLE4: an odd absolute stretch at the end of the data",
        { .Width = 5,
            .Height = 1,
            .Bits = 4,
            .Compression = 2,
            .Palette = kRgbPalette,
            .Pixels = { 0, 5, 0x12, 0x12, 0x10 } },
        { { kRed, kGreen, kRed, kGreen, kRed } },
        TPixelFormat::pf8bit },
    { "indices past the palette show black",
        { .Width = 3, .Height = 1, .Bits = 8, .Palette = { kRed, kGreen }, .Pixels = { 0, 1, 200, 0 } },
        { { kRed, kGreen, kBlack } },
        TPixelFormat::pf8bit },
    { "more colours declared than the depth allows",
        { .Width = 2,
            .Height = 1,
            .Bits = 1,
            .Palette = { qRgb(9, 9, 9), qRgb(8, 8, 8) },
            .ColorsUsed = 0xFFFFFFFF,
            .Pixels = { 0x40, 0, 0, 0 } },
        { { qRgb(9, 9, 9), qRgb(8, 8, 8) } },
        TPixelFormat::pf8bit },
};

TEST(BmpFormat, ReadsEveryAcceptedKindOfFile)
{
    for (const TBmpCase &sample : kReadable) {
        SCOPED_TRACE(sample.Name);
        TBitmap bitmap;
        ASSERT_NO_THROW(bitmap = DecodeBmp(BuildBmp(sample.Layout)));
        if (sample.Rows.empty())
            continue;
        EXPECT_EQ(bitmap.PixelFormat(), sample.Format);
        ASSERT_EQ(bitmap.Height(), int(sample.Rows.size()));
        ASSERT_EQ(bitmap.Width(), int(sample.Rows[0].size()));
        // Drawn onto a 24-bit bitmap, as the picture view shows it: the palette is applied there.
        TBitmap shown;
        shown.SetPixelFormat24();
        shown.SetBitmapWidth(bitmap.Width());
        shown.SetBitmapHeight(bitmap.Height());
        shown.Canvas().DrawAt(0, 0, &bitmap);
        for (int y = 0; y < bitmap.Height(); ++y)
            for (int x = 0; x < bitmap.Width(); ++x)
                EXPECT_EQ(shown.Image().pixel(x, y), sample.Rows[std::size_t(y)][std::size_t(x)]) << x << "," << y;
    }
}

const TBytes kOnePixel { 1, 2, 3, 0 };
const TBmpLayout kGood { .Width = 1, .Height = 1, .Pixels = kOnePixel };

struct TRefusedCase {
    const char *Name;
    TBmpLayout Layout;
    QString Error = kNotValid;
};

QString TooLarge(const char *size)
{
    return QStringLiteral("Image too large: %1 pixels (the limit is 268435456)").arg(QLatin1String(size));
}

const TRefusedCase kRefused[] = {
    { "width 0", { .Width = 0, .Height = 1, .Pixels = kOnePixel } },
    { "negative width", { .Width = -1, .Height = 1, .Pixels = kOnePixel } },
    { "height 0", { .Width = 1, .Height = 0, .Pixels = kOnePixel } },
    { "the most negative height",
        { .Width = 1, .Height = std::numeric_limits<std::int32_t>::min(), .Pixels = kOnePixel },
        TooLarge("1 x 2147483648") },
    { "0 planes", { .Width = 1, .Height = 1, .Planes = 0, .Pixels = kOnePixel } },
    { "0 bits", { .Width = 1, .Height = 1, .Bits = 0, .Pixels = kOnePixel } },
    { "2 bits", { .Width = 1, .Height = 1, .Bits = 2, .Pixels = kOnePixel } },
    { "3 bits", { .Width = 1, .Height = 1, .Bits = 3, .Pixels = kOnePixel } },
    { "7 bits", { .Width = 1, .Height = 1, .Bits = 7, .Pixels = kOnePixel } },
    { "48 bits", { .Width = 1, .Height = 1, .Bits = 48, .Pixels = kOnePixel } },
    { "64 bits", { .Width = 1, .Height = 1, .Bits = 64, .Pixels = kOnePixel } },
    { "compression 4", { .Width = 1, .Height = 1, .Compression = 4, .Pixels = kOnePixel } },
    { "compression 5", { .Width = 1, .Height = 1, .Compression = 5, .Pixels = kOnePixel } },
    { "compression 6", { .Width = 1, .Height = 1, .Compression = 6, .Pixels = kOnePixel } },
    { "compression 0xFFFFFFFF", { .Width = 1, .Height = 1, .Compression = 0xFFFFFFFF, .Pixels = kOnePixel } },
    { "RLE8 at 24 bits", { .Width = 1, .Height = 1, .Compression = 1, .Pixels = kOnePixel } },
    { "header size 0", { .Width = 1, .Height = 1, .Pixels = kOnePixel, .Patches = { { 14, 0 } } } },
    { "header size 13", { .Width = 1, .Height = 1, .Pixels = kOnePixel, .Patches = { { 14, 13 } } } },
    { "header size 39", { .Width = 1, .Height = 1, .Pixels = kOnePixel, .Patches = { { 14, 39 } } } },
    { "header size 64", { .Width = 1, .Height = 1, .Pixels = kOnePixel, .Patches = { { 14, 64 } } } },
    { "header size 0xFFFFFFFF", { .Width = 1, .Height = 1, .Pixels = kOnePixel, .Patches = { { 14, 0xFFFFFFFF } } } },
    { "pixel data far past the end",
        { .Width = 1, .Height = 1, .Pixels = kOnePixel, .Patches = { { 10, 0xFFFFFFF0 } } } },
    { "not BM", { .Width = 1, .Height = 1, .Pixels = kOnePixel, .Patches = { { 1, 'A', 1 } } } },
    { "top-down run lengths",
        { .Width = 1, .Height = -1, .Bits = 8, .Compression = 1, .Palette = { kBlack }, .Pixels = { 0, 1 } } },
    { "65500 x 65500", { .Width = 65500, .Height = 65500 }, TooLarge("65500 x 65500") },
    { "65500 x 65500 top-down", { .Width = 65500, .Height = -65500 }, TooLarge("65500 x 65500") },
    { "268435457 x 1", { .Width = 268435457, .Height = 1 }, TooLarge("268435457 x 1") },
    // Exactly at the limit the size passes, and the missing pixels are what is refused.
    { "16384 x 16384 without pixels", { .Width = 16384, .Height = 16384 } },
};

TEST(BmpFormat, RefusesMalformedAndOversizedHeaders)
{
    ASSERT_EQ(DecodeError(BuildBmp(kGood)), QString());
    for (const TRefusedCase &sample : kRefused)
        EXPECT_EQ(DecodeError(BuildBmp(sample.Layout)), sample.Error) << sample.Name;
}

TEST(BmpFormat, ReadsQtsOwnFilesPixelForPixel)
{
    for (const QImage::Format format : { QImage::Format_RGB888, QImage::Format_Indexed8 }) {
        const QImage original = Pattern(37, 11, format);
        const TBitmap loaded = DecodeBmp(QtBmp(original));
        EXPECT_EQ(loaded.PixelFormat(),
            format == QImage::Format_Indexed8 ? TPixelFormat::pf8bit : TPixelFormat::pf24bit);
        ASSERT_EQ(loaded.Image().size(), original.size());
        for (int y = 0; y < original.height(); ++y)
            for (int x = 0; x < original.width(); ++x)
                ASSERT_EQ(loaded.Image().pixel(x, y), original.pixel(x, y)) << format << ": " << x << "," << y;
    }
}

TEST(BmpFormat, RefusesTruncatedFilesAtEveryLength)
{
    const TBytes whole = BuildBmp(TBmpLayout { .Width = 3,
        .Height = 2,
        .Bits = 8,
        .Palette = { qRgb(1, 2, 3), qRgb(4, 5, 6) },
        .Pixels = { 0, 1, 0, 0, 1, 0, 1 } });
    ASSERT_EQ(DecodeError(whole), QString()); // the last row's padding may be missing
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const TBytes part(whole.begin(), whole.begin() + std::ptrdiff_t(length));
        EXPECT_EQ(DecodeError(part), kNotValid) << length;
    }
}

TEST(BmpFormat, SurvivesRandomDamage)
{
    // Each sample with the first byte that may be damaged: a run-length file may rightly declare a
    // huge picture in a few bytes, which would only make this test slow.
    std::vector<std::pair<TBytes, std::size_t>> samples;
    samples.emplace_back(QtBmp(Pattern(9, 5, QImage::Format_RGB888)), 0);
    samples.emplace_back(QtBmp(Pattern(9, 5, QImage::Format_Indexed8)), 0);
    TBmpLayout rle { .Width = 6, .Height = 3, .Bits = 4, .Compression = 2 };
    rle.Palette = { qRgb(0, 0, 0), qRgb(255, 0, 0) };
    rle.Pixels = { 4, 0x10, 0, 3, 0x11, 0x10, 0, 0, 0, 2, 1, 1, 2, 0x01, 0, 1 };
    samples.emplace_back(BuildBmp(rle), 26);
    std::mt19937 random(1234);
    for (const auto &[sample, first] : samples) {
        for (int round = 0; round < 2000; ++round) {
            TBytes damaged = sample;
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

TEST(BmpFormat, AFailedLoadKeepsTheBitmapAndALoadKeepsTheCanvas)
{
    TTempDir dir;
    TBitmap bitmap = DecodeBmp(QtBmp(Pattern(4, 4, QImage::Format_RGB888)));
    TCanvas *canvas = &bitmap.Canvas();
    for (const QString &path :
        { dir.Write(QStringLiteral("empty.bmp"), {}), dir.Write(QStringLiteral("photo.bmp"), test::MakeJpeg()) }) {
        try {
            bitmap.LoadFromFile(path);
            ADD_FAILURE() << path.toStdString() << " loaded";
        } catch (const EInvalidGraphic &error) {
            EXPECT_EQ(error.Message(), kNotValid);
        }
        EXPECT_EQ(bitmap.Width(), 4);
    }
    EXPECT_THROW(bitmap.LoadFromFile(dir.File(QStringLiteral("missing.bmp"))), EFOpenError);

    bitmap.LoadFromFile(dir.Write(QStringLiteral("wide.bmp"), QtBmp(Pattern(6, 2, QImage::Format_RGB888))));
    EXPECT_EQ(&bitmap.Canvas(), canvas);
    EXPECT_EQ(bitmap.Width(), 6);
}

} // namespace
} // namespace vellumar
