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

// Tried names beside a taken output, NAME-2 up to this; a folder holding them all refuses the photo.
constexpr int kMaxRenameNumber = 9999;

// "NAME-n.ext" for "NAME.ext"; a name without an extension (or only a leading dot) takes "-n" at its end.
QString NumberedName(const QString &name, int number)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const qsizetype at = dot > 0 ? dot : name.size();
    return name.left(at) + QStringLiteral("-%1").arg(number) + name.mid(at);
}

// What the job does where the output's place is taken: nothing, skip, or the first free numbered name.
void ApplyExisting(TImageTask &task, const TJob &job, const QString &folder, const TTakenPlace &taken)
{
    if (job.Existing == TExisting::Replace || !taken || !task.Writes() || !task.Refusal.isEmpty()
        || !taken(task.DestinationPath))
        return;
    if (job.Existing == TExisting::Skip) {
        task.SkipsExisting = true;
        return;
    }
    const QString name = task.OutputName.mid(folder.size());
    for (int number = 2; number <= kMaxRenameNumber; ++number) {
        const QString output = folder + NumberedName(name, number);
        const QString path = PathInFolder(job.DestinationFolder, output);
        if (!taken(path)) {
            task.OutputName = output;
            task.DestinationPath = path;
            return;
        }
    }
    task.Refusal = CannotCreateFileText(task.DestinationPath,
        QStringLiteral("it exists, and so does every name up to %1").arg(NumberedName(name, kMaxRenameNumber)));
}

TImageTask PlanWithoutFacts(const TJob &job, int position, const TTakenPlace &taken)
{
    TImageTask task;
    task.ListedName = job.SourceNames.value(position);
    // A photo of a subfolder goes to the same folder under the destination.
    const QString folder = task.ListedName.left(task.ListedName.lastIndexOf(QLatin1Char('/')) + 1);
    task.SourcePath = PathInFolder(job.SourceFolder, task.ListedName);
    task.Rename = job.Rename;
    task.Resize = job.Resize;
    task.Overlay = job.Overlay;
    task.ResizePercent = job.ResizePercent;
    task.ResizeOptions = job.ResizeOptions;
    task.Quality = job.Quality;
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
        // It would leave its folder.
        if (task.OutputName.contains(QLatin1Char('/')) || task.OutputName.contains(QChar(0)))
            task.Refusal = CannotCreateFileText(PathInFolder(job.DestinationFolder, folder + task.OutputName),
                QStringLiteral("a file name cannot hold \"/\""));
        task.OutputName.prepend(folder);
    }
    task.DestinationPath = PathInFolder(job.DestinationFolder, task.OutputName);
    if (task.Writes() && job.DestinationFolder.isEmpty())
        task.Refusal = QStringLiteral("No destination folder is chosen.");
    ApplyExisting(task, job, folder, taken);
    return task;
}

} // namespace

TImageTask PlanImageTask(const TJob &job, int position, const TPhotoFacts &facts, const TTakenPlace &taken)
{
    TImageTask task = PlanWithoutFacts(job, position, taken);
    AddFacts(task, facts);
    return task;
}

TImageTask PlanImageTask(const TJob &job, int position, const TFactsReader &read, const TTakenPlace &taken)
{
    TImageTask task = PlanWithoutFacts(job, position, taken);
    // A skipped photo is not read at all.
    if (task.Decodes() && !task.SkipsExisting)
        AddFacts(task, read(task.SourcePath));
    return task;
}

} // namespace vellumar
