#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QImage>
#include <QString>

#include "engine/run_report.h"

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

/** Up to five listing positions spread evenly over a listing of count photos, for the size estimate. */
[[nodiscard]] std::vector<int> SamplePositions(int count);

/** "716050 bytes", "1.4 MB", "86 MB", "12.3 GB": a byte size for people, in powers of 1000. */
[[nodiscard]] QString ByteSizeText(std::int64_t bytes);

} // namespace vellumar
