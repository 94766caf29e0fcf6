#include "engine/image_plan.h"

#include "engine/name_template.h"
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
    task.AutoOrient = job.AutoOrient;
    task.Metadata = job.Metadata;
    task.Coding = job.Coding;
    task.MaxBytes = job.MaxBytes;
    task.MinQuality = job.MinQuality;
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
    return task;
}

// The tokens' values for the task's photo; what its facts do not tell stays empty.
TTokenValues TokenValues(const TJob &job, const TImageTask &task, int position)
{
    TTokenValues values;
    const qsizetype dot = task.ListedName.lastIndexOf(QLatin1Char('.'));
    values.Name = dot > 0 ? task.ListedName.left(dot) : task.ListedName;
    values.Number = TOutputNamer::FormatNumber(NumberAtPosition(job.Namer.Number(), position), job.Namer.Padding());
    const TPhotoFacts &facts = task.Facts;
    SetDateTokens(values, QString::fromStdString(facts.Exif.DateTimeOriginal), facts.ModifiedSeconds);
    values.Camera = QString::fromStdString(facts.Exif.Model).trimmed();
    if (task.PlannedSize) {
        values.Width = QString::number(task.PlannedSize->Width);
        values.Height = QString::number(task.PlannedSize->Height);
    }
    return values;
}

// The parts that follow the name and the facts: the templated name and overlay text, the paths, the variants and
// the refusal.
void Finish(const TJob &job, int position, TImageTask &task)
{
    const bool templated = task.Rename && !job.NameTemplate.isEmpty();
    if (templated || (task.Overlay && job.OverlayTokens)) {
        const TTokenValues values = TokenValues(job, task, position);
        if (templated)
            task.OutputName = FillTokens(job.NameTemplate, values, true) + QStringLiteral(".jpg");
        if (task.Overlay && job.OverlayTokens)
            task.OverlaySettings.Text = FillTokens(task.OverlaySettings.Text, values, false);
    }
    task.DestinationPath = PathInFolder(job.DestinationFolder, task.OutputName);
    for (const TOutputVariant &variant : job.Variants) {
        TVariantTask &planned = task.Variants.emplace_back();
        planned.Name = variant.Name;
        planned.DestinationPath = PathInFolder(PathInFolder(job.DestinationFolder, variant.Name), task.OutputName);
        planned.Size = variant.Size;
        planned.Quality = variant.Quality > 0 ? variant.Quality : job.Quality;
        if (task.SourceSize)
            planned.PlannedSize = ReducedSize(*task.SourceSize, variant.Size, 1.0);
    }
    if (task.Writes()) {
        if (job.DestinationFolder.isEmpty())
            task.Refusal = QStringLiteral("No destination folder is chosen.");
        else if (task.OutputName.contains(QLatin1Char('/')) || task.OutputName.contains(QChar(0)))
            // It would leave the destination folder.
            task.Refusal = CannotCreateFileText(task.DestinationPath, QStringLiteral("a file name cannot hold \"/\""));
        else if (templated && task.OutputName == QLatin1String(".jpg"))
            task.Refusal = QStringLiteral("The name template \"%1\" gives %2 an empty name")
                               .arg(job.NameTemplate, task.ListedName);
    }
}

// The photo's facts are wanted beyond a decode: for the tokens of its name or text, and the variants' sizes.
bool WantsFacts(const TJob &job, const TImageTask &task)
{
    return task.Decodes() || !job.Variants.empty() || (task.Rename && TemplateReadsPhoto(job.NameTemplate))
        || (task.Overlay && job.OverlayTokens && TemplateReadsPhoto(job.OverlaySettings.Text));
}

} // namespace

TImageTask PlanImageTask(const TJob &job, int position, const TPhotoFacts &facts)
{
    TImageTask task = PlanWithoutFacts(job, position);
    AddFacts(task, facts);
    Finish(job, position, task);
    return task;
}

TImageTask PlanImageTask(const TJob &job, int position, const TFactsReader &read)
{
    TImageTask task = PlanWithoutFacts(job, position);
    if (WantsFacts(job, task))
        AddFacts(task, read(task.SourcePath));
    Finish(job, position, task);
    return task;
}

bool NamesReadPhotos(const TJob &job)
{
    return (job.Rename && TemplateReadsPhoto(job.NameTemplate));
}

} // namespace vellumar
