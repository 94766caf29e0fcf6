#include <gtest/gtest.h>
#include <sys/stat.h>

#include "engine/batch_run.h"
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

// A listed name replaced by a FIFO must not block the run in its estimate; a stub is no reason to wait.
TEST(MemoryBudget, ANonRegularSourceIsEstimatedWithoutOpeningIt)
{
    const test::TTempDir dir;
    TImageTask task;
    task.SourcePath = dir.File(QStringLiteral("fifo.jpg"));
    ASSERT_EQ(::mkfifo(task.SourcePath.toUtf8().constData(), 0600), 0);
    EXPECT_LT(EstimateTaskMemory(task), 64ull << 20);
}

} // namespace
} // namespace vellumar
