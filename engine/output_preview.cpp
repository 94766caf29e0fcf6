#include "engine/output_preview.h"

#include <cmath>

#include "engine/batch_run.h"
#include "engine/job_settings.h"
#include "engine/source_list.h"
#include "imaging/bitmap.h"
#include "imaging/file_io.h"
#include "imaging/jpeg_bridge.h"
#include "imaging/jpeg_image.h"
#include "imaging/native_name.h"

namespace vellumar
{

TImageOutput MakeOutput(const TImageTask &task)
{
    const TPhotoOptions photo { .AutoOrient = task.AutoOrient,
        .Metadata = task.Metadata,
        .OverlayQuality = task.OverlayQuality };
    if (task.Resize)
        return ReduceJpeg(task.SourcePath,
            task.Quality,
            ScaleFromPercent(task.ResizePercent),
            task.Overlay ? &task.OverlaySettings : nullptr,
            task.ResizeOptions,
            photo);
    if (task.Overlay)
        return OverlayJpeg(task.SourcePath, task.DestinationPath, task.OverlaySettings, photo);
    TImageOutput copy;
    if (task.Copies())
        copy.Bytes = CopiedBytes(task.SourcePath);
    return copy;
}

TOutputPreview MakeOutputPreview(const TImageTask &task,
    const std::vector<TImageTask> &samples,
    std::int64_t listedSourceBytes,
    int listed,
    const TCancelled &cancelled)
{
    TOutputPreview preview;
    preview.SourceName = task.ListedName;
    preview.ListedPhotos = listed;
    preview.SourceBytes = std::max<qint64>(RegularFileSize(task.SourcePath), 0);
    try {
        TJPEGImage source;
        source.LoadJpegFile(task.SourcePath);
        preview.Source = source.TakeBitmap().Image24();
        preview.SourceSize = TPixelSize { preview.Source.width(), preview.Source.height() };
    } catch (const std::exception &error) {
        preview.Problem = PathFromNative(error.what());
    }
    if (cancelled())
        return preview;
    try {
        TImageOutput output = MakeOutput(task);
        if (!output.Bytes.empty()) {
            preview.Output = DecodeJpegStream(output.Bytes, false).Image24();
            preview.OutputSize = TPixelSize { preview.Output.width(), preview.Output.height() };
        }
        preview.OutputBytes = std::move(output.Bytes);
        preview.Problem.clear();
    } catch (const std::exception &error) {
        preview.Problem = PathFromNative(error.what());
    }
    std::int64_t sampledSource = 0;
    std::int64_t sampledOutput = 0;
    for (const TImageTask &sample : samples) {
        if (cancelled())
            return preview;
        try {
            const std::int64_t output = sample.SourcePath == task.SourcePath
                ? std::int64_t(preview.OutputBytes.size())
                : std::int64_t(MakeOutput(sample).Bytes.size());
            sampledSource += std::max<qint64>(RegularFileSize(sample.SourcePath), 0);
            sampledOutput += output;
            ++preview.SampledPhotos;
        } catch (const std::exception &) {
            // A photo that fails is written by no run; the estimate stands on the others.
            continue;
        }
    }
    if (sampledSource > 0)
        preview.EstimatedRunBytes =
            std::int64_t(double(listedSourceBytes) * double(sampledOutput) / double(sampledSource));
    return preview;
}

std::vector<int> SamplePositions(int count)
{
    constexpr int kSamples = 5;
    std::vector<int> positions;
    for (int k = 0; k < std::min(kSamples, count); ++k) {
        // The middle of each fifth of the listing, so that no end of a sorted folder dominates.
        const int position = int((std::int64_t(2) * k + 1) * count / (std::int64_t(2) * std::min(kSamples, count)));
        if (positions.empty() || positions.back() != position)
            positions.push_back(position);
    }
    return positions;
}

QString ByteSizeText(std::int64_t bytes)
{
    if (bytes < std::int64_t(1000) * 1000)
        return QStringLiteral("%1 bytes").arg(bytes);
    const double megabytes = double(bytes) / 1e6;
    if (megabytes < 10)
        return QStringLiteral("%1 MB").arg(megabytes, 0, 'f', 1);
    if (megabytes < 10000)
        return QStringLiteral("%1 MB").arg(std::llround(megabytes));
    return QStringLiteral("%1 GB").arg(megabytes / 1000, 0, 'f', 1);
}

} // namespace vellumar
