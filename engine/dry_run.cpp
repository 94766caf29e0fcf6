#include "engine/dry_run.h"

#include <filesystem>
#include <system_error>

#include "engine/image_plan.h"
#include "engine/run_plan.h"
#include "engine/source_list.h"
#include "imaging/file_io.h"
#include "imaging/native_name.h"
#include "imaging/photo_facts.h"

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

TDryRun PlanDryRun(const TJob &job, TShard shard, const std::vector<TOtherOutput> &others)
{
    TDryRun dryRun;
    dryRun.DestinationFolder = job.DestinationFolder;
    const TRunPlan plan = PlanRun(job, others);
    dryRun.Clashes = plan.Clashes;
    for (int position = 0; position < int(job.SourceNames.size()); ++position) {
        if (!shard.Contains(position))
            continue;
        const TPlannedOutput &output = plan.Outputs[std::size_t(position)];
        TPlanRow row;
        row.Position = position;
        row.SourceName = job.SourceNames[position];
        row.OutputName = output.OutputName;
        row.Skipped = output.Skipped;
        if (!row.OutputName.isEmpty() && !row.Skipped) {
            // A renamed copy reads the header too, for the sizes it shows.
            const TImageTask task =
                PlanImageTask(job, position, ReadPhotoFacts(PathInFolder(job.SourceFolder, row.SourceName)));
            const QString &source = task.SourcePath;
            row.SourceSize = task.SourceSize;
            row.PlannedSize = task.PlannedSize;
            row.Variants = task.Variants;
            // The run would log this photo's error; the plan says so and goes on. A renamed copy never decodes:
            // a photo it cannot read is still copied.
            if (task.Decodes())
                row.Problem = task.Facts.Problem;
            if (!output.OutputPath.isEmpty() && FileExists(output.OutputPath))
                row.Replaces = SameFile(output.OutputPath, source) ? TReplaces::OwnSource : TReplaces::ExistingFile;
        }
        dryRun.Rows.push_back(row);
    }
    return dryRun;
}

QString SkippedText()
{
    return QStringLiteral("skipped: it exists");
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
