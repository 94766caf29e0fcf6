#include "engine/scheduler.h"

#include <algorithm>
#include <memory>
#include <utility>

namespace vellumar
{

TScheduler::TScheduler(int slots, std::uint64_t budget)
    : mSlots(std::max(1, slots))
    , mBudget(budget)
{
    if (mSlots > 1) {
        mThreads.reserve(std::size_t(mSlots));
        for (int i = 0; i < mSlots; ++i)
            mThreads.emplace_back(&TScheduler::Work, this);
    }
}

TScheduler::~TScheduler()
{
    {
        const std::lock_guard lock(mMutex);
        mQuit = true;
    }
    mWorkReady.notify_all();
    for (std::thread &thread : mThreads)
        thread.join();
}

void TScheduler::Work()
{
    for (;;) {
        TEntry *entry = nullptr;
        {
            std::unique_lock lock(mMutex);
            mWorkReady.wait(lock, [this] {
                return mQuit || !mQueue.empty();
            });
            if (mQueue.empty())
                return;
            entry = mQueue.front();
            mQueue.pop_front();
        }
        try {
            entry->Item.Work();
        } catch (...) {
            // Carried to the calling thread, which throws it in the item's turn.
            entry->Error = std::current_exception();
        }
        {
            const std::lock_guard lock(mMutex);
            entry->Done = true;
            --mRunning;
            mInFlight -= entry->Item.Estimate;
        }
        mFinished.notify_all();
    }
}

void TScheduler::WaitForRunningItems()
{
    std::unique_lock lock(mMutex);
    mFinished.wait(lock, [this] {
        return mRunning == 0;
    });
}

void TScheduler::Run(const TNext &next, const TDeliver &deliver)
{
    const std::size_t window = std::size_t(mSlots) * 4;
    // Started items in order, delivered from the front; an item asked for that has not started yet.
    std::deque<std::unique_ptr<TEntry>> held;
    std::unique_ptr<TEntry> waiting;
    // However Run ends, the workers are done with the entries before these go away.
    struct TWait {
        TScheduler &Scheduler;
        ~TWait() { Scheduler.WaitForRunningItems(); }
    } const wait { *this };
    bool ended = false;
    int delivered = 0;
    // Under the mutex: whether the waiting item may start beside the running ones (or alone).
    const auto fits = [&] {
        return mRunning < mSlots && (mRunning == 0 || mInFlight + waiting->Item.Estimate <= mBudget);
    };
    for (;;) {
        while (held.size() < window && (waiting || !ended)) {
            if (!waiting) {
                {
                    const std::lock_guard lock(mMutex);
                    if (mRunning >= mSlots)
                        break;
                }
                std::optional<TItem> item = next();
                if (!item) {
                    ended = true;
                    break;
                }
                waiting = std::make_unique<TEntry>();
                waiting->Item = std::move(*item);
            }
            if (mThreads.empty()) {
                waiting->Item.Work();
                waiting->Done = true;
                held.push_back(std::exchange(waiting, nullptr));
                break;
            }
            {
                const std::lock_guard lock(mMutex);
                if (!fits())
                    break;
                ++mRunning;
                mInFlight += waiting->Item.Estimate;
                mQueue.push_back(waiting.get());
            }
            mWorkReady.notify_one();
            held.push_back(std::exchange(waiting, nullptr));
        }
        if (held.empty()) {
            // Nothing runs: a waiting item starts alone on the next pass.
            if (!waiting)
                return;
            continue;
        }
        TEntry &front = *held.front();
        {
            std::unique_lock lock(mMutex);
            const bool mayAsk = !waiting && !ended && held.size() < window;
            const bool mayStart = waiting && held.size() < window;
            mFinished.wait(lock, [&] {
                return front.Done || (mayAsk && mRunning < mSlots) || (mayStart && fits());
            });
            if (!front.Done)
                continue;
        }
        const std::unique_ptr<TEntry> done = std::move(held.front());
        held.pop_front();
        if (done->Error)
            std::rethrow_exception(done->Error);
        deliver(delivered++);
    }
}

} // namespace vellumar
