#include <cstdlib>

#include <QProcess>
#include <QStandardPaths>
#include <QTransform>

#include <gtest/gtest.h>

#include "engine/batch_run.h"
#include "engine/image_plan.h"
#include "engine/output_preview.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/photo_fixtures.h"
#include "tests/support/run_helpers.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeJpeg;
using test::ReadBytes;
using test::TJpegFixtureOptions;
using test::TTempDir;

TEST(OutputPreview, BytesEqualWhatTheRunWritesInEveryMode)
{
    struct TMode {
        const char *Name;
        bool Rename, Resize, Overlay;
        TResizeOptions Options;
        int Width;
        bool Upright = true;
        TMetadataMode Metadata = TMetadataMode::mmNone;
    };
    const TMode modes[] {
        { "copy", true, false, false, {}, 173 },
        { "resize", false, true, false, {}, 112 },
        { "overlay", false, false, true, {}, 173 },
        { "resize+overlay", true, true, true, {}, 112 },
        { "smooth long edge",
            false,
            true,
            false,
            { .Filter = TResizeFilter::Smooth, .Mode = TSizeMode::LongEdge, .LongEdge = 90 },
            90 },
        { "resize as stored, metadata kept", false, true, true, {}, 112, false, TMetadataMode::mmKeep },
    };
    const TTempDir dir;
    TJpegFixtureOptions photo;
    photo.Width = 173;
    photo.Height = 111;
    photo.Progressive = true;
    // Turned half round by their EXIF, which keeps the sides: every mode has the same widths either way.
    const std::vector<std::uint8_t> bytes =
        test::WithSegments(MakeJpeg(photo), { { 0xE1, test::MakeExif({ .Orientation = 3 }) } });
    dir.Write(QStringLiteral("a.jpg"), bytes);
    dir.Write(QStringLiteral("b.jpg"), bytes);
    for (const TMode &mode : modes) {
        TFixedJob job = test::MakeJob(dir.Path(), dir.File(QStringLiteral("out")) + QLatin1Char('/'));
        QDir().mkpath(dir.File(QStringLiteral("out")));
        job.Values().Rename = mode.Rename;
        job.Values().Resize = mode.Resize;
        job.Values().ResizePercent = 35;
        job.Values().Quality = 70;
        job.Values().Overlay = mode.Overlay;
        job.Values().ResizeOptions = mode.Options;
        job.Values().AutoOrient = mode.Upright;
        job.Values().Metadata = mode.Metadata;
        job.Values().Namer.SetNumber(41);
        const TImageTask task = PlanImageTask(job.Snapshot(), 1);
        const TOutputPreview preview = MakeOutputPreview(task, { PlanImageTask(job.Snapshot(), 0), task }, 2000, 2, [] {
            return false;
        });
        ASSERT_TRUE(preview.Problem.isEmpty()) << mode.Name << preview.Problem.toStdString();

        test::TRecordingSink sink;
        (void)RunBatch(job, sink);
        EXPECT_EQ(task.DestinationPath,
            dir.File(mode.Rename ? QStringLiteral("out/42.jpg") : QStringLiteral("out/b.jpg")));
        EXPECT_EQ(preview.OutputBytes, ReadBytes(task.DestinationPath)) << mode.Name;
        EXPECT_EQ(preview.OutputSize->Width, mode.Width) << mode.Name;
        // Two equal photos: the whole run writes twice the preview's bytes for 2000 bytes of sources
        // that are, sampled, twice the photo's size.
        EXPECT_EQ(*preview.EstimatedRunBytes,
            std::int64_t(2000.0 * double(2 * preview.OutputBytes.size()) / double(2 * preview.SourceBytes)));
        QDir(dir.File(QStringLiteral("out"))).removeRecursively();
    }
    EXPECT_EQ(SamplePositions(3), (std::vector<int> { 0, 1, 2 }));
    EXPECT_EQ(SamplePositions(100), (std::vector<int> { 10, 30, 50, 70, 90 }));
}

// ImageMagick's upright reading of a file, stretched to size: an oracle for the turn that shares no code with ours.
QImage MagickUpright(const QString &path, QSize size, const TTempDir &dir)
{
    const QString out = dir.File(QStringLiteral("oracle.png"));
    QProcess::execute(QStringLiteral("convert"),
        { path,
            QStringLiteral("-auto-orient"),
            QStringLiteral("-resize"),
            QStringLiteral("%1x%2!").arg(size.width()).arg(size.height()),
            out });
    return QImage(out).convertToFormat(QImage::Format_RGB32);
}

double MeanDifference(const QImage &a, const QImage &b)
{
    if (a.size() != b.size())
        return 255;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
        }
    return sum / (3.0 * a.width() * a.height());
}

// Both sides as a viewer shows them: upright by their own EXIF whatever the run does with the turn, the source
// decoded small but never below the output's size.
TEST(OutputPreview, BothSidesUprightAndTheSourceNoSmallerThanTheOutput)
{
    if (QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty())
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    struct TCase {
        int Orientation;
        bool AutoOrient;
        int Reduce; // 0: no reduction, the overlay only
        QSize Source;
    };
    // The photo is 96 x 64 as stored.
    const TCase cases[] {
        { 6, true, 50, { 32, 48 } }, // 4/8 of it is the output's size
        { 8, true, 70, { 24, 36 } }, // the output is 19 x 28: 3/8 is the least scale that reaches it
        { 3, true, 50, { 48, 32 } },
        { 6, false, 50, { 32, 48 } }, // written as stored with its EXIF kept: a viewer turns it
        { 1, true, 0, { 96, 64 } }, // a full-size output needs the full-size source
    };
    const TTempDir dir;
    for (const TCase &c : cases) {
        SCOPED_TRACE(c.Orientation * 1000 + c.Reduce * 10 + int(c.AutoOrient));
        TJpegFixtureOptions photo { .Width = 96, .Height = 64, .FullChroma = true };
        const QString source = dir.Write(QStringLiteral("in.jpg"),
            test::WithSegments(MakeJpeg(photo), { { 0xE1, test::MakeExif({ .Orientation = c.Orientation }) } }));
        TImageTask task;
        task.ListedName = QStringLiteral("in.jpg");
        task.SourcePath = source;
        task.Resize = c.Reduce > 0;
        task.ResizePercent = c.Reduce;
        task.Overlay = c.Reduce == 0;
        task.OverlaySettings.Text.clear();
        task.AutoOrient = c.AutoOrient;
        task.Metadata = c.AutoOrient ? TMetadataMode::mmNone : TMetadataMode::mmKeep;
        const TOutputPreview preview = MakeOutputPreview(task, {}, 0, 1, [] {
            return false;
        });
        ASSERT_TRUE(preview.Problem.isEmpty()) << preview.Problem.toStdString();
        EXPECT_EQ(preview.Source.size(), c.Source);
        const QImage sourceOracle = MagickUpright(source, preview.Source.size(), dir);
        EXPECT_LT(MeanDifference(preview.Source, sourceOracle), 6.0);
        const QString output = dir.Write(QStringLiteral("out.jpg"), preview.OutputBytes);
        EXPECT_LT(MeanDifference(preview.Output, MagickUpright(output, preview.Output.size(), dir)), 6.0);
        EXPECT_EQ(preview.Output.width() > preview.Output.height(), c.Source.width() > c.Source.height());
        // The oracle tells a turn from none: the stored picture read as it lies is far from it.
        if (c.Orientation != 1) {
            EXPECT_GT(
                MeanDifference(preview.Source.transformed(QTransform().rotate(90)).scaled(c.Source), sourceOracle),
                20.0);
        }
    }
}

} // namespace
} // namespace vellumar
