#include "engine/dry_run.h"

#include <filesystem>
#include <system_error>

#include "engine/batch_run.h"
#include "engine/img_utils.h"
#include "engine/job_settings.h"
#include "engine/run_plan.h"
#include "engine/source_list.h"
#include "imaging/file_io.h"
#include "imaging/jpeg_bridge.h"
#include "imaging/jpeg_image.h"
#include "imaging/jpeg_metadata.h"
#include "imaging/native_name.h"
#include "imaging/orientation.h"

namespace vellumar
{

namespace
{

bool SameFile(const QString &first, const QString &second)
{
    std::error_code error;
    return std::filesystem::equivalent(ToPath(first), ToPath(second), error) && !error;
}

} // namespace

TDryRun PlanDryRun(const TJobSource &job, TShard shard)
{
    TDryRun dryRun;
    dryRun.DestinationFolder = job.DestinationFolder();
    const TRunPlan plan = PlanRun(job);
    dryRun.Clashes = plan.Clashes;
    const QString folder = job.SourceFolder();
    const QStringList names = job.SourceNames();
    const bool resize = job.ResizeOn();
    // A renamed copy never decodes: a photo it cannot read is still copied.
    const bool decodes = resize || job.OverlayOn();
    const double scale = ScaleFromPercent(job.ResizePercent());
    const TResizeOptions options = job.ResizeOptions();
    const bool autoOrient = job.AutoOrient();
    for (int position = 0; position < int(names.size()); ++position) {
        if (!shard.Contains(position))
            continue;
        const TPlannedOutput &output = plan.Outputs[std::size_t(position)];
        TPlanRow row;
        row.Position = position;
        row.SourceName = names[position];
        row.OutputName = output.OutputName;
        if (!row.OutputName.isEmpty()) {
            const QString source = PathInFolder(folder, row.SourceName);
            try {
                TJPEGImage image;
                image.LoadJpegFile(source);
                row.SourceSize = TPixelSize { image.ImageWidth(), image.ImageHeight() };
                // The run writes the upright picture: a photo stored sideways is planned upright too.
                if (autoOrient
                    && OrientationSwapsSides(MarkersOrientation(ReadJpegStreamMarkers(image.CompressedData()))))
                    row.SourceSize = TPixelSize { row.SourceSize->Height, row.SourceSize->Width };
                row.PlannedSize = resize ? ReducedSize(*row.SourceSize, options, scale) : *row.SourceSize;
            } catch (const std::exception &error) {
                // The run would log this photo's error; the plan says so and goes on.
                if (decodes)
                    row.Problem = PathFromNative(error.what());
            }
            if (!output.OutputPath.isEmpty() && FileExists(output.OutputPath))
                row.Replaces = SameFile(output.OutputPath, source) ? TReplaces::OwnSource : TReplaces::ExistingFile;
        }
        dryRun.Rows.push_back(row);
    }
    return dryRun;
}

QString ReplacesText(TReplaces replaces)
{
    switch (replaces) {
    case TReplaces::Nothing:
        break;
    case TReplaces::ExistingFile:
        return QStringLiteral("an existing file");
    case TReplaces::OwnSource:
        return QStringLiteral("its own source");
    }
    return {};
}

} // namespace vellumar
