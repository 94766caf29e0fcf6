#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <thread>

#include "engine/batch_run.h"

class QObject;

namespace vellumar
{

/**
 * A run on a thread of its own, for an owner whose job source and sink belong to another thread (a window's),
 * so that the owner's thread only draws and handles input. What the run asks is answered on the owner's
 * thread while the run waits: the job as it stands at each image's turn, and the stop request, which the
 * owner's events posted before the question have had their chance to set (so a Stop is seen between images,
 * as in a run on the owner's thread). What the run tells (lines, progress, the running number, the images'
 * records) is posted to the owner's thread in the order told. At the end, done is called there with the
 * summary, or with the error that ended the run.
 *
 * The owner's thread must go on handling events while the run lasts: it never waits for the run, except in
 * the destructor.
 */
class TBackgroundRun
{
public:
    using TBody = std::function<TRunSummary(TJobSource &job, TRunSink &sink)>;
    using TDone = std::function<void(const TRunSummary &summary, const std::exception_ptr &error)>;

    /** Starts body on its thread at once. job and sink live on owner's thread and at least as long as owner. */
    TBackgroundRun(QObject &owner, TJobSource &job, TRunSink &sink, TBody body, TDone done);
    /**
     * Called on the owner's thread. A run still going is stopped as at a Stop (the images in hand finish)
     * and waited for; it tells nothing more and done is not called.
     */
    ~TBackgroundRun();
    TBackgroundRun(const TBackgroundRun &) = delete;
    TBackgroundRun &operator=(const TBackgroundRun &) = delete;

private:
    class TRelay;
    std::shared_ptr<TRelay> mRelay;
    std::thread mThread;
};

} // namespace vellumar
