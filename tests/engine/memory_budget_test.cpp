#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/batch_run.h"
#include "engine/image_plan.h"
#include "engine/memory_budget.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

TEST(MemoryBudget, EstimatesFollowTheFramesHeld)
{
    TJpegHeaderFacts photo;
    photo.Width = 11648;
    photo.Height = 8736;
    const std::uint64_t frame = 11648ull * 8736 * 3;
    const std::uint64_t overlay = EstimateImageMemory(20'000'000, photo, { .Overlay = true });
    const std::uint64_t half = EstimateImageMemory(20'000'000, photo, { .Scale = 0.5 });
    EXPECT_GT(overlay, frame + 20'000'000);
    EXPECT_LT(overlay, 1024ull << 20);
    EXPECT_GT(half, frame / 4);
    EXPECT_LT(half, overlay / 2);
    EXPECT_LE(DefaultMemoryBudget(), 2048ull << 20);
}

// A photo stored sideways is reduced on its upright sides: its estimate is that of the same upright picture
// stored turned half round (which keeps the sides), for a long edge and for a box to fit.
TEST(MemoryBudget, ReductionsAreSizedOnTheUprightSides)
{
    TJob job;
    job.SourceNames = QStringList { QStringLiteral("a.jpg") };
    job.DestinationFolder = QStringLiteral("/out/");
    job.Resize = true;
    TPhotoFacts sideways;
    sideways.Read = true;
    sideways.FileBytes = 100'000;
    sideways.Orientation = TOrientation::Rotate90;
    sideways.Header.Width = 4000;
    sideways.Header.Height = 3000;
    TPhotoFacts halfRound = sideways;
    halfRound.Header.Width = 3000;
    halfRound.Header.Height = 4000;
    halfRound.Orientation = TOrientation::Rotate180;
    const struct {
        TResizeOptions Options;
        TPixelSize Planned;
    } cases[] {
        { { .Mode = TSizeMode::LongEdge, .LongEdge = 300 }, { 225, 300 } },
        { { .Mode = TSizeMode::Fit, .Box = { 300, 400 } }, { 300, 400 } },
    };
    for (const auto &c : cases) {
        job.ResizeOptions = c.Options;
        const TImageTask task = PlanImageTask(job, 0, sideways);
        EXPECT_EQ(task.PlannedSize, c.Planned);
        EXPECT_EQ(EstimateTaskMemory(task), EstimateTaskMemory(PlanImageTask(job, 0, halfRound)));
    }
}

// A listed name replaced by a FIFO must not block the run in its estimate; a stub is no reason to wait.
TEST(MemoryBudget, ANonRegularSourceIsEstimatedWithoutOpeningIt)
{
    const test::TTempDir dir;
    const QString path = dir.File(QStringLiteral("fifo.jpg"));
    ASSERT_EQ(::mkfifo(path.toUtf8().constData(), 0600), 0);
    TImageTask task;
    task.Resize = true;
    task.Facts = ReadPhotoFacts(path);
    EXPECT_LT(EstimateTaskMemory(task), 64ull << 20);
}

} // namespace
} // namespace vellumar
