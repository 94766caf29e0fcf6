#include <algorithm>
#include <cstdlib>
#include <set>

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "imaging/errors.h"
#include "imaging/jpeg_image.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::DecodeReferenceJpeg;
using test::EncodeReferenceJpeg;
using test::MakeJpeg;
using test::ReadBytes;
using test::TJpegFixtureOptions;
using test::TTempDir;

// The bitmap's pixels as packed blue-green-red rows (3 * width bytes each), whatever its format.
std::vector<std::uint8_t> PackedBgr(const TBitmap &bitmap)
{
    const QImage image = bitmap.Image24();
    std::vector<std::uint8_t> out;
    for (int y = 0; y < image.height(); ++y)
        out.insert(out.end(), image.constScanLine(y), image.constScanLine(y) + 3 * image.width());
    return out;
}

int MaxDifference(const std::vector<std::uint8_t> &a, const std::vector<std::uint8_t> &b)
{
    int worst = 0;
    for (std::size_t i = 0; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

bool Contains(const std::vector<std::uint8_t> &bytes, std::initializer_list<std::uint8_t> needle)
{
    return std::search(bytes.begin(), bytes.end(), needle.begin(), needle.end()) != bytes.end();
}

int Components(const std::vector<std::uint8_t> &jpeg)
{
    int width = 0;
    int height = 0;
    int components = 0;
    (void)DecodeReferenceJpeg(jpeg, &width, &height, &components);
    return components;
}

TBitmap Bitmap24(int width, int height)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat24();
    bitmap.SetBitmapWidth(width);
    bitmap.SetBitmapHeight(height);
    for (int y = 0; y < height; ++y) {
        std::uint8_t *row = bitmap.MutableImage().scanLine(y);
        for (int x = 0; x < width; ++x)
            test::PatternPixel(x, y, row + 3 * x);
    }
    return bitmap;
}

TEST(JpegImage, LoadReadsTheHeaderOnlyAndDecodesOnce)
{
    TTempDir dir;
    const QString path = dir.Write(QStringLiteral("a.jpg"), MakeJpeg({ .Width = 40, .Height = 30 }));
    TJPEGImage jpeg;
    EXPECT_TRUE(jpeg.Empty());
    EXPECT_EQ(jpeg.Quality(), 90);
    EXPECT_EQ(jpeg.OutputFormat(), TJPEGPixelFormat::jf24Bit);
    jpeg.LoadJpegFile(path);
    EXPECT_FALSE(jpeg.Empty());
    EXPECT_EQ(jpeg.ImageWidth(), 40);
    EXPECT_EQ(jpeg.ImageHeight(), 30);
    EXPECT_FALSE(jpeg.Grayscale());
    EXPECT_EQ(jpeg.CompressedData(), ReadBytes(path));

    TJPEGImage copy(jpeg);
    EXPECT_EQ(copy.CompressedData().data(), jpeg.CompressedData().data()) << "copies share the compressed data";

    TBitmap &first = jpeg.DecodedBitmap();
    EXPECT_EQ(&first, &jpeg.DecodedBitmap());
    EXPECT_EQ(first.PixelFormat(), TPixelFormat::pf24bit);
    jpeg.SetOutputFormat(TJPEGPixelFormat::jf8Bit);
    EXPECT_EQ(jpeg.DecodedBitmap().PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_LE(jpeg.DecodedBitmap().Image().colorCount(), 236);
}

TEST(JpegImage, DecodedPixelsMatchTheReferenceDecoder)
{
    TTempDir dir;
    for (const bool progressive : { false, true }) {
        const std::vector<std::uint8_t> source = MakeJpeg({ .Width = 83, .Height = 57, .Progressive = progressive });
        TJPEGImage jpeg;
        jpeg.LoadJpegFile(dir.Write(QStringLiteral("p.jpg"), source));
        int width = 0;
        int height = 0;
        int components = 0;
        const std::vector<std::uint8_t> expected = DecodeReferenceJpeg(source, &width, &height, &components);
        const TBitmap &bitmap = jpeg.DecodedBitmap();
        ASSERT_EQ(bitmap.Width(), width);
        ASSERT_EQ(bitmap.Height(), height);
        EXPECT_LE(MaxDifference(PackedBgr(bitmap), expected), 2) << "progressive " << progressive;
    }
}

TEST(JpegImage, GrayDecodesTo236LevelsAndReencodesInColour)
{
    TTempDir dir;
    TJPEGImage jpeg;
    jpeg.LoadJpegFile(dir.Write(QStringLiteral("g.jpg"), MakeJpeg({ .Gray = true })));
    EXPECT_TRUE(jpeg.Grayscale());
    const TBitmap &bitmap = jpeg.DecodedBitmap();
    ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(bitmap.Image().colorCount(), 236);
    std::set<int> used;
    for (int y = 0; y < bitmap.Height(); ++y)
        used.insert(bitmap.Image().constScanLine(y), bitmap.Image().constScanLine(y) + bitmap.Width());
    EXPECT_GT(used.size(), 30u) << "dithered levels, not a posterised handful";
    for (const QRgb entry : bitmap.Image().colorTable())
        EXPECT_TRUE(qRed(entry) == qGreen(entry) && qGreen(entry) == qBlue(entry));

    TBitmap copy = bitmap;
    copy.SetPixelFormat24();
    TJPEGImage output;
    output.AssignBitmap(copy);
    const QString saved = dir.File(QStringLiteral("out.jpg"));
    output.SaveJpegFile(saved);
    EXPECT_EQ(Components(ReadBytes(saved)), 3);
}

TEST(JpegImage, CmykIsConvertedToColour)
{
    TTempDir dir;
    TJPEGImage jpeg;
    jpeg.LoadJpegFile(
        dir.Write(QStringLiteral("cmyk.jpg"), MakeJpeg({ .Width = 48, .Height = 32, .Quality = 100, .Cmyk = true })));
    const TBitmap &bitmap = jpeg.DecodedBitmap();
    ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(bitmap.Width(), 48);
    int worst = 0;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 48; ++x) {
            std::uint8_t expected[3];
            test::PatternPixel(x, y, expected);
            for (int c = 0; c < 3; ++c)
                worst = std::max(worst, std::abs(int(bitmap.Image().constScanLine(y)[3 * x + c]) - int(expected[c])));
        }
    }
    // Hard edges ring a little even at quality 100; inverted colours would be off by far more.
    EXPECT_LE(worst, 40);
}

TEST(JpegImage, EncodingMatchesTheReferenceEncoderByteForByte)
{
    TTempDir dir;
    TJPEGImage source;
    source.LoadJpegFile(
        dir.Write(QStringLiteral("in.jpg"), MakeJpeg({ .Width = 70, .Height = 45, .Progressive = true })));
    const TBitmap decoded = source.DecodedBitmap();
    const std::vector<std::uint8_t> rows = PackedBgr(decoded);

    TJPEGImage output;
    output.SetQuality(90);
    output.AssignBitmap(decoded);
    const QString path = dir.File(QStringLiteral("out.jpg"));
    output.SaveJpegFile(path);
    const std::vector<std::uint8_t> written = ReadBytes(path);
    EXPECT_EQ(written, EncodeReferenceJpeg(rows.data(), 70, 45, 70 * 3, 90));
    EXPECT_TRUE(Contains(written, { 0xFF, 0xC0 })) << "baseline output from a progressive source";
    EXPECT_FALSE(Contains(written, { 0xFF, 0xC2 }));
    EXPECT_EQ(output.ImageWidth(), 70);
    EXPECT_EQ(&output.DecodedBitmap(), &output.DecodedBitmap());
}

TEST(JpegImage, SaveEncodesOnceAndKeepsThoseBytes)
{
    TTempDir dir;
    TJPEGImage jpeg;
    jpeg.AssignBitmap(Bitmap24(50, 40));
    const QString first = dir.File(QStringLiteral("1.jpg"));
    const QString second = dir.File(QStringLiteral("2.jpg"));
    jpeg.SaveJpegFile(first);
    jpeg.SetQuality(10);
    jpeg.SaveJpegFile(second);
    EXPECT_FALSE(ReadBytes(first).empty());
    EXPECT_EQ(ReadBytes(first), ReadBytes(second));

    std::size_t sizes[2] {};
    for (const int quality : { 1, 100 }) {
        TJPEGImage fresh;
        fresh.SetQuality(quality);
        fresh.AssignBitmap(Bitmap24(50, 40));
        fresh.EncodeJpeg();
        ASSERT_FALSE(fresh.CompressedData().empty());
        EXPECT_EQ(Components(fresh.CompressedData()), 3);
        sizes[quality == 100] = fresh.CompressedData().size();
    }
    EXPECT_LT(sizes[0], sizes[1]);
}

TEST(JpegImage, NothingButPixelsReachesTheOutput)
{
    std::vector<std::uint8_t> source = MakeJpeg({ .Comment = "secret comment" });
    // An EXIF block right after the start-of-image marker.
    const std::vector<std::uint8_t>
        exif { 0xFF, 0xE1, 0x00, 0x0E, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8 };
    source.insert(source.begin() + 2, exif.begin(), exif.end());
    TTempDir dir;
    TJPEGImage in;
    in.LoadJpegFile(dir.Write(QStringLiteral("in.jpg"), source));
    TJPEGImage out;
    out.AssignBitmap(in.DecodedBitmap());
    out.EncodeJpeg();
    const std::vector<std::uint8_t> &bytes = out.CompressedData();
    EXPECT_FALSE(Contains(bytes, { 'E', 'x', 'i', 'f' }));
    EXPECT_FALSE(Contains(bytes, { 's', 'e', 'c', 'r', 'e', 't' }));
    EXPECT_FALSE(Contains(bytes, { 0xFF, 0xFE }));
}

TEST(JpegImage, EmptyAndZeroSizedInputs)
{
    TTempDir dir;
    TJPEGImage zero;
    zero.LoadJpegFile(dir.WriteText(QStringLiteral("zero.jpg"), ""));
    EXPECT_FALSE(zero.Empty());
    EXPECT_EQ(zero.ImageWidth(), 0);
    EXPECT_EQ(zero.ImageHeight(), 0);
    try {
        (void)zero.DecodedBitmap();
        FAIL() << "a 0-byte file decoded";
    } catch (const EJPEG &error) {
        EXPECT_TRUE(error.Message().startsWith(QStringLiteral("JPEG error #"))) << error.what();
    }
    EXPECT_THROW((void)zero.DecodedBitmap(), EJPEG) << "a failed decode is not remembered as a blank bitmap";

    TJPEGImage text;
    EXPECT_THROW(text.LoadJpegFile(dir.WriteText(QStringLiteral("text.jpg"), "just some words\n")), EJPEG);

    TJPEGImage narrow;
    narrow.AssignBitmap(Bitmap24(0, 10));
    const QString path = dir.File(QStringLiteral("narrow.jpg"));
    narrow.SaveJpegFile(path);
    EXPECT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(QFileInfo(path).size(), 0);

    const QString missing = dir.File(QStringLiteral("missing.jpg"));
    try {
        TJPEGImage jpeg;
        jpeg.LoadJpegFile(missing);
        FAIL() << "a missing file loaded";
    } catch (const EFOpenError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Cannot open file ") + missing);
    }
}

TEST(JpegImage, DamagedFilesDecodeAndKeepLibjpegsWarnings)
{
    const std::vector<std::uint8_t> whole = MakeJpeg({ .Width = 64, .Height = 64 });
    std::vector<std::uint8_t> cut = whole;
    cut.resize(cut.size() * 2 / 3);
    // Junk between two header markers: met by the header reader and again by the decoder.
    std::vector<std::uint8_t> padded = whole;
    padded.insert(padded.begin() + 2, { 1, 2, 3 });
    const QStringList premature { QStringLiteral("Premature end of JPEG file"),
        QStringLiteral("Corrupt JPEG data: premature end of data segment") };
    const QStringList extraneous { QStringLiteral("Corrupt JPEG data: 3 extraneous bytes before marker 0x%1")
                                       .arg(whole[3], 2, 16, QLatin1Char('0')) };
    TTempDir dir;
    const struct {
        std::vector<std::uint8_t> Bytes;
        QStringList Expected;
    } cases[] = { { whole, {} }, { cut, premature }, { padded, extraneous } };
    for (const auto &[bytes, expected] : cases) {
        const QString path = dir.Write(QStringLiteral("photo.jpg"), bytes);
        TJPEGImage decoded;
        decoded.LoadJpegFile(path);
        const TBitmap &bitmap = decoded.DecodedBitmap();
        EXPECT_EQ(bitmap.Width(), 64);
        EXPECT_EQ(bitmap.Height(), 64);
        // Decoding again, or the same stream copied, adds no second copy of a text.
        TJPEGImage copy(decoded);
        (void)copy.StretchedBitmap(32, 32, TRect { 0, 0, 32, 32 });
        EXPECT_EQ(copy.Warnings(), expected);
        EXPECT_EQ(decoded.Warnings(), expected);

        TJPEGImage taken;
        taken.LoadJpegFile(path);
        (void)taken.TakeBitmap();
        EXPECT_EQ(taken.Warnings(), expected);
        taken.AssignBitmap(bitmap);
        EXPECT_TRUE(taken.Warnings().isEmpty());
    }
}

TEST(JpegImage, FailedEncodingLeavesTheDestinationUntouched)
{
    TTempDir dir;
    const QString path = dir.WriteText(QStringLiteral("keep.jpg"), "precious");
    // Wider than any JPEG may be: the encoder fails before anything is written.
    TJPEGImage tooWide;
    tooWide.AssignBitmap(Bitmap24(65501, 1));
    EXPECT_THROW(tooWide.SaveJpegFile(path), EJPEG);
    EXPECT_EQ(ReadBytes(path), (std::vector<std::uint8_t> { 'p', 'r', 'e', 'c', 'i', 'o', 'u', 's' }));
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 1);
}

TEST(JpegImage, SaveIntoAReadOnlyFolderKeepsTheOldFile)
{
    TTempDir dir;
    const QString path = dir.WriteText(QStringLiteral("keep.jpg"), "precious");
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    TJPEGImage fine;
    fine.AssignBitmap(Bitmap24(8, 8));
    ASSERT_EQ(::chmod(dir.Path().toUtf8().constData(), 0500), 0);
    EXPECT_THROW(fine.SaveJpegFile(path), EFCreateError);
    ::chmod(dir.Path().toUtf8().constData(), 0700);
    EXPECT_EQ(ReadBytes(path).size(), 8u);
}

} // namespace
} // namespace vellumar
