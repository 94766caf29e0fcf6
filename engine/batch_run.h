#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include <QString>
#include <QStringList>

#include "engine/img_utils.h"
#include "engine/job.h"
#include "engine/job_settings.h"
#include "engine/pixel_size.h"
#include "engine/shard.h"
#include "imaging/jpeg_metadata.h"
#include "imaging/photo_facts.h"
#include "overlay/jpeg_text_overlay.h"
#include "overlay/overlay_settings.h"

namespace vellumar
{

/**
 * What a run reads from its owner: the job as it stands, taken at Start and again at each image's turn (so
 * that a window's live settings hold from the next image on). The source listing and the naming rule are
 * those of Start, so a folder chosen during a run never shortens or shifts the work list.
 */
class TJobSource
{
public:
    TJobSource() = default;
    virtual ~TJobSource() = default;
    TJobSource(const TJobSource &) = delete;
    TJobSource &operator=(const TJobSource &) = delete;

    [[nodiscard]] virtual TJob Snapshot() const = 0;
    /** Told after each renamed image is planned: the running number the next renamed image gets. */
    virtual void NumberAdvanced(std::int64_t next) = 0;
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

/** One more output of an image: its folder's name, path, size rule, quality and, from the facts, written size. */
struct TVariantTask {
    QString Name;
    QString DestinationPath;
    /** The folder it is written into, opened (and made) inside the run's destination; null outside a run. */
    std::shared_ptr<const TFolder> Folder;
    TResizeOptions Size;
    int Quality = 90;
    std::optional<TPixelSize> PlannedSize;
};

/** One image's work, planned (PlanImageTask) on the run's thread when its turn comes. */
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
    int OverlayQuality = kOverlayQuality;
    bool AutoOrient = true;
    TMetadataMode Metadata = TMetadataMode::mmNone;
    TJpegCoding Coding = TJpegCoding::Baseline;
    std::int64_t MaxBytes = 0;
    int MinQuality = 40;
    bool ToSrgb = false;
    /** Taken when the task is planned, so that the image needs nothing from its owner while it runs. */
    TOverlaySettings OverlaySettings;
    /** Set when planning found that the image must not write (one line, logged after "ERROR: "). */
    QString Refusal;
    /** The output exists and the job skips existing outputs: the photo is neither read nor written. */
    bool SkipsExisting = false;
    /** The running number of a renamed image: the naming rule's number plus the renamed positions before it. */
    std::int64_t Number = 0;
    /** The photo's facts as planning read them; unread when the plan needed none. */
    TPhotoFacts Facts;
    /** The picture is turned upright when written: the job says so and the photo's orientation is not 1. */
    bool TurnsUpright = false;
    /** From Facts: the source as the output is turned, and the written picture's size; empty when unread. */
    std::optional<TPixelSize> SourceSize;
    std::optional<TPixelSize> PlannedSize;
    /** The outputs written beside the main one, each into its own folder of the destination. */
    std::vector<TVariantTask> Variants;
    /**
     * The run's open folders (the photo's own subfolders in a listing of subfolders), which the image reads
     * its photo from and writes its output into whatever their paths name meanwhile; null: by SourcePath and
     * DestinationPath. Shared with the run, which lets go of a subfolder once no image holds it.
     */
    std::shared_ptr<const TFolder> SourceFolder;
    std::shared_ptr<const TFolder> DestinationFolder;
    /** Nothing was at the output's place when the run began: nothing that appears there is replaced. */
    bool NewOutput = false;
    /** The run's written files, so that no image lands on another's output; null outside a run. */
    TWrittenFiles *Written = nullptr;

    /** A plain copy under the new name: renamed, neither reduced nor overlaid. */
    [[nodiscard]] bool Copies() const { return Rename && !Resize && !Overlay; }
    /** The image writes an output (any step is on). */
    [[nodiscard]] bool Writes() const { return Rename || Resize || Overlay; }
    /** The image's picture is decoded and encoded again. */
    [[nodiscard]] bool Decodes() const { return Resize || Overlay; }
    /** The quality of the written file: the overlay's own when it is drawn, the job's otherwise. */
    [[nodiscard]] int WrittenQuality() const { return Overlay ? OverlayQuality : Quality; }
    /** How the output is encoded and what it keeps: the run's and the preview's alike. */
    [[nodiscard]] TPhotoOptions Photo() const
    {
        return { .AutoOrient = AutoOrient,
            .Metadata = Metadata,
            .Coding = Coding,
            .MaxBytes = MaxBytes,
            .MinQuality = MinQuality,
            .KeepPicture = false,
            .ToSrgb = ToSrgb,
            .OverlayQuality = OverlayQuality };
    }
};

/** How a step of an image failed: "ERROR: " or "Overlay ERROR: " opens its line. */
enum class TFailureKind { Error, OverlayError };

struct TImageFailure {
    TFailureKind Kind = TFailureKind::Error;
    QString Message;
};

/** What the image writes: nothing, a copy, a reduction (the overlay drawn into it when on), or the overlay. */
enum class TImageWrite { None, Copy, Reduce, Overlay };

/** A variant written for an image. */
struct TVariantOutcome {
    QString Name;
    QString OutputPath;
    TPixelSize Size;
    qint64 Bytes = -1;
    int Quality = 0;
};

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
    /** The quality a size cap chose for the written file; empty without a cap. */
    std::optional<int> CappedQuality;
    /** The variants written, in the job's order. */
    std::vector<TVariantOutcome> Variants;
    /** Wall time the image's steps took. */
    std::chrono::nanoseconds Elapsed { 0 };
    /** Its output existed and was left as it was (nothing read, nothing written); not a failure. */
    bool Skipped = false;

    /** No step failed: its progress update follows (a failed image's is skipped). */
    [[nodiscard]] bool Completed() const { return !Failure; }
    /** A step failed or the codec warned: the image counts as failed for the exit status. */
    [[nodiscard]] bool Failed() const { return Failure || !Warnings.isEmpty(); }
};

/** The failure's and the warnings' lines ("ERROR: ...", "Overlay ERROR: ...", "WARNING: ..."), in log order. */
[[nodiscard]] QStringList ProblemLines(const TImageOutcome &outcome);

/**
 * The image's lines after its ">" and "File" lines: for a skipped image only "Skipped: B exists already";
 * else "Renaming: A to B", then "Resizing: B..." or
 * "Adding overlay: B...", then "B resized: H.. W.." and "Overlay Added" for a written reduction, then
 * the ProblemLines.
 */
[[nodiscard]] QStringList OutcomeLines(const TImageOutcome &outcome);

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
    /** Images whose existing output was left as it was; part of Done. */
    int Skipped = 0;
    int WithWarnings = 0;
    bool Stopped = false;
    std::chrono::nanoseconds Elapsed { 0 };
};

/**
 * "Summary: D of L images done, F failed, W with warnings, S s": D counts the images that were done without
 * a failure, so D + F is less than L only for a stopped run; W is part of F. Seconds with one decimal. When
 * images were skipped (their outputs existed), ", K skipped" follows D and D no longer counts them.
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
