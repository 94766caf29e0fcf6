#include "engine/background_run.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>

#include <QMetaObject>
#include <QObject>

#include "imaging/errors.h"

namespace vellumar
{

// The run's job source and sink, on the run's thread, passing each call on to the owner's thread. Shared
// with the calls posted there, so that a call handled late finds it still alive.
class TBackgroundRun::TRelay final : public TJobSource, public TRunSink, public std::enable_shared_from_this<TRelay>
{
public:
    TRelay(QObject &owner, TJobSource &job, TRunSink &sink)
        : mOwner(owner)
        , mJob(job)
        , mSink(sink)
    {
    }

    // The job taken at the event point just before, when there was one: the run asks for the job right after
    // its event point, so one wait on the owner serves both.
    [[nodiscard]] TJob Snapshot() const override
    {
        if (!std::exchange(mJobTaken, false) && !Ask([](const TRelay &relay) {
                relay.mJobAnswer = relay.mJob.Snapshot();
            }))
            throw Exception(QStringLiteral("The run was abandoned"));
        return std::exchange(mJobAnswer, TJob {});
    }
    void NumberAdvanced(std::int64_t next) override
    {
        Tell([next](TJobSource &job, TRunSink &) {
            job.NumberAdvanced(next);
        });
    }

    void AddStatusLine(const QString &line) override
    {
        Tell([line](TJobSource &, TRunSink &sink) {
            sink.AddStatusLine(line);
        });
    }
    void SetProgress(int percent) override
    {
        Tell([percent](TJobSource &, TRunSink &sink) {
            sink.SetProgress(percent);
        });
    }
    // The owner's events posted before this point are handled before the answer comes back, a Stop among them.
    void ProcessPendingEvents() override
    {
        mJobTaken = Ask([](const TRelay &relay) {
            relay.mStopAnswer = relay.mSink.StopRequested();
            relay.mJobAnswer = relay.mJob.Snapshot();
        });
        if (!mJobTaken)
            mStopAnswer = true;
    }
    [[nodiscard]] bool StopRequested() const override { return mStopAnswer; }
    void ClearStopRequest() override
    {
        (void)Ask([](const TRelay &relay) {
            relay.mSink.ClearStopRequest();
        });
        mStopAnswer = false;
    }
    void ImageReported(int position, const TImageTask &task, const TImageOutcome &outcome) override
    {
        // The run's open folders and written files are gone by the time the owner reads the task.
        TImageTask told = task;
        told.SourceFolder = nullptr;
        told.DestinationFolder = nullptr;
        told.Written = nullptr;
        Tell([position, told = std::move(told), outcome](TJobSource &, TRunSink &sink) {
            sink.ImageReported(position, told, outcome);
        });
    }

    // Posts message to the owner's thread; it is dropped once the run is abandoned.
    void Tell(std::function<void(TJobSource &, TRunSink &)> message) const
    {
        QMetaObject::invokeMethod(
            &mOwner,
            [self = shared_from_this(), message = std::move(message)] {
                if (!self->Abandoned())
                    message(self->mJob, self->mSink);
            },
            Qt::QueuedConnection);
    }

    // From the owner's thread: no question is answered and nothing is told any more.
    void Abandon()
    {
        {
            const std::lock_guard lock(mMutex);
            mAbandoned = true;
        }
        mAnswered.notify_all();
    }

private:
    [[nodiscard]] bool Abandoned() const
    {
        const std::lock_guard lock(mMutex);
        return mAbandoned;
    }

    // Runs question on the owner's thread and waits for it; false when the run was abandoned first.
    [[nodiscard]] bool Ask(std::function<void(const TRelay &)> question) const
    {
        std::unique_lock lock(mMutex);
        if (mAbandoned)
            return false;
        const std::uint64_t ticket = ++mAsked;
        lock.unlock();
        QMetaObject::invokeMethod(
            &mOwner,
            [self = shared_from_this(), question = std::move(question), ticket] {
                // Abandoned only on this thread: an answer begun is finished.
                if (self->Abandoned())
                    return;
                question(*self);
                {
                    const std::lock_guard answered(self->mMutex);
                    self->mAnsweredTicket = ticket;
                }
                self->mAnswered.notify_all();
            },
            Qt::QueuedConnection);
        lock.lock();
        mAnswered.wait(lock, [&] {
            return mAbandoned || mAnsweredTicket >= ticket;
        });
        return mAnsweredTicket >= ticket;
    }

    QObject &mOwner;
    TJobSource &mJob;
    TRunSink &mSink;
    mutable std::mutex mMutex;
    mutable std::condition_variable mAnswered;
    mutable std::uint64_t mAsked = 0;
    mutable std::uint64_t mAnsweredTicket = 0;
    bool mAbandoned = false;
    // Written on the owner's thread by a question, read on the run's thread once it is answered.
    mutable TJob mJobAnswer;
    mutable bool mStopAnswer = false;
    // Run's thread only: mJobAnswer holds the job of the last event point, not yet handed out.
    mutable bool mJobTaken = false;
};

TBackgroundRun::TBackgroundRun(QObject &owner, TJobSource &job, TRunSink &sink, TBody body, TDone done)
    : mRelay(std::make_shared<TRelay>(owner, job, sink))
{
    mThread = std::thread([relay = mRelay, body = std::move(body), done = std::move(done)] {
        TRunSummary summary;
        std::exception_ptr error;
        try {
            summary = body(*relay, *relay);
        } catch (...) {
            error = std::current_exception();
        }
        relay->Tell([done, summary, error](TJobSource &, TRunSink &) {
            done(summary, error);
        });
    });
}

TBackgroundRun::~TBackgroundRun()
{
    mRelay->Abandon();
    mThread.join();
}

} // namespace vellumar
