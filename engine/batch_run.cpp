#include "engine/batch_run.h"

#include <algorithm>
#include <deque>
#include <map>
#include <numeric>
#include <optional>
#include <set>

#include <QDir>

#include "engine/fixed_job.h"
#include "engine/folder_rules.h"
#include "engine/image_plan.h"
#include "engine/img_utils.h"
#include "engine/job_settings.h"
#include "engine/memory_budget.h"
#include "engine/run_plan.h"
#include "engine/scheduler.h"
#include "engine/source_list.h"
#include "imaging/errors.h"
#include "imaging/file_io.h"
#include "imaging/native_name.h"
#include "overlay/jpeg_text_overlay.h"

namespace vellumar
{

namespace
{

int ProgressPercent(int done, int count)
{
    return int(std::int64_t(done) * 100 / count);
}

// Subfolders a run keeps open between images.
constexpr std::size_t kHeldFolders = 64;

// The folders a run reads and writes, each opened once, and the files it writes: the run works in the
// folders it checked, whatever their paths name later. Subfolders are opened through them, never through a
// link, and a destination subfolder is made there when first written into.
struct TRunFolders {
    std::optional<TFolder> Source;
    // By the path the job names; a folder chosen during the run is opened when first met.
    std::map<QString, TFolder> Destinations;
    // Subfolders by their root's path and their relative path; a few at a time, as a listing of subfolders
    // meets each folder's photos together: a library's thousands of folders would exhaust the descriptors.
    std::map<std::pair<QString, QString>, std::shared_ptr<const TFolder>> Inside;
    // Planned outputs with nothing at their place when the run began.
    std::set<QString> NewAtStart;
    TWrittenFiles Written;

    const TFolder *Destination(const QString &path)
    {
        if (path.isEmpty())
            return nullptr;
        if (const auto found = Destinations.find(path); found != Destinations.end())
            return &found->second;
        std::optional<TFolder> folder = TFolder::TryOpen(path);
        return folder ? &Destinations.emplace(path, std::move(*folder)).first->second : nullptr;
    }

    // The folder relative (empty: root itself) inside root; null when it is missing (and not made) or cannot be
    // opened, with error set. A root is the run's own for the whole run, and is handed out without ownership.
    std::shared_ptr<const TFolder> Sub(const TFolder *root, const QString &relative, bool create, int *error = nullptr)
    {
        if (root == nullptr || relative.isEmpty())
            return { std::shared_ptr<const TFolder>(), root };
        const std::pair key { root->Path(), relative };
        if (const auto found = Inside.find(key); found != Inside.end())
            return found->second;
        std::optional<TFolder> folder = root->OpenInside(relative, create, error);
        if (!folder)
            return nullptr;
        // Images in hand keep theirs open.
        if (Inside.size() >= kHeldFolders)
            Inside.clear();
        return Inside.emplace(key, std::make_shared<const TFolder>(std::move(*folder))).first->second;
    }
};

TFileRef SourceOf(const TImageTask &task)
{
    return task.SourceFolder != nullptr ? TFileRef(*task.SourceFolder, LeafName(task.ListedName), task.SourcePath)
                                        : TFileRef(task.SourcePath);
}

TFileRef DestinationOf(const TImageTask &task)
{
    TFileRef destination = task.DestinationFolder != nullptr
        ? TFileRef(*task.DestinationFolder, LeafName(task.OutputName), task.DestinationPath)
        : TFileRef(task.DestinationPath);
    destination.MustBeNew = task.NewOutput;
    return destination;
}

// Whether a file named relative to root ("a/x.jpg") exists, looked for through root without following a link
// (by its path when root is not open); false when its folder is missing.
bool ExistsInside(TRunFolders &folders, const TFolder *root, const QString &name, const QString &path)
{
    if (root == nullptr)
        return StatFile(path).has_value();
    const std::shared_ptr<const TFolder> folder = folders.Sub(root, FolderPart(name), false);
    return folder != nullptr && StatFile(TFileRef(*folder, LeafName(name), path)).has_value();
}

// The image's task from the job as it stands now, with the listing and naming rule of Start; then the checks
// that need the run's state: its open folders and the outputs planned so far.
TImageTask PlanImage(const TJob &job, int position, TOutputGuard &guard, TRunFolders &folders)
{
    const TFolder *sourceRoot = folders.Source ? &*folders.Source : nullptr;
    const QString listed = job.SourceNames.value(position);
    std::shared_ptr<const TFolder> sourceFolder = folders.Sub(sourceRoot, FolderPart(listed), false);
    const TFolder *destinationRoot = folders.Destination(job.DestinationFolder);
    // A photo that is decoded has its facts read here, once: for the memory estimate and the report. They are
    // read from the source folder the run opened, as its pixels will be.
    TImageTask task = PlanImageTask(
        job,
        position,
        [&](const QString &source) {
            return sourceFolder != nullptr ? ReadPhotoFacts(TFileRef(*sourceFolder, LeafName(listed), source))
                                           : ReadPhotoFacts(source);
        },
        [&](const QString &path) {
            QString relative = path.mid(job.DestinationFolder.size());
            if (relative.startsWith(QLatin1Char('/')))
                relative.remove(0, 1);
            return guard.PlannedByOther(position, path) || ExistsInside(folders, destinationRoot, relative, path);
        });
    task.SourceFolder = std::move(sourceFolder);
    task.DestinationFolder = folders.Sub(destinationRoot, QString(), false);
    task.NewOutput = folders.NewAtStart.contains(task.DestinationPath);
    task.Written = &folders.Written;
    if (!task.Writes() || task.SkipsExisting || !task.Refusal.isEmpty())
        return task;
    if (sourceRoot != nullptr && task.SourceFolder == nullptr) {
        task.Refusal = QStringLiteral("Cannot open file %1").arg(task.SourcePath);
        return task;
    }
    // The window's settings may have changed since Start: each image is checked again as it is planned.
    task.Refusal = guard.Refusal(position, task.DestinationPath);
    if (!task.Refusal.isEmpty()) {
        task.Refusal += QStringLiteral("; nothing is written");
        return task;
    }
    int error = 0;
    task.DestinationFolder = folders.Sub(destinationRoot, FolderPart(task.OutputName), true, &error);
    if (destinationRoot != nullptr && task.DestinationFolder == nullptr)
        task.Refusal = CannotCreateFileText(task.DestinationPath,
            WithReason(QStringLiteral("cannot make the folder %1").arg(FolderPart(task.OutputName)),
                SystemReason(error)));
    // Variants are written through the destination the run opened too, never by their paths.
    for (TVariantTask &variant : task.Variants)
        variant.Folder =
            folders.Sub(destinationRoot, variant.Name + QLatin1Char('/') + FolderPart(task.OutputName), true);
    return task;
}

// Why the image must not write at all, checked just before it would: its planned refusal, a destination
// folder that is missing, or a file this run has already written under another spelling of the name.
QString WriteRefusal(const TImageTask &task)
{
    if (!task.Refusal.isEmpty())
        return task.Refusal;
    const QString &path = task.DestinationPath;
    const QString folder = FolderPart(path);
    if (task.DestinationFolder != nullptr ? task.DestinationFolder->Removed() : !DirectoryExists(folder))
        return CannotCreateFileText(path, QStringLiteral("the folder %1 does not exist").arg(folder));
    if (task.Written != nullptr) {
        if (const std::optional<TFileFacts> facts = StatFile(DestinationOf(task))) {
            if (const QString written = task.Written->WrittenAs(facts->Identity); !written.isEmpty())
                return CannotCreateFileText(path,
                    QStringLiteral("this run has already written that file as %1; it is not replaced").arg(written));
        }
    }
    return QString();
}

// The image's variants, largest first so that one decode serves them all, each into its folder of the destination;
// the first that fails ends them and fails the image.
void WriteVariants(const TImageTask &task,
    const TFileRef &source,
    TImageOutput &main,
    TImageOutcome &outcome,
    QStringList &warnings)
{
    const TOverlaySettings &settings = task.OverlaySettings;
    const TPhotoOptions photo = task.Photo();
    std::vector<std::size_t> order(task.Variants.size());
    std::iota(order.begin(), order.end(), std::size_t(0));
    const auto area = [&](std::size_t i) {
        const std::optional<TPixelSize> &size = task.Variants[i].PlannedSize;
        return size ? std::int64_t(size->Width) * size->Height : 0;
    };
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return area(a) > area(b);
    });
    std::vector<std::optional<TVariantOutcome>> written(task.Variants.size());
    TPixelSize upright = main.SourceSize;
    for (const std::size_t i : order) {
        const TVariantTask &variant = task.Variants[i];
        try {
            const QString folder = variant.DestinationPath.left(variant.DestinationPath.lastIndexOf(QLatin1Char('/')));
            // Outside a run (no open destination) the folder is made by its path.
            if (variant.Folder == nullptr && (task.DestinationFolder != nullptr || !QDir().mkpath(folder)))
                throw EFCreateError(CannotCreateFileText(variant.DestinationPath,
                    QStringLiteral("the folder %1 cannot be made").arg(folder)));
            TImageOutput made = VariantJpeg(source,
                main.Picture,
                main.Markers,
                upright,
                variant.Size,
                variant.Quality,
                task.Overlay ? &settings : nullptr,
                photo);
            warnings += made.Warnings;
            WriteOutputFile(source,
                variant.Folder != nullptr
                    ? TFileRef(*variant.Folder, LeafName(task.OutputName), variant.DestinationPath)
                    : TFileRef(variant.DestinationPath),
                made.Bytes);
            written[i] = TVariantOutcome { .Name = variant.Name,
                .OutputPath = variant.DestinationPath,
                .Size = made.OutputSize,
                .Bytes = qint64(made.Bytes.size()),
                .Quality = made.Quality };
        } catch (const std::exception &error) {
            outcome.Failure = TImageFailure { .Kind = TFailureKind::Error, .Message = PathFromNative(error.what()) };
            break;
        }
    }
    for (std::optional<TVariantOutcome> &variant : written)
        if (variant)
            outcome.Variants.push_back(std::move(*variant));
}

QStringList ImageHeader(int index, int count)
{
    return { QStringLiteral(">"), QStringLiteral("File %1 of %2").arg(index + 1).arg(count) };
}

// Writes outcomes to the sink in listing order and places the stop line: after the lines of every image
// that had started when the stop was seen, which is where a one-at-a-time run puts it.
class TOrderedReport
{
public:
    TOrderedReport(TRunSink &sink, int count)
        : mSink(sink)
        , mCount(count)
    {
    }

    // An event point: the owner's events run, and a new stop request is noted. Once every image has
    // started there is nothing left to stop: the run finishes, and its log, report and exit status say so.
    void ProcessPendingEvents(int started)
    {
        mSink.ProcessPendingEvents();
        if (mStopSeenAfter < 0 && started < mCount && mSink.StopRequested()) {
            mStopSeenAfter = started;
            WriteStopLineWhenDue();
        }
    }
    void
    Report(const QStringList &header, int position, const TImageTask &task, const TImageOutcome &outcome, int started)
    {
        for (const QString &line : header + OutcomeLines(outcome))
            mSink.AddStatusLine(line);
        mSink.ImageReported(position, task, outcome);
        ++mReported;
        ++mSummary.Done;
        mSummary.Failed += outcome.Failed() ? 1 : 0;
        mSummary.Skipped += outcome.Skipped ? 1 : 0;
        mSummary.WithWarnings += outcome.Warnings.isEmpty() ? 0 : 1;
        WriteStopLineWhenDue();
        if (outcome.Completed()) {
            mSink.SetProgress(ProgressPercent(mReported, mCount));
            ProcessPendingEvents(started);
        }
    }

    [[nodiscard]] TRunSummary &Summary() { return mSummary; }

private:
    void WriteStopLineWhenDue()
    {
        if (mStopSeenAfter >= 0 && !mStopLineWritten && mReported >= mStopSeenAfter) {
            mSink.AddStatusLine(QStringLiteral("Aborting..."));
            mStopLineWritten = true;
        }
    }

    TRunSink &mSink;
    int mCount;
    int mReported = 0;
    int mStopSeenAfter = -1;
    bool mStopLineWritten = false;
    TRunSummary mSummary;
};

} // namespace

void TRunSink::ImageReported(int position, const TImageTask &task, const TImageOutcome &outcome)
{
    (void)position;
    (void)task;
    (void)outcome;
}

QStringList ProblemLines(const TImageOutcome &outcome)
{
    QStringList lines;
    if (outcome.Failure) {
        const bool overlay = outcome.Failure->Kind == TFailureKind::OverlayError;
        lines << (overlay ? QStringLiteral("Overlay ERROR: ") : QStringLiteral("ERROR: ")) + outcome.Failure->Message;
    }
    for (const QString &warning : outcome.Warnings)
        lines << QStringLiteral("WARNING: ") + warning;
    return lines;
}

QStringList OutcomeLines(const TImageOutcome &outcome)
{
    if (outcome.Skipped)
        return { QStringLiteral("Skipped: ") + outcome.OutputName + QStringLiteral(" exists already") };
    QStringList lines;
    if (outcome.Rename)
        lines << QStringLiteral("Renaming: ") + outcome.ListedName + QStringLiteral(" to ") + outcome.OutputName;
    if (outcome.Write == TImageWrite::Reduce)
        lines << QStringLiteral("Resizing: ") + outcome.OutputName + QStringLiteral("...");
    else if (outcome.Write == TImageWrite::Overlay)
        lines << QStringLiteral("Adding overlay: ") + outcome.OutputName + QStringLiteral("...");
    if (outcome.Reduced) {
        lines << outcome.OutputName
                + QStringLiteral(" resized: H%1 W%2").arg(outcome.Reduced->Height).arg(outcome.Reduced->Width);
        // The overlay drawn alone was announced before its step; drawn into a reduction, it is told after.
        if (outcome.OverlayAdded)
            lines << QStringLiteral("Overlay Added");
    }
    if (outcome.CappedQuality)
        lines << outcome.OutputName
                + QStringLiteral(" written at quality %1 (%2 bytes)")
                      .arg(*outcome.CappedQuality)
                      .arg(outcome.OutputBytes);
    for (const TVariantOutcome &variant : outcome.Variants)
        lines << QStringLiteral("%1/%2 written: H%3 W%4, quality %5, %6 bytes")
                     .arg(variant.Name, outcome.OutputName)
                     .arg(variant.Size.Height)
                     .arg(variant.Size.Width)
                     .arg(variant.Quality)
                     .arg(variant.Bytes);
    return lines + ProblemLines(outcome);
}

TImageOutcome ProcessImage(const TImageTask &task)
{
    const auto startTime = std::chrono::steady_clock::now();
    TImageOutcome outcome;
    outcome.ListedName = task.ListedName;
    outcome.OutputName = task.OutputName;
    // The existing output is left as it is: neither it nor the photo is read.
    if (task.SkipsExisting) {
        outcome.Skipped = true;
        outcome.Elapsed = std::chrono::steady_clock::now() - startTime;
        return outcome;
    }
    outcome.Rename = task.Rename;
    if (task.Resize)
        outcome.Write = TImageWrite::Reduce;
    else if (task.Overlay)
        outcome.Write = TImageWrite::Overlay;
    else if (task.Rename)
        outcome.Write = TImageWrite::Copy;
    const auto fail = [&outcome](TFailureKind kind, const QString &message) {
        outcome.Failure = TImageFailure { .Kind = kind, .Message = message };
    };
    const TFixedOverlaySettings overlay(task.OverlaySettings);
    TPhotoOptions photo = task.Photo();
    photo.KeepPicture = !task.Variants.empty();
    // The main output's picture and markers, which its variants are made from.
    TImageOutput main;
    const TFileRef source = SourceOf(task);
    const TFileRef destination = DestinationOf(task);
    // Taken before any write: the output may replace the image's own source.
    outcome.SourceBytes = RegularFileSize(source);
    if (outcome.Write != TImageWrite::None) {
        if (QString refusal = WriteRefusal(task); !refusal.isEmpty()) {
            fail(TFailureKind::Error, refusal);
            outcome.Elapsed = std::chrono::steady_clock::now() - startTime;
            return outcome;
        }
    }
    QStringList warnings;
    if (outcome.Write == TImageWrite::Copy && task.MaxBytes > 0) {
        try {
            main = CappedCopy(source, photo);
            warnings += main.Warnings;
            WriteOutputFile(source, destination, main.Bytes);
            outcome.OutputPath = task.DestinationPath;
            if (main.Quality > 0)
                outcome.CappedQuality = main.Quality;
        } catch (const std::exception &error) {
            fail(TFailureKind::Error, PathFromNative(error.what()));
        }
    } else if (outcome.Write == TImageWrite::Copy) {
        QString reason;
        if (CopyImageFile(source, destination, &reason))
            outcome.OutputPath = task.DestinationPath;
        else
            fail(TFailureKind::Error, reason);
    } else if (outcome.Write == TImageWrite::Reduce) {
        try {
            TReportedSize reported;
            TImageOutput made;
            if (ResizeJpegFile(source,
                    destination,
                    task.Quality,
                    ScaleFromPercent(task.ResizePercent),
                    task.Overlay,
                    overlay,
                    reported,
                    &warnings,
                    task.ResizeOptions,
                    &made,
                    photo)) {
                outcome.OutputPath = task.DestinationPath;
                outcome.SourceSize = made.SourceSize;
                outcome.OutputSize = made.OutputSize;
                outcome.Reduced = reported;
                outcome.OverlayAdded = task.Overlay;
                if (task.MaxBytes > 0)
                    outcome.CappedQuality = made.Quality;
                main = std::move(made);
            } else {
                // The source went away since it was listed.
                fail(TFailureKind::Error, QStringLiteral("Cannot open file %1").arg(task.SourcePath));
            }
        } catch (const EOverlayException &error) {
            fail(TFailureKind::OverlayError, error.Message());
        } catch (const std::exception &error) {
            fail(TFailureKind::Error, PathFromNative(error.what()));
        }
    } else if (outcome.Write == TImageWrite::Overlay) {
        try {
            TImageOutput made;
            AddOverlayToFile(source, destination, overlay, &warnings, &made, photo);
            // The folder checked before the step may have gone since: then nothing was written.
            if (made.OutputSize.Width == 0) {
                const QString refusal = WriteRefusal(task);
                throw EFCreateError(refusal.isEmpty() ? CannotCreateFileText(task.DestinationPath) : refusal);
            }
            outcome.OutputPath = task.DestinationPath;
            outcome.SourceSize = made.SourceSize;
            outcome.OutputSize = made.OutputSize;
            outcome.OverlayAdded = true;
            if (task.MaxBytes > 0)
                outcome.CappedQuality = made.Quality;
        } catch (const std::exception &error) {
            // Codec failures while decoding are reported too: a broken photo never passes silently.
            fail(TFailureKind::OverlayError, PathFromNative(error.what()));
        }
    }
    if (outcome.Completed() && !task.Variants.empty())
        WriteVariants(task, source, main, outcome, warnings);
    // Damaged data decoded around: the photo is written, but the image counts as failed.
    outcome.Warnings = warnings;
    if (!outcome.OutputPath.isEmpty()) {
        const std::optional<TFileFacts> written = StatFile(destination);
        outcome.OutputBytes = written && written->Regular ? qint64(written->Size) : -1;
        if (written && task.Written != nullptr)
            task.Written->Note(written->Identity, task.DestinationPath);
    }
    outcome.Elapsed = std::chrono::steady_clock::now() - startTime;
    return outcome;
}

QString SummaryLine(const TRunSummary &summary)
{
    const double seconds = std::chrono::duration<double>(summary.Elapsed).count();
    const QString skipped = summary.Skipped > 0 ? QStringLiteral(", %1 skipped").arg(summary.Skipped) : QString();
    return QStringLiteral("Summary: %1 of %2 images done%3, %4 failed, %5 with warnings, %6 s")
        .arg(summary.Done - summary.Failed - summary.Skipped)
        .arg(summary.Listed)
        .arg(skipped)
        .arg(summary.Failed)
        .arg(summary.WithWarnings)
        .arg(seconds, 0, 'f', 1);
}

TRunSummary RunBatch(TJobSource &job, TRunSink &sink, int jobs, TShard shard, std::uint64_t memoryBudget)
{
    const auto startTime = std::chrono::steady_clock::now();
    const TJob start = job.Snapshot();
    TRunPlan plan = PlanRun(start);
    if (!plan.Clashes.isEmpty())
        throw ERunRefused(std::move(plan.Clashes));
    TRunFolders folders;
    folders.Source = TFolder::TryOpen(start.SourceFolder);
    if (const TFolder *destination = folders.Destination(start.DestinationFolder)) {
        for (const TPlannedOutput &output : plan.Outputs) {
            if (output.OutputPath.isEmpty() || output.Skipped)
                continue;
            if (!ExistsInside(folders, destination, output.OutputName, output.OutputPath))
                folders.NewAtStart.insert(output.OutputPath);
        }
    }
    sink.SetProgress(0);
    sink.ClearStopRequest();
    sink.AddStatusLine(QString());
    const QString &folder = start.SourceFolder;
    const QStringList &names = start.SourceNames;
    const int listed = int(names.size());
    std::vector<int> positions;
    for (int position = 0; position < listed; ++position) {
        if (shard.Contains(position))
            positions.push_back(position);
    }
    const int count = int(positions.size());
    TOutputGuard guard(folder, names);
    // Into the source folder, an output may replace a later input: one image at a time then.
    const int parallel = jobs > 1 && !NameSameFolder(start.DestinationFolder, folder) ? jobs : 1;
    const std::uint64_t budget = memoryBudget > 0 ? memoryBudget : DefaultMemoryBudget();

    // An image planned in its turn; the scheduler runs it and reports it back in listing order.
    struct TPending {
        QStringList Header;
        int Position = 0;
        TImageTask Task;
        TImageOutcome Outcome;
    };
    std::deque<TPending> pending;
    TOrderedReport report(sink, count);
    TRunSummary &summary = report.Summary();
    summary.Listed = count;
    const auto finish = [&](const QString &closingLine) {
        sink.AddStatusLine(closingLine);
        summary.Elapsed = std::chrono::steady_clock::now() - startTime;
        sink.AddStatusLine(SummaryLine(summary));
        return summary;
    };
    int started = 0;
    bool stopped = false;
    const auto next = [&]() -> std::optional<TScheduler::TItem> {
        if (started == count)
            return std::nullopt;
        report.ProcessPendingEvents(started);
        if (sink.StopRequested()) {
            stopped = true;
            return std::nullopt;
        }
        const int position = positions[std::size_t(started)];
        TJob now = job.Snapshot();
        now.SourceFolder = folder;
        now.SourceNames = names;
        now.Namer = start.Namer;
        TPending &image = pending.emplace_back();
        image.Header = ImageHeader(position, listed);
        image.Position = position;
        image.Task = PlanImage(now, position, guard, folders);
        // A shard passes over the others' numbers, as the whole run would.
        if (now.Rename)
            job.NumberAdvanced(NumberAtPosition(start.Namer.Number(), position + 1));
        ++started;
        TScheduler::TItem item;
        // One at a time, no estimate is needed.
        item.Estimate = parallel > 1 ? EstimateTaskMemory(image.Task) : 0;
        item.Work = [&image] {
            image.Outcome = ProcessImage(image.Task);
        };
        return item;
    };
    const auto deliver = [&](int) {
        const TPending done = std::move(pending.front());
        pending.pop_front();
        report.Report(done.Header, done.Position, done.Task, done.Outcome, started);
    };
    TScheduler(parallel, budget).Run(next, deliver);
    if (stopped) {
        summary.Stopped = true;
        return finish(QStringLiteral("Processing ABORTED !"));
    }
    const TRunSummary result = finish(QStringLiteral("FINISHED"));
    sink.SetProgress(0);
    return result;
}

} // namespace vellumar
