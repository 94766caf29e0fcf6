#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vellumar
{

/**
 * Runs a sequence of items, several at once, in the order they come, within a memory budget: the next item
 * starts while a slot is free and the estimates of the running items, its own included, fit the budget; an
 * item whose estimate alone is larger waits for the others and runs alone. Each item is delivered on the
 * calling thread, in order, once its work is done; at most 4 × slots items are held undelivered, so a slow
 * item does not pile up the rest.
 *
 * With one slot the work runs inline on the calling thread. With more, on a fixed set of worker threads that
 * the scheduler owns for its lifetime: plain threads, never those of Qt's global pool, which draws only
 * large text (see TCanvas::DrawTextInRect).
 */
class TScheduler
{
public:
    struct TItem {
        /** Bytes the item is estimated to need while it runs. */
        std::uint64_t Estimate = 0;
        /** Its work; it must not touch what the calling thread uses until the item is delivered. */
        std::function<void()> Work;
    };
    /** Asked for the next item, on the calling thread; no item ends the sequence (the end, or a stop). */
    using TNext = std::function<std::optional<TItem>()>;
    /** Told, on the calling thread, that the item at this 0-based place in the sequence is done. */
    using TDeliver = std::function<void(int index)>;

    /** slots below 1 count as 1; budget in bytes. */
    TScheduler(int slots, std::uint64_t budget);
    ~TScheduler();
    TScheduler(const TScheduler &) = delete;
    TScheduler &operator=(const TScheduler &) = delete;

    /**
     * Asks next for items whenever one could start and runs them until next gives none; then delivers the
     * items that were started and returns. Once next has given none it is not asked again. An exception
     * from an item's work passes on when that item's turn to be delivered comes; one from next or deliver
     * at once. Either way the running items finish before Run returns or throws.
     */
    void Run(const TNext &next, const TDeliver &deliver);

private:
    struct TEntry {
        TItem Item;
        bool Done = false;
        std::exception_ptr Error;
    };

    void Work();
    void WaitForRunningItems();

    int mSlots;
    std::uint64_t mBudget;
    std::mutex mMutex;
    std::condition_variable mWorkReady;
    std::condition_variable mFinished;
    // Items started and not yet taken by a worker.
    std::deque<TEntry *> mQueue;
    int mRunning = 0;
    std::uint64_t mInFlight = 0;
    bool mQuit = false;
    std::vector<std::thread> mThreads;
};

} // namespace vellumar
