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

/**
 * The real output of one photo, made in memory as a run would make it, beside its source, and what a whole run
 * would write. Both pictures are upright as a viewer shows them (each turned by its own EXIF orientation) and
 * ready to draw (QImage::Format_RGB32).
 */
struct TOutputPreview {
    QString SourceName;
    /** The source decoded at a reduced scale that still holds at least the output's pixels. */
    QImage Source;
    QImage Output;
    /** Full upright sizes. */
    std::optional<TPixelSize> SourceSize;
    std::optional<TPixelSize> OutputSize;
    /** The scene's size at 100 %: the output's upright size, as planned from the source until it is made. */
    std::optional<TPixelSize> SceneSize;
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
 * The source's side of preview: its name, byte size, upright size and picture. Quick: the picture is decoded
 * at the smallest DCT scale that reaches the size task writes, since the preview never shows the scene larger.
 * A source that cannot be read becomes Problem.
 */
void AddSourceView(TOutputPreview &preview, const TImageTask &task);

/** The output's side of preview: task's output made as the run makes it (MakeOutput); a failure becomes Problem. */
void AddOutputView(TOutputPreview &preview, const TImageTask &task);

/**
 * The whole run's output size estimated from samples (tasks of other photos) as listedSourceBytes times their
 * output-to-source byte ratio, a sample of task's own photo taking preview's output. Stops early, with what it
 * has, once cancelled says so; a sample that fails is left out.
 */
void AddRunEstimate(TOutputPreview &preview,
    const TImageTask &task,
    const std::vector<TImageTask> &samples,
    std::int64_t listedSourceBytes,
    int listed,
    const TCancelled &cancelled);

/** All of the above in turn: the preview of task. Stops early, with what it has, once cancelled says so. */
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
