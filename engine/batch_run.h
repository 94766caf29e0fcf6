#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

#include <QString>
#include <QStringList>

#include "engine/img_utils.h"
#include "engine/job_settings.h"
#include "engine/pixel_size.h"
#include "engine/shard.h"
#include "imaging/jpeg_metadata.h"
#include "overlay/overlay_settings.h"

namespace vellumar
{

/**
 * What a run reads from its owner, each value at the moment an image needs it. The source names are
 * taken once, at Start, so a folder chosen during a run never shortens or shifts the work list.
 */
class TJobSource
{
public:
    TJobSource() = default;
    virtual ~TJobSource() = default;
    TJobSource(const TJobSource &) = delete;
    TJobSource &operator=(const TJobSource &) = delete;

    [[nodiscard]] virtual QString SourceFolder() const = 0;
    [[nodiscard]] virtual QStringList SourceNames() const = 0;
    [[nodiscard]] virtual QString DestinationFolder() const = 0;
    [[nodiscard]] virtual bool ResizeOn() const = 0;
    [[nodiscard]] virtual int ResizePercent() const = 0;
    /** Filter and size mode of a reduction; the defaults (the exact reduction by percent) unless overridden. */
    [[nodiscard]] virtual TResizeOptions ResizeOptions() const { return {}; }
    [[nodiscard]] virtual int Quality() const = 0;
    [[nodiscard]] virtual bool RenameOn() const = 0;
    /** The name the next renamed image receives. */
    [[nodiscard]] virtual QString SampleName() const = 0;
    /** The naming rule as it stands (prefix, number, padding, suffix), to plan names without advancing. */
    [[nodiscard]] virtual TOutputNamer Namer() const = 0;
    /** Advances the running number by one and brings the sample name up to date. */
    virtual void AdvanceNumber() = 0;
    [[nodiscard]] virtual bool OverlayOn() const = 0;
    [[nodiscard]] virtual const TOverlaySettingsProvider &Overlay() const = 0;
    /** Re-encoded photos are turned upright by their EXIF orientation. */
    [[nodiscard]] virtual bool AutoOrient() const = 0;
    /** Which of a photo's metadata a re-encoded photo keeps (its colour profile always). */
    [[nodiscard]] virtual TMetadataMode Metadata() const = 0;
};

struct TImageTask;
struct TImageOutcome;
class TFolder;
class TWrittenFiles;

/** Where a run reports: the status log, the progress bar, the event pump and the stop flag. */
class TRunSink
{
public:
    TRunSink() = default;
    virtual ~TRunSink() = default;
    TRunSink(const TRunSink &) = delete;
    TRunSink &operator=(const TRunSink &) = delete;

    virtual void AddStatusLine(const QString &line) = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void ProcessPendingEvents() = 0;
    /**
     * Set by the owner's Stop (during ProcessPendingEvents); the run writes the "Aborting..." line itself. A
     * request that comes once every image has started is no stop: the run finishes.
     */
    [[nodiscard]] virtual bool StopRequested() const = 0;
    virtual void ClearStopRequest() = 0;
    /**
     * Told of each image once its lines are written, in listing order; position is 0-based in the whole
     * listing. For a report; the default ignores it.
     */
    virtual void ImageReported(int position, const TImageTask &task, const TImageOutcome &outcome);
};

/** One image's work, fixed on the run's thread when its turn comes. */
struct TImageTask {
    QString ListedName;
    QString SourcePath;
    QString OutputName;
    QString DestinationPath;
    bool Rename = false;
    bool Resize = false;
    bool Overlay = false;
    int ResizePercent = 50;
    TResizeOptions ResizeOptions;
    int Quality = 90;
    bool AutoOrient = true;
    TMetadataMode Metadata = TMetadataMode::mmNone;
    /** Taken when the task is planned, so that the image needs nothing from its owner while it runs. */
    TOverlaySettings OverlaySettings;
    /** Set when planning found that the image must not write (one line, logged after "ERROR: "). */
    QString Refusal;
    /**
     * The run's open folders, which the image reads its photo from and writes its output into whatever
     * their paths name meanwhile; null: by SourcePath and DestinationPath. Owned by the run.
     */
    const TFolder *SourceFolder = nullptr;
    const TFolder *DestinationFolder = nullptr;
    /** Nothing was at the output's place when the run began: nothing that appears there is replaced. */
    bool NewOutput = false;
    /** The run's written files, so that no image lands on another's output; null outside a run. */
    TWrittenFiles *Written = nullptr;
};

/** How a step of an image failed: "ERROR: " or "Overlay ERROR: " opens its line. */
enum class TFailureKind { Error, OverlayError };

struct TImageFailure {
    TFailureKind Kind = TFailureKind::Error;
    QString Message;
};

/** What the image writes: nothing, a copy, a reduction (the overlay drawn into it when on), or the overlay. */
enum class TImageWrite { None, Copy, Reduce, Overlay };

/** What became of one image, as data: its log lines (OutcomeLines) and its report record are made from it. */
struct TImageOutcome {
    /** The names the lines give: the listed one and the output's. */
    QString ListedName;
    QString OutputName;
    /** The steps the image set out to do, announced before they run ("Renaming: ", "Resizing: ", ...). */
    bool Rename = false;
    TImageWrite Write = TImageWrite::None;
    /** The size the reduction reports (the " resized: " line); empty unless the reduction was written. */
    std::optional<TReportedSize> Reduced;
    /** The overlay was drawn into the written file. */
    bool OverlayAdded = false;
    /** The step that failed; empty when none did. */
    std::optional<TImageFailure> Failure;
    /** Warnings of the codec about the source (damaged data); the photo is written, but counts as failed. */
    QStringList Warnings;
    /** The file written for the image; empty when nothing was written. */
    QString OutputPath;
    /** Bytes of the source and of the written file; -1 when not known. */
    qint64 SourceBytes = -1;
    qint64 OutputBytes = -1;
    /** Pixel sizes of the decoded source and of the written picture; empty when no picture was decoded. */
    std::optional<TPixelSize> SourceSize;
    std::optional<TPixelSize> OutputSize;
    /** Wall time the image's steps took. */
    std::chrono::nanoseconds Elapsed { 0 };

    /** No step failed: its progress update follows (a failed image's is skipped). */
    [[nodiscard]] bool Completed() const { return !Failure; }
    /** A step failed or the codec warned: the image counts as failed for the exit status. */
    [[nodiscard]] bool Failed() const { return Failure || !Warnings.isEmpty(); }
};

/** The failure's and the warnings' lines ("ERROR: ...", "Overlay ERROR: ...", "WARNING: ..."), in log order. */
[[nodiscard]] QStringList ProblemLines(const TImageOutcome &outcome);

/**
 * The image's lines after its ">" and "File" lines: "Renaming: A to B", then "Resizing: B..." or
 * "Adding overlay: B...", then "B resized: H.. W.." and "Overlay Added" for a written reduction, then
 * the ProblemLines.
 */
[[nodiscard]] QStringList OutcomeLines(const TImageOutcome &outcome);

/**
 * Reads into task what the job says of its work now (the switches, size, filter, quality, overlay settings
 * and photo options); its names and paths are the caller's. The run and the output preview plan alike.
 */
void ReadTaskSettings(const TJobSource &job, TImageTask &task);

/**
 * Runs the steps of one image. A failure of a guarded step is kept in the outcome and the image
 * counts as failed; errors outside them (which end the run) are thrown. Safe on any thread: it reads
 * nothing but the task.
 */
[[nodiscard]] TImageOutcome ProcessImage(const TImageTask &task);

/** How a run went, as its summary line tells. */
struct TRunSummary {
    int Listed = 0;
    /** Images whose lines were written (all of them unless the run was stopped), failed ones included. */
    int Done = 0;
    /** Images with an error or a warning. */
    int Failed = 0;
    int WithWarnings = 0;
    bool Stopped = false;
    std::chrono::nanoseconds Elapsed { 0 };
};

/**
 * "Summary: D of L images done, F failed, W with warnings, S s": D counts the images that were done without
 * a failure, so D + F is less than L only for a stopped run; W is part of F. Seconds with one decimal.
 */
[[nodiscard]] QString SummaryLine(const TRunSummary &summary);

/**
 * The batch run: every listed image in listing order, its status lines, the progress, the stop request
 * tested before each image, failures logged and the run going on. Each image is planned on the calling
 * thread when its turn comes (so a window's live settings hold from the next image on). With jobs 1 the
 * images are done inline; with more, up to jobs at once on worker threads, their outcomes reported in
 * listing order (TScheduler), so the log, the progress and the files are those of a one-at-a-time run. A
 * stop request lets running images finish, starts no new one, and "Aborting..." follows the lines of every
 * image that was running when the stop was seen; once the last image has started, a request changes
 * nothing. Errors outside the guarded steps pass on.
 * Before anything is written or logged, the whole run is planned with the settings as they stand: a
 * clash (see PlanClashes) throws ERunRefused. After "FINISHED" or "Processing ABORTED !" comes the
 * summary line; the same facts are returned.
 * With a shard, only the listing positions it holds are processed, each logged with its position in the
 * whole listing and named with the running number of the whole run; the clash check covers the whole run.
 * With more than one job, an image starts only while the memory estimates (EstimateTaskMemory) of the images
 * in flight, its own included, stay within memoryBudget bytes (0: DefaultMemoryBudget()); an image whose
 * estimate alone is larger waits for the others and runs alone. Images still start in listing order.
 */
TRunSummary RunBatch(TJobSource &job, TRunSink &sink, int jobs = 1, TShard shard = {}, std::uint64_t memoryBudget = 0);

} // namespace vellumar
