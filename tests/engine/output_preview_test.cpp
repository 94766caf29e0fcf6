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

} // namespace
} // namespace vellumar
