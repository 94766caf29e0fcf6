#include "engine/image_plan.h"

#include "engine/shard.h"
#include "engine/source_list.h"
#include "imaging/errors.h"
#include "imaging/orientation.h"

namespace vellumar
{

namespace
{

// What the photo's facts add to its task: the upright source size, the written size, the turn.
void AddFacts(TImageTask &task, const TPhotoFacts &facts)
{
    task.Facts = facts;
    if (!facts.Read)
        return;
    task.TurnsUpright = task.AutoOrient && facts.Orientation != TOrientation::Normal;
    const TPixelSize stored { facts.Header.Width, facts.Header.Height };
    task.SourceSize = task.AutoOrient && facts.SwapsSides() ? TPixelSize { stored.Height, stored.Width } : stored;
    task.PlannedSize = task.Resize
        ? ReducedSize(*task.SourceSize, task.ResizeOptions, ScaleFromPercent(task.ResizePercent))
        : *task.SourceSize;
}

TImageTask PlanWithoutFacts(const TJob &job, int position)
{
    TImageTask task;
    task.ListedName = job.SourceNames.value(position);
    task.SourcePath = PathInFolder(job.SourceFolder, task.ListedName);
    task.Rename = job.Rename;
    task.Resize = job.Resize;
    task.Overlay = job.Overlay;
    task.ResizePercent = job.ResizePercent;
    task.ResizeOptions = job.ResizeOptions;
    task.Quality = job.Quality;
    task.OverlayQuality = job.OverlayQuality;
    task.AutoOrient = job.AutoOrient;
    task.Metadata = job.Metadata;
    if (task.Overlay)
        task.OverlaySettings = job.OverlaySettings;
    task.OutputName = task.ListedName;
    if (task.Rename) {
        // Rename is one switch for the whole listing: every position before this one was renamed.
        TOutputNamer namer = job.Namer;
        task.Number = NumberAtPosition(namer.Number(), position);
        namer.SetNumber(task.Number);
        // The first photo takes the sample as the window shows it, even where the fields changed unseen.
        task.OutputName = position == 0 && !job.ShownSample.isEmpty() ? job.ShownSample : namer.SampleName();
    }
    task.DestinationPath = PathInFolder(job.DestinationFolder, task.OutputName);
    if (task.Writes()) {
        if (job.DestinationFolder.isEmpty())
            task.Refusal = QStringLiteral("No destination folder is chosen.");
        else if (task.OutputName.contains(QLatin1Char('/')) || task.OutputName.contains(QChar(0)))
            // It would leave the destination folder.
            task.Refusal = CannotCreateFileText(task.DestinationPath, QStringLiteral("a file name cannot hold \"/\""));
    }
    return task;
}

} // namespace

TImageTask PlanImageTask(const TJob &job, int position, const TPhotoFacts &facts)
{
    TImageTask task = PlanWithoutFacts(job, position);
    AddFacts(task, facts);
    return task;
}

TImageTask PlanImageTask(const TJob &job, int position, const TFactsReader &read)
{
    TImageTask task = PlanWithoutFacts(job, position);
    if (task.Decodes())
        AddFacts(task, read(task.SourcePath));
    return task;
}

} // namespace vellumar
