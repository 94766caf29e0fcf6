#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "engine/scheduler.h"

namespace vellumar
{
namespace
{

using namespace std::chrono_literals;

struct TScheduleCase {
    std::string Name;
    int Slots;
    std::uint64_t Budget;
    std::vector<std::uint64_t> Estimates;
    /** Items given before next gives none; -1: all. */
    int StopAfter = -1;
};

class Schedule : public ::testing::TestWithParam<TScheduleCase>
{
};

// Whatever the timing: never more than the slots, never over the budget unless alone, every started item
// delivered in order, nothing asked for after the end.
TEST_P(Schedule, KeepsItsBoundsAndDeliversInOrder)
{
    const TScheduleCase &c = GetParam();
    const int given = c.StopAfter < 0 ? int(c.Estimates.size()) : c.StopAfter;
    std::mutex mutex;
    int running = 0;
    std::uint64_t inFlight = 0;
    std::vector<std::string> faults;
    int asked = 0;
    int worked = 0;
    std::vector<int> delivered;
    const std::thread::id caller = std::this_thread::get_id();
    // An item notes any bound broken as it starts, and stays a moment so that others can run beside it.
    const auto work = [&](int index, std::uint64_t estimate) {
        {
            const std::lock_guard lock(mutex);
            ++running;
            inFlight += estimate;
            if (running > c.Slots || (running > 1 && inFlight > c.Budget))
                faults.push_back("bounds broken at item " + std::to_string(index));
            if ((c.Slots == 1) != (std::this_thread::get_id() == caller))
                faults.push_back("wrong thread for item " + std::to_string(index));
        }
        std::this_thread::sleep_for(2ms);
        const std::lock_guard lock(mutex);
        --running;
        inFlight -= estimate;
        ++worked;
    };
    TScheduler scheduler(c.Slots, c.Budget);
    scheduler.Run(
        [&]() -> std::optional<TScheduler::TItem> {
            const int index = asked++;
            if (index >= given)
                return std::nullopt;
            const std::uint64_t estimate = c.Estimates[std::size_t(index)];
            return TScheduler::TItem { .Estimate = estimate, .Work = [&work, index, estimate] {
                                          work(index, estimate);
                                      } };
        },
        [&](int index) {
            delivered.push_back(index);
        });
    EXPECT_EQ(faults, std::vector<std::string> {});
    EXPECT_EQ(asked, given + 1);
    EXPECT_EQ(worked, given);
    std::vector<int> expected;
    expected.reserve(std::size_t(given));
    for (int i = 0; i < given; ++i)
        expected.push_back(i);
    EXPECT_EQ(delivered, expected);
}

INSTANTIATE_TEST_SUITE_P(Scheduler,
    Schedule,
    ::testing::Values(TScheduleCase { "OneSlotInline", 1, 100, { 10, 10, 10 } },
        TScheduleCase { "Budget", 3, 100, { 60, 60, 30, 60, 10, 40, 50 } },
        TScheduleCase { "TooLargeRunsAlone", 2, 100, { 10, 500, 10, 10, 300, 10 } },
        TScheduleCase { "ManyItemsFewSlots", 2, 1000, std::vector<std::uint64_t>(40, 1) },
        TScheduleCase { "StopStartsNoNewItem", 3, 1000, { 10, 10, 10, 10, 10 }, 2 }),
    [](const ::testing::TestParamInfo<TScheduleCase> &param) {
        return param.param.Name;
    });

// The first item waits for the second to finish: they run at once, and the first is still delivered first.
// An item's failure is thrown in its turn, after the items before it are delivered.
TEST(Scheduler, LaterItemsFinishFirstAndAFailureComesInItsTurn)
{
    std::promise<void> secondDone;
    std::future<void> second = secondDone.get_future();
    bool firstSawSecond = false;
    std::vector<int> delivered;
    int asked = 0;
    TScheduler scheduler(2, 1000);
    const auto run = [&] {
        scheduler.Run(
            [&]() -> std::optional<TScheduler::TItem> {
                switch (asked++) {
                case 0:
                    return TScheduler::TItem { .Work = [&] {
                        firstSawSecond = second.wait_for(10s) == std::future_status::ready;
                    } };
                case 1:
                    return TScheduler::TItem { .Work = [&] {
                        secondDone.set_value();
                    } };
                case 2:
                    return TScheduler::TItem { .Work = [] {
                        throw std::runtime_error("broken");
                    } };
                default:
                    return std::nullopt;
                }
            },
            [&](int index) {
                delivered.push_back(index);
            });
    };
    EXPECT_THROW(run(), std::runtime_error);
    EXPECT_TRUE(firstSawSecond);
    EXPECT_EQ(delivered, (std::vector<int> { 0, 1 }));
}

} // namespace
} // namespace vellumar
