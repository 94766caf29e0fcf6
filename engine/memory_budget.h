#pragma once

// How much memory one image's work takes, told from its header before any pixel is decoded, and the gate that
// lets images into a parallel run only while their estimates fit a budget.

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "imaging/jpeg_bridge.h"

namespace vellumar
{

/** The work one image gets, as far as its memory depends on it. */
struct TImageWork {
    /** The reduction's scale (0 < Scale < 1); 1 for none. */
    double Scale = 1.0;
    bool Overlay = false;
    /** The picture is turned upright (an orientation other than 1). */
    bool Upright = false;
};

/**
 * Peak bytes for work on an image whose file has fileBytes and whose header says facts: the file, libjpeg's
 * coefficients for a multi-scan stream, the frames held (the reduced frame, or the whole frame at 3 bytes a
 * pixel, 4 for gray) and the encoded output, plus a fixed allowance for libjpeg's and Qt's own buffers.
 * Errs on the high side.
 */
[[nodiscard]] std::uint64_t
EstimateImageMemory(std::uint64_t fileBytes, const TJpegHeaderFacts &facts, const TImageWork &work);

/** Half of the machine's physical memory, at most 2 GiB (and 2 GiB when it cannot be told). */
[[nodiscard]] std::uint64_t DefaultMemoryBudget();

/**
 * Admits images in their order while the estimates of those in flight stay within the budget; an image whose
 * estimate alone exceeds the budget waits until nothing is in flight and then runs alone. Thread-safe.
 */
class TMemoryGate
{
public:
    explicit TMemoryGate(std::uint64_t budget)
        : mBudget(budget)
    {
    }
    /**
     * Blocks until image number order (0, 1, 2, ... each exactly once, from any thread) may start with bytes.
     * Images are admitted in their order, so a large image is never passed by later small ones.
     */
    void Acquire(std::size_t order, std::uint64_t bytes);
    /** The image that was admitted with bytes is done. */
    void Release(std::uint64_t bytes);

private:
    std::mutex mMutex;
    std::condition_variable mChanged;
    std::uint64_t mBudget;
    std::uint64_t mInFlight = 0;
    std::size_t mRunning = 0;
    std::size_t mNext = 0;
};

} // namespace vellumar
