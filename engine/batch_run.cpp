#include "engine/batch_run.h"

#include <deque>
#include <map>
#include <optional>
#include <set>

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

// The folders a run reads and writes, each opened once, and the files it writes: the run works in the
// folders it checked, whatever their paths name later.
struct TRunFolders {
    std::optional<TFolder> Source;
    // By the path the job names; a folder chosen during the run is opened when first met.
    std::map<QString, TFolder> Destinations;
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
};

TFileRef SourceOf(const TImageTask &task)
{
    return task.SourceFolder != nullptr ? TFileRef(*task.SourceFolder, task.ListedName, task.SourcePath)
                                        : TFileRef(task.SourcePath);
}

TFileRef DestinationOf(const TImageTask &task)
{
    TFileRef destination = task.DestinationFolder != nullptr
        ? TFileRef(*task.DestinationFolder, task.OutputName, task.DestinationPath)
        : TFileRef(task.DestinationPath);
    destination.MustBeNew = task.NewOutput;
    return destination;
}

// The image's task from the job as it stands now, with the listing and naming rule of Start; then the checks
// that need the run's state: its open folders and the outputs planned so far.
TImageTask PlanImage(const TJob &job, int position, TOutputGuard &guard, TRunFolders &folders)
{
    // A photo that is decoded has its facts read here, once: for the memory estimate and the report. They are
    // read from the source folder the run opened, as its pixels will be.
    TImageTask task = PlanImageTask(job, position, [&](const QString &source) {
        return folders.Source ? ReadPhotoFacts(TFileRef(*folders.Source, job.SourceNames.value(position), source))
                              : ReadPhotoFacts(source);
    });
    task.SourceFolder = folders.Source ? &*folders.Source : nullptr;
    task.DestinationFolder = folders.Destination(job.DestinationFolder);
    task.NewOutput = folders.NewAtStart.contains(task.DestinationPath);
    task.Written = &folders.Written;
    // The window's settings may have changed since Start: each image is checked again as it is planned.
    if (task.Writes() && task.Refusal.isEmpty()) {
        task.Refusal = guard.Refusal(position, task.DestinationPath);
        if (!task.Refusal.isEmpty())
            task.Refusal += QStringLiteral("; nothing is written");
    }
    return task;
}

// Why the image must not write at all, checked just before it would: its planned refusal, a destination
// folder that is missing, or a file this run has already written under another spelling of the name.
QString WriteRefusal(const TImageTask &task)
{
    if (!task.Refusal.isEmpty())
        return task.Refusal;
    const QString &path = task.DestinationPath;
    const QString folder = path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
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
    return lines + ProblemLines(outcome);
}

TImageOutcome ProcessImage(const TImageTask &task)
{
    const auto startTime = std::chrono::steady_clock::now();
    TImageOutcome outcome;
    outcome.ListedName = task.ListedName;
    outcome.OutputName = task.OutputName;
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
    const TPhotoOptions photo { .AutoOrient = task.AutoOrient,
        .Metadata = task.Metadata,
        .OverlayQuality = task.OverlayQuality };
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
    if (outcome.Write == TImageWrite::Copy) {
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
        } catch (const std::exception &error) {
            // Codec failures while decoding are reported too: a broken photo never passes silently.
            fail(TFailureKind::OverlayError, PathFromNative(error.what()));
        }
    }
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
    return QStringLiteral("Summary: %1 of %2 images done, %3 failed, %4 with warnings, %5 s")
        .arg(summary.Done - summary.Failed)
        .arg(summary.Listed)
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
            if (!output.OutputPath.isEmpty() && !StatFile(TFileRef(*destination, output.OutputName, output.OutputPath)))
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
