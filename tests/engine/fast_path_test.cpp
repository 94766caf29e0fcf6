// The reduction that decodes only the sampled rows and the overlay that takes the decoded frame must write
// the very bytes of the straightforward path: decode the whole picture, stretch-copy it, encode.
#include <QDir>
#include <QDirIterator>

#include <gtest/gtest.h>

#include "engine/img_utils.h"
#include "engine/job_settings.h"
#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/errors.h"
#include "imaging/jpeg_image.h"
#include "overlay/jpeg_text_overlay.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeJpeg;
using test::ReadBytes;
using test::TJpegFixtureOptions;
using test::TTempDir;

using TBytes = std::vector<std::uint8_t>;

class TBottomRightOverlay : public TOverlaySettingsProvider
{
public:
    [[nodiscard]] TOverlaySettings CurrentOverlaySettings() const override
    {
        TOverlaySettings settings;
        settings.Text = QStringLiteral("Vellumar\r\nproof copy");
        settings.FontName = QStringLiteral("DejaVu Sans");
        settings.FontColor = 0x00FFFF;
        settings.SizeClass = 1;
        settings.TextPosition = 8;
        return settings;
    }
};

// Decode whole, stretch onto a fresh 24-bit bitmap, encode: what ResizeJpegFile must write.
TBytes StraightforwardReduction(const QString &source, int percent, int quality)
{
    TJPEGImage image;
    image.LoadJpegFile(source);
    const double scale = ScaleFromPercent(percent);
    TBitmap bitmap;
    bitmap.SetPixelFormat24();
    bitmap.SetBitmapHeight(FloorTimesScale(image.ImageHeight(), scale));
    bitmap.SetBitmapWidth(FloorTimesScale(image.ImageWidth(), scale));
    bitmap.Canvas().DrawStretched(
        TRect { 0, 0, FloorTimesScale(image.ImageWidth() + 1, scale), FloorTimesScale(image.ImageHeight() + 1, scale) },
        &image);
    TJPEGImage output;
    output.SetQuality(quality);
    output.AssignBitmap(bitmap);
    output.EncodeJpeg();
    return output.CompressedData();
}

// Size the working bitmap, copy the whole decoded picture at (0, 0), draw and save: what ProcessFile must write.
TBytes StraightforwardOverlay(const QString &source, const QString &destination)
{
    TJPEGImage image;
    image.LoadJpegFile(source);
    TJPEGTextOverlay renderer;
    renderer.Settings = TBottomRightOverlay().CurrentOverlaySettings();
    renderer.SaveOutput = true;
    renderer.OutputFile = destination;
    TBitmap &bitmap = renderer.WorkingBitmap();
    bitmap.SetPixelFormat24();
    bitmap.SetBitmapWidth(image.ImageWidth());
    bitmap.SetBitmapHeight(image.ImageHeight());
    bitmap.Canvas().DrawAt(0, 0, &image);
    EXPECT_TRUE(renderer.RenderAndSave());
    return ReadBytes(destination);
}

void ExpectSameReduction(const QString &source, int percent, const TTempDir &out)
{
    const TBytes expected = StraightforwardReduction(source, percent, 90);
    const QString destination = out.File(QStringLiteral("reduced.jpg"));
    TReportedSize reported;
    const TBottomRightOverlay overlay;
    if (expected.empty()) {
        // A side of 0 pixels: both paths refuse.
        EXPECT_THROW((void)ResizeJpegFile(source, destination, 90, ScaleFromPercent(percent), false, overlay, reported),
            Exception);
        return;
    }
    ASSERT_TRUE(ResizeJpegFile(source, destination, 90, ScaleFromPercent(percent), false, overlay, reported));
    EXPECT_EQ(ReadBytes(destination), expected) << source.toStdString() << " at " << percent << " %";
}

void ExpectSameOverlay(const QString &source, const TTempDir &out)
{
    const TBytes expected = StraightforwardOverlay(source, out.File(QStringLiteral("expected.jpg")));
    const QString destination = out.File(QStringLiteral("overlaid.jpg"));
    AddOverlayToFile(source, destination, TBottomRightOverlay());
    EXPECT_EQ(ReadBytes(destination), expected) << source.toStdString();
}

struct TKind {
    const char *Name;
    TJpegFixtureOptions Options;
};

const std::vector<TKind> &Kinds()
{
    static const std::vector<TKind> kinds { { "colour", {} },
        { "gray", { .Gray = true } },
        { "progressive", { .Progressive = true } },
        { "cmyk", { .Cmyk = true } } };
    return kinds;
}

TEST(FastPaths, ReductionsOfOddSizesAndKindsWriteTheStraightforwardBytes)
{
    TTempDir dir;
    const std::vector<std::pair<int, int>> sizes { { 1, 1 }, { 3, 5 }, { 17, 9 }, { 2, 301 }, { 1001, 801 } };
    for (const TKind &kind : Kinds()) {
        for (const auto &[width, height] : sizes) {
            TJpegFixtureOptions options = kind.Options;
            options.Width = width;
            options.Height = height;
            const QString source =
                dir.Write(QStringLiteral("%1_%2x%3.jpg").arg(QLatin1String(kind.Name)).arg(width).arg(height),
                    MakeJpeg(options));
            for (const int percent : { 1, 33, 50, 75, 99 })
                ExpectSameReduction(source, percent, dir);
        }
    }
}

TEST(FastPaths, OverlaysOfOddSizesAndKindsWriteTheStraightforwardBytes)
{
    TTempDir dir;
    for (const TKind &kind : Kinds()) {
        for (const auto &[width, height] : std::vector<std::pair<int, int>> { { 1, 1 }, { 17, 9 }, { 1001, 801 } }) {
            TJpegFixtureOptions options = kind.Options;
            options.Width = width;
            options.Height = height;
            ExpectSameOverlay(dir.Write(QStringLiteral("%1.jpg").arg(QLatin1String(kind.Name)), MakeJpeg(options)),
                dir);
        }
    }
}

// Scale 1, enlargements and 8-bit output reach rows and columns sampled twice and the palette lookup.
TEST(FastPaths, StretchedBitmapEqualsTheStretchCopyForAnyCoveringRectangle)
{
    struct TGeometry {
        int Width;
        int Height;
        TRect Rect;
    };
    const std::vector<TGeometry> geometries { { 37, 23, { 0, 0, 37, 23 } },
        { 74, 50, { 0, 0, 74, 50 } },
        { 20, 11, { 0, 0, 21, 12 } },
        { 5, 60, { 0, 0, 6, 61 } } };
    for (const TKind &kind : Kinds()) {
        for (const bool eightBit : { false, true }) {
            TJpegFixtureOptions options = kind.Options;
            options.Width = 37;
            options.Height = 23;
            const TBytes stream = MakeJpeg(options);
            TTempDir dir;
            const QString path = dir.Write(QStringLiteral("p.jpg"), stream);
            for (const TGeometry &geometry : geometries) {
                TJPEGImage fast;
                fast.LoadJpegFile(path);
                TJPEGImage whole;
                whole.LoadJpegFile(path);
                if (eightBit) {
                    fast.SetOutputFormat(TJPEGPixelFormat::jf8Bit);
                    whole.SetOutputFormat(TJPEGPixelFormat::jf8Bit);
                }
                (void)whole.DecodedBitmap(); // decoded already: the stretch copy
                const TBitmap expected = whole.StretchedBitmap(geometry.Width, geometry.Height, geometry.Rect);
                const TBitmap actual = fast.StretchedBitmap(geometry.Width, geometry.Height, geometry.Rect);
                EXPECT_EQ(actual.Image(), expected.Image())
                    << kind.Name << (eightBit ? " 8-bit " : " ") << geometry.Width << "x" << geometry.Height;
                EXPECT_EQ(actual.PixelFormat(), TPixelFormat::pf24bit);
            }
        }
    }
}

TEST(FastPaths, TakeBitmapHandsOverThePixelsAndSparesSharedBytes)
{
    TTempDir dir;
    const QString path =
        dir.Write(QStringLiteral("p.jpg"), MakeJpeg({ .Width = 40, .Height = 30, .Progressive = true }));
    TJPEGImage reference;
    reference.LoadJpegFile(path);
    const QImage expected = reference.DecodedBitmap().Image();

    TJPEGImage image;
    image.LoadJpegFile(path);
    const TJPEGImage copy(image);
    const TBitmap taken = image.TakeBitmap();
    EXPECT_EQ(taken.Image(), expected);
    EXPECT_TRUE(image.Empty());
    // The copy shared the bytes: they stay, and decode alike.
    EXPECT_EQ(copy.CompressedData(), ReadBytes(path));
    TJPEGImage again(copy);
    EXPECT_EQ(again.TakeBitmap().Image(), expected);

    // A 0-byte file loads and fails once decoded; the image is empty all the same.
    TJPEGImage broken;
    broken.LoadJpegFile(dir.Write(QStringLiteral("empty.jpg"), {}));
    EXPECT_THROW((void)broken.TakeBitmap(), EJPEG);
    EXPECT_TRUE(broken.Empty());
}

// The photographs of the desktop backgrounds, where installed: real sizes, subsamplings and progressive files.
TEST(FastPaths, TheBackgroundPhotographsGiveTheStraightforwardBytes)
{
    QStringList photos;
    QDirIterator it(QStringLiteral("/usr/share/backgrounds"),
        { QStringLiteral("*.jpg") },
        QDir::Files,
        QDirIterator::Subdirectories);
    while (it.hasNext())
        photos << it.next();
    if (photos.isEmpty())
        GTEST_SKIP() << "no photographs under /usr/share/backgrounds";
    photos.sort();
    TTempDir dir;
    for (const QString &photo : photos) {
        ExpectSameReduction(photo, 50, dir);
        ExpectSameOverlay(photo, dir);
    }
}

} // namespace
} // namespace vellumar
