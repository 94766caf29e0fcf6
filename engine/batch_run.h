#pragma once

#include <functional>

#include <QString>
#include <QStringList>

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
    [[nodiscard]] virtual int Quality() const = 0;
    [[nodiscard]] virtual bool RenameOn() const = 0;
    /** The name the next renamed image receives. */
    [[nodiscard]] virtual QString SampleName() const = 0;
    /** Advances the running number by one and brings the sample name up to date. */
    virtual void AdvanceNumber() = 0;
    [[nodiscard]] virtual bool OverlayOn() const = 0;
    [[nodiscard]] virtual const TOverlaySettingsProvider &Overlay() const = 0;
};

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
    [[nodiscard]] virtual bool StopRequested() const = 0;
    virtual void ClearStopRequest() = 0;
};

/** One image's work, fixed when its turn comes. */
struct TImageTask {
    QString ListedName;
    QString SourcePath;
    QString OutputName;
    QString DestinationPath;
    bool Rename = false;
    bool Resize = false;
    bool Overlay = false;
    int ResizePercent = 50;
    int Quality = 90;
};

/**
 * Runs the steps of one image and writes its lines through log (the ">" and "File" lines excluded).
 * Returns false when a guarded step failed and was logged, so the image's progress update is skipped.
 */
bool ProcessImage(const TImageTask &task,
    const TOverlaySettingsProvider &overlay,
    const std::function<void(const QString &)> &log);

/**
 * The batch run: every listed image in order, its status lines, the progress, the stop request tested
 * before each image, failures logged and the run going on. Errors outside the guarded steps pass on.
 */
void RunBatch(TJobSource &job, TRunSink &sink);

/**
 * The same run with up to jobs images processed at once: identical files and log to RunBatch for a
 * job whose settings do not change during the run (the command line's). Lines of each image appear
 * in listing order. A stop request lets running images finish and starts no new one.
 */
void RunBatchParallel(TJobSource &job, TRunSink &sink, int jobs);

} // namespace vellumar
