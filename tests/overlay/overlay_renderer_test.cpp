#include <algorithm>
#include <climits>

#include <QFile>
#include <QFontMetrics>

#include <gtest/gtest.h>

#include "imaging/errors.h"
#include "imaging/jpeg_image.h"
#include "overlay/jpeg_text_overlay.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/photo_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::EncodeReferenceJpeg;
using test::MakeJpeg;
using test::ReadBytes;
using test::TTempDir;

using TBytes = std::vector<std::uint8_t>;

constexpr int kGray = 128;
constexpr TColor kRed = 0x0000FF;

// A uniform mid-gray picture: it decodes to exactly kGray everywhere, so any other pixel is ink.
QString GrayPicture(const TTempDir &dir, const QString &name, int width, int height)
{
    const TBytes rows(std::size_t(width) * 3 * std::size_t(height), kGray);
    return dir.Write(name, EncodeReferenceJpeg(rows.data(), width, height, width * 3, 90));
}

void UseRedDejaVu(TJPEGTextOverlay &renderer, const QString &source)
{
    renderer.SourceFile = source;
    renderer.Settings.Text = QStringLiteral("First line\r\nSecond line\r\nThird gyp");
    renderer.Settings.FontName = QStringLiteral("DejaVu Sans");
    renderer.Settings.FontColor = kRed;
    renderer.Settings.SizeClass = 1;
    renderer.Settings.TextPosition = 8;
}

struct TInkBox {
    int Left = INT_MAX;
    int Top = INT_MAX;
    int Right = -1; // last inked column
    int Bottom = -1; // last inked row
    void Add(int x, int y)
    {
        Left = std::min(Left, x);
        Top = std::min(Top, y);
        Right = std::max(Right, x);
        Bottom = std::max(Bottom, y);
    }
    [[nodiscard]] bool Empty() const { return Right < 0; }
};

struct TInk {
    TInkBox Shadow; // visible black: still gray, darker than the background
    TInkBox Colour; // any red coverage, over the background or over the shadow
    int Other = 0; // pixels that are neither, such as a non-uniform background
};

TInk MeasureInk(const TBitmap &bitmap)
{
    TInk ink;
    const QImage image = bitmap.Image24();
    for (int y = 0; y < image.height(); ++y) {
        const std::uint8_t *row = image.constScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            const int blue = row[3 * x];
            const int green = row[3 * x + 1];
            const int red = row[3 * x + 2];
            if (red > green && green == blue)
                ink.Colour.Add(x, y);
            else if (red == green && green == blue && green < kGray)
                ink.Shadow.Add(x, y);
            else if (red != kGray || green != kGray || blue != kGray)
                ++ink.Other;
        }
    }
    return ink;
}

TBytes PackedRows(const TBitmap &bitmap)
{
    const QImage image = bitmap.Image24();
    TBytes out;
    for (int y = 0; y < image.height(); ++y)
        out.insert(out.end(), image.constScanLine(y), image.constScanLine(y) + 3 * image.width());
    return out;
}

TBytes ReferenceEncoding(const TBitmap &bitmap, int quality)
{
    const QImage image = bitmap.Image24();
    return EncodeReferenceJpeg(image.constBits(), image.width(), image.height(), int(image.bytesPerLine()), quality);
}

TEST(OverlayRenderer, BottomRightGeometryOnRealPixels)
{
    TTempDir dir;
    TJPEGTextOverlay renderer;
    UseRedDejaVu(renderer, GrayPicture(dir, QStringLiteral("gray.jpg"), 1024, 768));
    ASSERT_TRUE(renderer.ProcessFile());

    TFont &font = renderer.WorkingBitmap().Canvas().Font();
    EXPECT_EQ(font.Size(), 46);
    EXPECT_EQ(font.Height(), -61);
    EXPECT_EQ(font.Color(), kRed);
    const QFontMetrics metrics(font.ToQFont());
    const int lineHeight = metrics.ascent() + metrics.descent();

    const TInk ink = MeasureInk(renderer.WorkingBitmap());
    EXPECT_EQ(ink.Other, 0);
    ASSERT_FALSE(ink.Shadow.Empty());
    ASSERT_FALSE(ink.Colour.Empty());
    // The shadow's lines end at x = 1014 and its last cell at y = 768; the descenders of "gyp" reach into it.
    EXPECT_LE(ink.Shadow.Right, 1013);
    EXPECT_GE(ink.Shadow.Right, 1013 - 8);
    EXPECT_LE(ink.Shadow.Bottom, 767);
    EXPECT_GE(ink.Shadow.Bottom, 768 - metrics.descent());
    EXPECT_GE(ink.Shadow.Top, 768 - 3 * lineHeight);
    // The coloured copy lies 5 pixels (61 div 12) up and to the left.
    EXPECT_EQ(ink.Shadow.Right - ink.Colour.Right, 5);
    EXPECT_EQ(ink.Shadow.Bottom - ink.Colour.Bottom, 5);
    EXPECT_GE(ink.Colour.Top, 768 - 3 * lineHeight - 5);
    EXPECT_LT(ink.Colour.Top, 768 - 2 * lineHeight - 5) << "three lines";
    EXPECT_EQ(renderer.OutputImage().ImageWidth(), 1024);
    EXPECT_EQ(renderer.OutputImage().ImageHeight(), 768);
}

TEST(OverlayRenderer, ASidewaysPhotoIsTurnedUprightBeforeTheTextAndKeepsItsProfile)
{
    TTempDir dir;
    const TBytes rows(std::size_t(300) * 3 * 200, kGray);
    const TBytes profile(5000, 0x42);
    const QString source = dir.Write(QStringLiteral("portrait.jpg"),
        test::WithSegments(EncodeReferenceJpeg(rows.data(), 300, 200, 900, 90),
            { { 0xE1, test::MakeExif({ .Orientation = 6 }) },
                { 0xE2, test::IccChunk(1, 1, profile.begin(), profile.size()) } }));
    TJPEGTextOverlay renderer;
    UseRedDejaVu(renderer, source);
    renderer.AutoOrient = true;
    renderer.Metadata = TMetadataMode::mmKeep;
    renderer.SaveOutput = true;
    renderer.OutputFile = dir.File(QStringLiteral("out.jpg"));
    ASSERT_TRUE(renderer.ProcessFile());

    // Bottom right of the upright picture, 200 wide and 300 high.
    const TInk ink = MeasureInk(renderer.WorkingBitmap());
    ASSERT_EQ(renderer.WorkingBitmap().Width(), 200);
    ASSERT_FALSE(ink.Shadow.Empty());
    EXPECT_GT(ink.Shadow.Top, 150);
    EXPECT_LE(ink.Shadow.Right, 189);
    const TBytes written = ReadBytes(renderer.OutputFile);
    const TJpegMarkers markers = ReadJpegStreamMarkers(written);
    EXPECT_EQ(markers.IccProfile, profile);
    EXPECT_EQ(MarkersOrientation(markers), TOrientation::Normal);
    EXPECT_TRUE(renderer.MetadataWarning.isEmpty());
}

TEST(OverlayRenderer, UnlistedSizeAndPositionRenderLikeMediumAndCentre)
{
    TTempDir dir;
    const QString source = GrayPicture(dir, QStringLiteral("gray.jpg"), 320, 240);
    const auto render = [&](std::uint8_t sizeClass, std::uint8_t position) {
        TJPEGTextOverlay renderer;
        UseRedDejaVu(renderer, source);
        renderer.Settings.SizeClass = sizeClass;
        renderer.Settings.TextPosition = position;
        EXPECT_TRUE(renderer.ProcessFile());
        return PackedRows(renderer.WorkingBitmap());
    };
    const TBytes medium = render(1, 8);
    EXPECT_EQ(render(255, 8), medium);
    EXPECT_NE(render(0, 8), medium);
    const TBytes centre = render(1, 4);
    EXPECT_NE(centre, medium);
    EXPECT_EQ(render(1, 9), centre);
    EXPECT_EQ(render(1, 255), centre);
}

TEST(OverlayRenderer, ASmallPictureGetsTheDefaultHeightAndNoShadow)
{
    TTempDir dir;
    TJPEGTextOverlay renderer;
    UseRedDejaVu(renderer, GrayPicture(dir, QStringLiteral("strip.jpg"), 80, 16));
    renderer.Settings.Text = QStringLiteral("Hi");
    renderer.Settings.TextPosition = 0;
    ASSERT_TRUE(renderer.ProcessFile());
    EXPECT_EQ(renderer.WorkingBitmap().Canvas().Font().Size(), 0);
    EXPECT_EQ(renderer.WorkingBitmap().Canvas().Font().Height(), 0);
    const TInk ink = MeasureInk(renderer.WorkingBitmap());
    EXPECT_FALSE(ink.Colour.Empty());
    EXPECT_TRUE(ink.Shadow.Empty()) << "the coloured copy covers the shadow exactly";
}

TEST(OverlayRenderer, EmptyTextStillReencodesAtQuality90)
{
    TTempDir dir;
    const QString source =
        dir.Write(QStringLiteral("photo.jpg"), MakeJpeg({ .Width = 120, .Height = 90, .Quality = 50 }));
    TJPEGImage original;
    original.LoadJpegFile(source);
    const TBytes decoded = PackedRows(original.DecodedBitmap());

    TJPEGTextOverlay renderer;
    UseRedDejaVu(renderer, source);
    renderer.Settings.Text.clear();
    renderer.SaveOutput = true;
    renderer.OutputFile = dir.File(QStringLiteral("out.jpg"));
    ASSERT_TRUE(renderer.ProcessFile());
    EXPECT_EQ(PackedRows(renderer.WorkingBitmap()), decoded) << "nothing drawn";
    EXPECT_EQ(ReadBytes(renderer.OutputFile), ReferenceEncoding(renderer.WorkingBitmap(), 90));
}

TEST(OverlayRenderer, OutputOverTheSourceReplacesIt)
{
    TTempDir dir;
    const QString source = GrayPicture(dir, QStringLiteral("gray.jpg"), 200, 100);
    const TBytes before = ReadBytes(source);
    TJPEGTextOverlay renderer;
    UseRedDejaVu(renderer, source);
    renderer.SaveOutput = true;
    renderer.OutputFile = source;
    ASSERT_TRUE(renderer.ProcessFile());
    EXPECT_NE(ReadBytes(source), before);
    EXPECT_EQ(ReadBytes(source), ReferenceEncoding(renderer.WorkingBitmap(), 90));
}

TEST(OverlayRenderer, FailuresNameTheFile)
{
    TTempDir dir;
    const QString output = dir.File(QStringLiteral("out.jpg"));
    const auto process = [&](const QString &source, const QString &destination) {
        TJPEGTextOverlay renderer;
        UseRedDejaVu(renderer, source);
        renderer.SaveOutput = true;
        renderer.OutputFile = destination;
        (void)renderer.ProcessFile();
    };

    // A 0-byte file loads as a 0 by 0 picture; the draw then fails in the codec, unwrapped.
    const QString empty = dir.Write(QStringLiteral("empty.jpg"), {});
    try {
        process(empty, output);
        ADD_FAILURE() << "nothing raised";
    } catch (const EOverlayException &error) {
        ADD_FAILURE() << "wrapped: " << error.what();
    } catch (const EJPEG &error) {
        EXPECT_TRUE(error.Message().startsWith(QStringLiteral("JPEG error #"))) << error.what();
    }

    const QString text = dir.WriteText(QStringLiteral("notes.jpg"), "not a picture\n");
    try {
        process(text, output);
        ADD_FAILURE() << "nothing raised";
    } catch (const EOverlayException &error) {
        EXPECT_TRUE(error.Message().startsWith(QStringLiteral("Error opening %1 - Error: ").arg(text))) << error.what();
    }
    EXPECT_FALSE(QFile::exists(output));

    const QString photo = GrayPicture(dir, QStringLiteral("gray.jpg"), 64, 48);
    const QString missing = dir.File(QStringLiteral("missing/out.jpg"));
    try {
        process(photo, missing);
        ADD_FAILURE() << "nothing raised";
    } catch (const EOverlayException &error) {
        EXPECT_EQ(error.Message(),
            QStringLiteral("Error saving %1 - Error: Cannot create file %1: No such file or directory").arg(missing));
    }
}

} // namespace
} // namespace vellumar
