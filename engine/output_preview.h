#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QImage>
#include <QString>

#include "engine/img_utils.h"
#include "engine/pixel_size.h"

namespace vellumar
{

/** The real output of one photo, made in memory as a run would make it, and what a whole run would write. */
struct TOutputPreview {
    QString SourceName;
    QImage Source;
    QImage Output;
    std::optional<TPixelSize> SourceSize;
    std::optional<TPixelSize> OutputSize;
    std::int64_t SourceBytes = 0;
    /** The output file's bytes, exactly those a run would write. */
    std::vector<std::uint8_t> OutputBytes;
    /** The whole run's output, scaled up from the sampled photos; empty when none could be made. */
    std::optional<std::int64_t> EstimatedRunBytes;
    int SampledPhotos = 0;
    int ListedPhotos = 0;
    /** Why no output could be made (the run's error line for the photo); empty on success. */
    QString Problem;
};

/** Asked between steps; true when the preview is no longer wanted. */
using TCancelled = std::function<bool()>;

struct TImageTask;

/**
 * The output file of task made in memory by the very functions the run writes with: the same bytes.
 * Empty bytes when the task writes nothing. Throws what the run's step would log.
 */
[[nodiscard]] TImageOutput MakeOutput(const TImageTask &task);

/**
 * The preview of task, with the whole run's output size estimated from samples (tasks of other photos)
 * as listedSourceBytes times their output-to-source byte ratio. Stops early, with what it has, once
 * cancelled says so. A failure of task's own output becomes Problem; a sample that fails is left out.
 */
[[nodiscard]] TOutputPreview MakeOutputPreview(const TImageTask &task,
    const std::vector<TImageTask> &samples,
    std::int64_t listedSourceBytes,
    int listed,
    const TCancelled &cancelled);

/** Up to five listing positions spread evenly over a listing of count photos, for the size estimate. */
[[nodiscard]] std::vector<int> SamplePositions(int count);

/** "716050 bytes", "1.4 MB", "86 MB", "12.3 GB": a byte size for people, in powers of 1000. */
[[nodiscard]] QString ByteSizeText(std::int64_t bytes);

} // namespace vellumar
