#include "engine/memory_budget.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include <QScopeGuard>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/job_settings.h"
#include "imaging/file_io.h"
#include "imaging/native_name.h"

namespace vellumar
{

namespace
{

constexpr std::uint64_t kMiB = std::uint64_t(1) << 20;
constexpr std::uint64_t kMaxDefaultBudget = 2048 * kMiB;
// libjpeg's row buffers and tables, Qt's font cache and the program itself.
constexpr std::uint64_t kAllowance = 24 * kMiB;
// Enough for the markers before the frame header of any photo, most of which are a few kilobytes.
constexpr qint64 kHeaderBytes = qint64(4) << 20;

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
    // Only a regular file is opened: a FIFO put in a photo's place would block the run here.
    if (!FileExists(task.SourcePath))
        return kAllowance;
    // Opened by its bytes on disk (NativePath), which Qt's file classes would not keep for every name.
    const int fd = ::open(NativePath(task.SourcePath).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return kAllowance;
    const auto closeFile = qScopeGuard([fd] {
        ::close(fd);
    });
    struct stat info {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return kAllowance;
    const auto fileBytes = std::uint64_t(std::max<off_t>(info.st_size, 0));
    QByteArray head(qsizetype(std::min<std::uint64_t>(fileBytes, kHeaderBytes)), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < head.size()) {
        const ssize_t part = ::read(fd, head.data() + got, std::size_t(head.size() - got));
        if (part < 0 && errno == EINTR)
            continue;
        if (part <= 0)
            break;
        got += part;
    }
    head.truncate(got);
    try {
        const TJpegHeaderFacts facts =
            ReadJpegStreamHeader(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t *>(head.constData()),
                std::size_t(head.size())));
        TImageWork work { .Overlay = task.Overlay, .Upright = task.AutoOrient };
        if (task.Resize) {
            // A long edge or a box gives its own scale; a photo already small enough is written at its size.
            const double percentScale = ScaleFromPercent(task.ResizePercent);
            const TPixelSize size = ReducedSize({ facts.Width, facts.Height }, task.ResizeOptions, percentScale);
            const double scale = task.ResizeOptions.Mode == TSizeMode::Percent
                ? percentScale
                : double(std::max(size.Width, size.Height)) / std::max({ facts.Width, facts.Height, 1 });
            work.Scale = std::clamp(scale, 0.001, 0.999999);
        }
        return EstimateImageMemory(fileBytes, facts, work);
    } catch (const std::exception &) {
        // Markers beyond the bytes read hide the frame's size: such a photo may be huge, so it runs alone.
        if (fileBytes > std::uint64_t(head.size()))
            return std::numeric_limits<std::uint64_t>::max() / 2;
        // Not a readable header: the image fails at once, holding at most its file.
        return kAllowance + fileBytes;
    }
}

} // namespace vellumar
