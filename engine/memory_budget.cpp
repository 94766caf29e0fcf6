#include "engine/memory_budget.h"

#include <algorithm>

#include <unistd.h>

#include "engine/job_settings.h"

namespace vellumar
{

namespace
{

constexpr std::uint64_t kMiB = std::uint64_t(1) << 20;
constexpr std::uint64_t kMaxDefaultBudget = 2048 * kMiB;
// libjpeg's row buffers and tables, Qt's font cache and the program itself.
constexpr std::uint64_t kAllowance = 24 * kMiB;

} // namespace

std::uint64_t EstimateImageMemory(std::uint64_t fileBytes, const TJpegHeaderFacts &facts, const TImageWork &work)
{
    const std::uint64_t width = std::uint64_t(std::max(facts.Width, 0));
    const std::uint64_t height = std::uint64_t(std::max(facts.Height, 0));
    std::uint64_t bytes = kAllowance + fileBytes + facts.CoefficientBytes;
    if (work.Scale > 0.0 && work.Scale < 1.0) {
        // Decoded row by row: only the reduced frame is held, a second while it is turned upright. An overlay
        // after the reduction decodes the reduced photo again.
        const std::uint64_t frame = std::uint64_t(std::max(FloorTimesScale(int(width), work.Scale), 0))
            * std::uint64_t(std::max(FloorTimesScale(int(height), work.Scale), 0)) * 3;
        bytes += frame + frame / 2 + (work.Upright ? frame : 0) + (work.Overlay ? 2 * frame : 0);
    } else if (work.Overlay) {
        // The whole frame, turned upright while it is decoded; a gray photo is decoded to 8 bits and then
        // widened to 24. The encoded output is well below a quarter of the frame at quality 90.
        const std::uint64_t frame = width * height * (facts.Grayscale ? 4 : 3);
        bytes += frame + frame / 4;
    }
    return bytes;
}

std::uint64_t DefaultMemoryBudget()
{
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return kMaxDefaultBudget;
    return std::min(kMaxDefaultBudget, std::uint64_t(pages) * std::uint64_t(pageSize) / 2);
}

std::uint64_t EstimateTaskMemory(const TImageTask &task)
{
    const TPhotoFacts &facts = task.Facts;
    // Not opened (missing, or not a regular file): the image fails at once.
    if (facts.FileBytes < 0)
        return kAllowance;
    const auto fileBytes = std::uint64_t(facts.FileBytes);
    // Not a readable header: the image fails at once, holding at most its file.
    if (!facts.Read)
        return kAllowance + fileBytes;
    TImageWork work { .Overlay = task.Overlay, .Upright = task.TurnsUpright };
    if (task.Resize && task.SourceSize && task.PlannedSize) {
        // A long edge or a box gives its own scale, on the upright sides the planner sized; a photo already small
        // enough is written at its size.
        const TPixelSize upright = *task.SourceSize;
        const TPixelSize planned = *task.PlannedSize;
        const double scale = task.ResizeOptions.Mode == TSizeMode::Percent
            ? ScaleFromPercent(task.ResizePercent)
            : double(std::max(planned.Width, planned.Height)) / std::max({ upright.Width, upright.Height, 1 });
        work.Scale = std::clamp(scale, 0.001, 0.999999);
    }
    return EstimateImageMemory(fileBytes, facts.Header, work);
}

} // namespace vellumar
