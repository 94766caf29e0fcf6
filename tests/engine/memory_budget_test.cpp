#include <gtest/gtest.h>

#include "engine/memory_budget.h"

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

} // namespace
} // namespace vellumar
