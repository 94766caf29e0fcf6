#pragma once

// How much memory one image's work takes, told from its header before any pixel is decoded, so that a parallel
// run starts images only while their estimates fit a budget.

#include <cstdint>

#include "engine/batch_run.h"
#include "imaging/jpeg_bridge.h"

namespace vellumar
{

/** The work one image gets, as far as its memory depends on it. */
struct TImageWork {
    /** The reduction's scale (0 < Scale < 1); 1 for none. */
    double Scale = 1.0;
    bool Overlay = false;
    /** The reduced picture is turned upright afterwards (the task turns a photo whose orientation is not 1). */
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
 * EstimateImageMemory for a planned image: its facts' file size and header, and the work the planner chose
 * (scale from the upright sizes, turning upright). A file whose header could not be read is estimated at its
 * size plus the allowance (it fails before it decodes anything). Throws nothing.
 */
[[nodiscard]] std::uint64_t EstimateTaskMemory(const TImageTask &task);

} // namespace vellumar
