#include "engine/batch_run.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <future>
#include <memory>
#include <mutex>

#include "engine/fixed_job.h"
#include "engine/folder_rules.h"
#include "engine/img_utils.h"
#include "engine/job_settings.h"
#include "engine/source_list.h"
#include "overlay/jpeg_text_overlay.h"

namespace vellumar
{

namespace
{

int ProgressPercent(int done, int count)
{
    return int(std::int64_t(done) * 100 / count);
}

// Reads every setting the image needs now, on the run's thread, and advances the running number.
TImageTask PlanImage(TJobSource &job, const QString &folder, const QString &name)
{
    TImageTask task;
    task.ListedName = name;
    task.SourcePath = PathInFolder(folder, name);
    task.Rename = job.RenameOn();
    if (task.Rename) {
        task.OutputName = job.SampleName();
        job.AdvanceNumber();
    } else {
        task.OutputName = name;
    }
    task.DestinationPath = PathInFolder(job.DestinationFolder(), task.OutputName);
    task.Resize = job.ResizeOn();
    task.ResizePercent = job.ResizePercent();
    task.Quality = job.Quality();
    task.Overlay = job.OverlayOn();
    if (task.Overlay)
        task.OverlaySettings = job.Overlay().CurrentOverlaySettings();
    return task;
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

    // An event point: the owner's events run, and a new stop request is noted.
    void ProcessPendingEvents(int started)
    {
        mSink.ProcessPendingEvents();
        if (mStopSeenAfter < 0 && mSink.StopRequested()) {
            mStopSeenAfter = started;
            WriteStopLineWhenDue();
        }
    }
    void Report(const QStringList &header, const TImageOutcome &outcome, int started)
    {
        for (const QString &line : header + outcome.Lines)
            mSink.AddStatusLine(line);
        ++mReported;
        WriteStopLineWhenDue();
        if (outcome.Completed) {
            mSink.SetProgress(ProgressPercent(mReported, mCount));
            ProcessPendingEvents(started);
        }
    }

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
};

} // namespace

TImageOutcome ProcessImage(const TImageTask &task)
{
    TImageOutcome outcome;
    const auto startTime = std::chrono::steady_clock::now();
    const auto log = [&outcome](const QString &line) {
        outcome.Lines << line;
    };
    const TFixedOverlaySettings overlay(task.OverlaySettings);
    if (task.Rename)
        log(QStringLiteral("Renaming: ") + task.ListedName + QStringLiteral(" to ") + task.OutputName);
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
            outcome.Completed = false;
        } catch (const std::exception &error) {
            log(QStringLiteral("ERROR: ") + QString::fromUtf8(error.what()));
            outcome.Completed = false;
        }
    } else if (task.Overlay) {
        log(QStringLiteral("Adding overlay: ") + task.OutputName + QStringLiteral("..."));
        try {
            AddOverlayToFile(task.SourcePath, task.DestinationPath, overlay);
        } catch (const std::exception &error) {
            // Codec failures while decoding are logged too: a broken photo never passes silently.
            log(QStringLiteral("Overlay ERROR: ") + QString::fromUtf8(error.what()));
            outcome.Completed = false;
        }
    }
    outcome.Failed = !outcome.Completed;
    outcome.Elapsed = std::chrono::steady_clock::now() - startTime;
    return outcome;
}

void RunBatch(TJobSource &job, TRunSink &sink, int jobs)
{
    sink.SetProgress(0);
    sink.ClearStopRequest();
    sink.AddStatusLine(QString());
    const QString folder = job.SourceFolder();
    const QStringList names = job.SourceNames();
    const int count = int(names.size());
    // Into the source folder, an output may replace a later input: one image at a time then.
    const int parallel = jobs > 1 && !NameSameFolder(job.DestinationFolder(), folder) ? jobs : 1;
    // Finished images wait here for their turn; the bound keeps a slow image from piling up the rest.
    const std::size_t windowSize = std::size_t(parallel) * 4;

    struct TPending {
        QStringList Header;
        std::future<TImageOutcome> Outcome;
        bool Done = false; // set under the mutex by the worker
    };
    std::mutex mutex;
    std::condition_variable finished;
    int running = 0;
    // Declared after what the workers use, so that its futures wait for them before those go away.
    std::deque<std::unique_ptr<TPending>> pending;
    TOrderedReport report(sink, count);
    int started = 0;
    bool stopped = false;
    for (;;) {
        while (!stopped && started < count && pending.size() < windowSize) {
            {
                const std::lock_guard lock(mutex);
                if (running >= parallel)
                    break;
            }
            report.ProcessPendingEvents(started);
            if (sink.StopRequested()) {
                stopped = true;
                break;
            }
            auto next = std::make_unique<TPending>();
            next->Header = ImageHeader(started, count);
            const TImageTask task = PlanImage(job, folder, names[started]);
            ++started;
            if (parallel == 1) {
                std::promise<TImageOutcome> done;
                done.set_value(ProcessImage(task));
                next->Outcome = done.get_future();
                next->Done = true;
                pending.push_back(std::move(next));
                break;
            }
            TPending *entry = next.get();
            {
                const std::lock_guard lock(mutex);
                ++running;
            }
            next->Outcome = std::async(std::launch::async, [task, entry, &mutex, &finished, &running] {
                // Whatever happens, the slot is given back and the run is woken.
                struct TRelease {
                    TPending *Entry;
                    std::mutex &Mutex;
                    std::condition_variable &Finished;
                    int &Running;
                    ~TRelease()
                    {
                        {
                            const std::lock_guard lock(Mutex);
                            Entry->Done = true;
                            --Running;
                        }
                        Finished.notify_one();
                    }
                } release { entry, mutex, finished, running };
                return ProcessImage(task);
            });
            pending.push_back(std::move(next));
        }
        if (pending.empty())
            break;
        TPending &front = *pending.front();
        {
            std::unique_lock lock(mutex);
            const bool mayStart = !stopped && started < count && pending.size() < windowSize;
            finished.wait(lock, [&] {
                return front.Done || (mayStart && running < parallel);
            });
            if (!front.Done)
                continue;
        }
        const TImageOutcome outcome = front.Outcome.get();
        const QStringList header = front.Header;
        pending.pop_front();
        report.Report(header, outcome, started);
    }
    if (stopped) {
        sink.AddStatusLine(QStringLiteral("Processing ABORTED !"));
        return;
    }
    sink.AddStatusLine(QStringLiteral("FINISHED"));
    sink.SetProgress(0);
}

} // namespace vellumar
