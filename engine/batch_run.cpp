#include "engine/batch_run.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <system_error>

#include "engine/img_utils.h"
#include "engine/job_settings.h"
#include "engine/source_list.h"
#include "imaging/file_io.h"
#include "overlay/jpeg_text_overlay.h"

namespace vellumar
{

namespace
{

// Overlay settings taken once, for images processed on worker threads.
class TFixedOverlaySettings : public TOverlaySettingsProvider
{
public:
    explicit TFixedOverlaySettings(TOverlaySettings settings)
        : mSettings(std::move(settings))
    {
    }
    [[nodiscard]] TOverlaySettings CurrentOverlaySettings() const override { return mSettings; }

private:
    TOverlaySettings mSettings;
};

int ProgressPercent(int done, int count)
{
    return int(std::int64_t(done) * 100 / count);
}

// The "Renaming" line is written here, while the number advances, so that it precedes the image's work.
TImageTask PlanImage(TJobSource &job, const QString &folder, const QString &name, QStringList &lines)
{
    TImageTask task;
    task.ListedName = name;
    task.SourcePath = PathInFolder(folder, name);
    task.Rename = job.RenameOn();
    if (task.Rename) {
        task.OutputName = job.SampleName();
        lines << QStringLiteral("Renaming: ") + name + QStringLiteral(" to ") + task.OutputName;
        job.AdvanceNumber();
    } else {
        task.OutputName = name;
    }
    task.DestinationPath = PathInFolder(job.DestinationFolder(), task.OutputName);
    task.Resize = job.ResizeOn();
    task.ResizePercent = job.ResizePercent();
    task.Quality = job.Quality();
    task.Overlay = job.OverlayOn();
    return task;
}

QStringList ImageHeader(int index, int count)
{
    return { QStringLiteral(">"), QStringLiteral("File %1 of %2").arg(index + 1).arg(count) };
}

bool SameDirectory(const QString &first, const QString &second)
{
    std::error_code error;
    return std::filesystem::equivalent(ToPath(first), ToPath(second), error) && !error;
}

} // namespace

bool ProcessImage(const TImageTask &task,
    const TOverlaySettingsProvider &overlay,
    const std::function<void(const QString &)> &log)
{
    if (task.Rename && !task.Resize && !task.Overlay)
        (void)CopyImageFile(task.SourcePath, task.DestinationPath);
    if (task.Resize) {
        log(QStringLiteral("Resizing: ") + task.OutputName + QStringLiteral("..."));
        try {
            TReportedSize reported;
            if (ResizeJpegFile(task.SourcePath,
                    task.DestinationPath,
                    task.Quality,
                    ScaleFromPercent(task.ResizePercent),
                    task.Overlay,
                    overlay,
                    reported)) {
                log(task.OutputName + QStringLiteral(" resized: H%1 W%2").arg(reported.Height).arg(reported.Width));
                if (task.Overlay)
                    log(QStringLiteral("Overlay Added"));
            }
        } catch (const EOverlayException &error) {
            log(QStringLiteral("Overlay ERROR: ") + error.Message());
            return false;
        } catch (const std::exception &error) {
            log(QStringLiteral("ERROR: ") + QString::fromUtf8(error.what()));
            return false;
        }
    } else if (task.Overlay) {
        log(QStringLiteral("Adding overlay: ") + task.OutputName + QStringLiteral("..."));
        try {
            AddOverlayToFile(task.SourcePath, task.DestinationPath, overlay);
        } catch (const std::exception &error) {
            // Codec failures while decoding are logged too: a broken photo never passes silently.
            log(QStringLiteral("Overlay ERROR: ") + QString::fromUtf8(error.what()));
            return false;
        }
    }
    return true;
}

void RunBatch(TJobSource &job, TRunSink &sink)
{
    sink.SetProgress(0);
    sink.ClearStopRequest();
    sink.AddStatusLine(QString());
    const QString folder = job.SourceFolder();
    const QStringList names = job.SourceNames();
    const int count = int(names.size());
    const auto log = [&sink](const QString &line) {
        sink.AddStatusLine(line);
    };
    for (int i = 0; i < count; ++i) {
        sink.ProcessPendingEvents();
        if (sink.StopRequested()) {
            sink.AddStatusLine(QStringLiteral("Processing ABORTED !"));
            return;
        }
        for (const QString &line : ImageHeader(i, count))
            sink.AddStatusLine(line);
        QStringList renameLines;
        const TImageTask task = PlanImage(job, folder, names[i], renameLines);
        for (const QString &line : renameLines)
            sink.AddStatusLine(line);
        if (!ProcessImage(task, job.Overlay(), log))
            continue;
        sink.SetProgress(ProgressPercent(i + 1, count));
        sink.ProcessPendingEvents();
    }
    sink.AddStatusLine(QStringLiteral("FINISHED"));
    sink.SetProgress(0);
}

void RunBatchParallel(TJobSource &job, TRunSink &sink, int jobs)
{
    // Into the source folder, an output may replace a later input: one image at a time then.
    if (jobs <= 1 || SameDirectory(job.SourceFolder(), job.DestinationFolder())) {
        RunBatch(job, sink);
        return;
    }
    sink.SetProgress(0);
    sink.ClearStopRequest();
    sink.AddStatusLine(QString());
    const QString folder = job.SourceFolder();
    const QStringList names = job.SourceNames();
    const int count = int(names.size());

    // A worker starts as soon as one is free, even while an earlier image still runs; finished images wait
    // here with their lines until every image before them has been written.
    struct TInFlight {
        QStringList Lines;
        // Set by the worker under mutex before it signals.
        QStringList WorkLines;
        bool Ok = false;
        bool Done = false;
        std::exception_ptr Error;
        std::future<void> Worker;
    };
    std::mutex mutex;
    std::condition_variable finished;
    int running = 0;
    // Declared after what the workers use, so that its futures wait for them before those go away.
    std::deque<std::unique_ptr<TInFlight>> inFlight;
    int started = 0;
    bool stopped = false;
    for (int emitted = 0; emitted < count;) {
        while (!stopped && started < count) {
            {
                const std::lock_guard lock(mutex);
                if (running >= jobs)
                    break;
            }
            sink.ProcessPendingEvents();
            if (sink.StopRequested()) {
                stopped = true;
                break;
            }
            auto next = std::make_unique<TInFlight>();
            next->Lines = ImageHeader(started, count);
            const TImageTask task = PlanImage(job, folder, names[started], next->Lines);
            TInFlight *entry = next.get();
            {
                const std::lock_guard lock(mutex);
                ++running;
            }
            // Settings are read here, on this thread; the worker only gets values.
            next->Worker = std::async(std::launch::async,
                [task, settings = job.Overlay().CurrentOverlaySettings(), entry, &mutex, &finished, &running] {
                    QStringList lines;
                    bool ok = false;
                    std::exception_ptr error;
                    try {
                        const TFixedOverlaySettings overlay(settings);
                        ok = ProcessImage(task, overlay, [&lines](const QString &line) {
                            lines << line;
                        });
                    } catch (...) {
                        error = std::current_exception();
                    }
                    {
                        const std::lock_guard lock(mutex);
                        entry->WorkLines = std::move(lines);
                        entry->Ok = ok;
                        entry->Error = error;
                        entry->Done = true;
                        --running;
                    }
                    finished.notify_one();
                });
            inFlight.push_back(std::move(next));
            ++started;
        }
        if (inFlight.empty())
            break;
        TInFlight &front = *inFlight.front();
        {
            std::unique_lock lock(mutex);
            const bool mayStart = !stopped && started < count;
            finished.wait(lock, [&] {
                return front.Done || (mayStart && running < jobs);
            });
            if (!front.Done)
                continue;
        }
        front.Worker.get();
        if (front.Error)
            std::rethrow_exception(front.Error);
        for (const QString &line : front.Lines + front.WorkLines)
            sink.AddStatusLine(line);
        const bool ok = front.Ok;
        inFlight.pop_front();
        ++emitted;
        if (ok) {
            sink.SetProgress(ProgressPercent(emitted, count));
            sink.ProcessPendingEvents();
        }
    }
    if (stopped && started < count) {
        sink.AddStatusLine(QStringLiteral("Processing ABORTED !"));
        return;
    }
    sink.AddStatusLine(QStringLiteral("FINISHED"));
    sink.SetProgress(0);
}

} // namespace vellumar
