#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/memory_budget.h"

namespace vellumar
{
namespace
{

TEST(MemoryGate, AdmitsInOrderWithinTheBudgetAndABigImageAlone)
{
    constexpr std::uint64_t kBudget = 100;
    const std::vector<std::uint64_t> estimates { 60, 30, 60, 250, 10, 10, 90, 5, 100, 40, 70, 20 };
    TMemoryGate gate(kBudget);
    std::mutex mutex;
    std::uint64_t inFlight = 0;
    int running = 0;
    bool withinBudget = true;
    std::vector<std::size_t> admitted;
    std::atomic<std::size_t> next { 0 };

    const auto worker = [&] {
        for (std::size_t i = next++; i < estimates.size(); i = next++) {
            gate.Acquire(i, estimates[i]);
            {
                const std::lock_guard lock(mutex);
                admitted.push_back(i);
                inFlight += estimates[i];
                ++running;
                withinBudget = withinBudget && (inFlight <= kBudget || running == 1);
            }
            std::this_thread::yield();
            {
                const std::lock_guard lock(mutex);
                inFlight -= estimates[i];
                --running;
            }
            gate.Release(estimates[i]);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(worker);
    for (std::thread &thread : threads)
        thread.join();

    EXPECT_TRUE(withinBudget);
    ASSERT_EQ(admitted.size(), estimates.size());
    for (std::size_t i = 0; i < admitted.size(); ++i)
        EXPECT_EQ(admitted[i], i);
}

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
