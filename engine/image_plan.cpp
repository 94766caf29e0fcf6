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
    task.Coding = job.Coding;
    task.MaxBytes = job.MaxBytes;
    task.MinQuality = job.MinQuality;
    task.ToSrgb = job.ToSrgb;
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
    // A photo of a subfolder keeps its folder apart from its name.
    const QString listed = LeafName(task.ListedName);
    const qsizetype dot = listed.lastIndexOf(QLatin1Char('.'));
    values.Name = dot > 0 ? listed.left(dot) : listed;
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

// The output's name and place: the templated name, the photo's folder under the destination, the refusal,
// and what the job does where that place is taken.
void PlaceOutput(const TJob &job, int position, TImageTask &task, const TTakenPlace &taken)
{
    const bool templated = task.Rename && !job.NameTemplate.isEmpty();
    if (templated)
        task.OutputName = FillTokens(job.NameTemplate, TokenValues(job, task, position), true) + QStringLiteral(".jpg");
    // A photo of a subfolder goes to the same folder under the destination.
    const QString folder = FolderPart(task.ListedName);
    const QString name = task.Rename ? task.OutputName : task.OutputName.mid(folder.size());
    task.OutputName = folder + name;
    task.DestinationPath = PathInFolder(job.DestinationFolder, task.OutputName);
    if (task.Writes()) {
        if (job.DestinationFolder.isEmpty())
            task.Refusal = QStringLiteral("No destination folder is chosen.");
        else if (name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
            // It would leave its folder.
            task.Refusal = CannotCreateFileText(task.DestinationPath, QStringLiteral("a file name cannot hold \"/\""));
        else if (templated && name == QLatin1String(".jpg"))
            task.Refusal = QStringLiteral("The name template \"%1\" gives %2 an empty name")
                               .arg(job.NameTemplate, task.ListedName);
    }
    ApplyExisting(task, job, folder, taken);
}

// What the facts give beyond the name: the overlay's text from the tokens, and the variants.
void AddTextAndVariants(const TJob &job, int position, TImageTask &task)
{
    if (task.Overlay && job.OverlayTokens)
        task.OverlaySettings.Text = FillTokens(task.OverlaySettings.Text, TokenValues(job, task, position), false);
    for (const TOutputVariant &variant : job.Variants) {
        TVariantTask &planned = task.Variants.emplace_back();
        planned.Name = variant.Name;
        planned.DestinationPath = PathInFolder(PathInFolder(job.DestinationFolder, variant.Name), task.OutputName);
        planned.Size = variant.Size;
        planned.Quality = variant.Quality > 0 ? variant.Quality : job.Quality;
        if (task.SourceSize)
            planned.PlannedSize = ReducedSize(*task.SourceSize, variant.Size, 1.0);
    }
}

// The photo's facts are wanted beyond a decode: for the tokens of its name or text, and the variants' sizes.
bool WantsFacts(const TJob &job, const TImageTask &task)
{
    return task.Decodes() || !job.Variants.empty() || (task.Rename && TemplateReadsPhoto(job.NameTemplate))
        || (task.Overlay && job.OverlayTokens && TemplateReadsPhoto(job.OverlaySettings.Text));
}

} // namespace

QString FolderPart(const QString &name)
{
    return name.left(name.lastIndexOf(QLatin1Char('/')) + 1);
}

QString LeafName(const QString &name)
{
    return name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
}

TImageTask PlanImageTask(const TJob &job, int position, const TPhotoFacts &facts, const TTakenPlace &taken)
{
    TImageTask task = PlanWithoutFacts(job, position);
    AddFacts(task, facts);
    PlaceOutput(job, position, task, taken);
    AddTextAndVariants(job, position, task);
    return task;
}

TImageTask PlanImageTask(const TJob &job, int position, const TFactsReader &read, const TTakenPlace &taken)
{
    TImageTask task = PlanWithoutFacts(job, position);
    // A name from the photo's date, camera or size needs its facts before its place is known.
    const bool named = task.Rename && TemplateReadsPhoto(job.NameTemplate);
    if (named)
        AddFacts(task, read(task.SourcePath));
    PlaceOutput(job, position, task, taken);
    // A skipped photo is not read beyond its name.
    if (!named && !task.SkipsExisting && WantsFacts(job, task))
        AddFacts(task, read(task.SourcePath));
    AddTextAndVariants(job, position, task);
    return task;
}

bool NamesReadPhotos(const TJob &job)
{
    return (job.Rename && TemplateReadsPhoto(job.NameTemplate));
}

} // namespace vellumar
