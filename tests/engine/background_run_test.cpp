#include <memory>
#include <optional>
#include <thread>

#include <QDir>
#include <QObject>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include "engine/background_run.h"
#include "engine/batch_run.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/run_helpers.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeJob;
using test::MakeJpeg;
using test::ReadBytes;
using test::TRecordingSink;
using test::TTempDir;

// The owner's side: a fixed job and a recording sink that note any call off the owner's thread, and a Stop
// clicked once the first running number is shown, as a user would.
class TOwnerSide : public TFixedJob, public TRecordingSink
{
public:
    explicit TOwnerSide(const TFixedJob &job)
        : TFixedJob(job.Snapshot())
    {
    }
    void NumberAdvanced(std::int64_t next) override
    {
        Note();
        TFixedJob::NumberAdvanced(next);
        if (StopAtFirstNumber)
            ClickStop();
    }
    void AddStatusLine(const QString &line) override
    {
        Note();
        TRecordingSink::AddStatusLine(line);
    }
    void SetProgress(int percent) override
    {
        Note();
        TRecordingSink::SetProgress(percent);
    }

    bool StopAtFirstNumber = false;
    int OffThread = 0;

private:
    void Note() { OffThread += QThread::currentThread() != qApp->thread() ? 1 : 0; }
};

struct TSourcePhotos {
    TTempDir Source;
    TSourcePhotos()
    {
        for (const char *name : { "c.jpg", "a.jpg", "b.jpg" })
            Source.Write(QString::fromLatin1(name), MakeJpeg({ .Width = 96, .Height = 64 }));
    }
};

// Runs RunBatch through a TBackgroundRun owned by this thread until done is called.
struct TBackgroundResult {
    std::optional<TRunSummary> Summary;
    std::thread::id BodyThread;
};
TBackgroundResult RunInBackground(TOwnerSide &owner, int jobs)
{
    QObject context;
    TBackgroundResult result;
    TBackgroundRun run(
        context,
        owner,
        owner,
        [&result, jobs](TJobSource &job, TRunSink &sink) {
            result.BodyThread = std::this_thread::get_id();
            return RunBatch(job, sink, jobs);
        },
        [&result](const TRunSummary &summary, const std::exception_ptr &error) {
            EXPECT_FALSE(error);
            result.Summary = summary;
        });
    EXPECT_TRUE(QTest::qWaitFor(
        [&result] {
            return result.Summary.has_value();
        },
        60000));
    return result;
}

TEST(BackgroundRun, TellsTheOwnerOnItsThreadWhatARunOnThatThreadTells)
{
    const TSourcePhotos photos;
    for (const bool stop : { false, true }) {
        for (const int jobs : { 1, 2 }) {
            SCOPED_TRACE(testing::Message() << "jobs " << jobs << (stop ? ", stopped" : ""));
            TTempDir inlineOut;
            TTempDir backgroundOut;
            const auto configure = [stop](TOwnerSide &side) {
                side.Values().Resize = true;
                side.Values().Rename = true;
                side.Values().Namer.SetNumber(7);
                side.StopAtFirstNumber = stop;
            };
            // The oracle: the same run on this thread.
            TOwnerSide inlineSide(MakeJob(photos.Source.Path(), inlineOut.Path()));
            configure(inlineSide);
            const TRunSummary expected = RunBatch(inlineSide, inlineSide, jobs);

            TOwnerSide owner(MakeJob(photos.Source.Path(), backgroundOut.Path()));
            configure(owner);
            const TBackgroundResult result = RunInBackground(owner, jobs);
            ASSERT_TRUE(result.Summary);
            EXPECT_NE(result.BodyThread, std::this_thread::get_id());
            EXPECT_EQ(owner.OffThread, 0);
            EXPECT_EQ(owner.Lines, inlineSide.Lines);
            EXPECT_EQ(owner.Progress, inlineSide.Progress);
            EXPECT_EQ(owner.Values().Namer.Number(), inlineSide.Values().Namer.Number());
            EXPECT_EQ(result.Summary->Done, expected.Done);
            EXPECT_EQ(result.Summary->Stopped, stop);
            const QStringList written = QDir(backgroundOut.Path()).entryList(QDir::Files);
            EXPECT_EQ(written, QDir(inlineOut.Path()).entryList(QDir::Files));
            EXPECT_EQ(written.size(), stop ? 1 : 3);
            for (const QString &name : written)
                EXPECT_EQ(ReadBytes(backgroundOut.File(name)), ReadBytes(inlineOut.File(name)));
        }
    }
}

// A window destroyed during a run: the run's thread is waiting for an answer that will never come.
TEST(BackgroundRun, DestroyedBeforeItsOwnerAnswersItEndsAndTellsNothing)
{
    const TSourcePhotos photos;
    TTempDir out;
    TOwnerSide owner(MakeJob(photos.Source.Path(), out.Path()));
    owner.Values().Resize = true;
    QObject context;
    bool done = false;
    {
        TBackgroundRun run(
            context,
            owner,
            owner,
            [](TJobSource &job, TRunSink &sink) {
                return RunBatch(job, sink, 2);
            },
            [&done](const TRunSummary &, const std::exception_ptr &) {
                done = true;
            });
        // Most likely waiting for its first answer by now; either way it must end here.
        QThread::msleep(20);
    }
    QCoreApplication::processEvents();
    EXPECT_FALSE(done);
    EXPECT_EQ(owner.Lines, QStringList());
    EXPECT_EQ(QDir(out.Path()).entryList(QDir::Files), QStringList());
}

} // namespace
} // namespace vellumar
