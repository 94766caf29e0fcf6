#include <functional>
#include <utility>

#include <QDir>

#include <gtest/gtest.h>

#include "engine/batch_run.h"
#include "engine/fixed_job.h"
#include "engine/job_settings.h"
#include "engine/source_list.h"
#include "imaging/jpeg_image.h"
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
using test::TJpegFixtureOptions;
using test::TRecordingSink;
using test::TTempDir;

class BatchRun : public ::testing::Test
{
protected:
    void AddPhotos(int count, int width = 64, int height = 48)
    {
        for (int i = 1; i <= count; ++i) {
            TJpegFixtureOptions options;
            options.Width = width;
            options.Height = height;
            mSource.Write(QStringLiteral("img%1.jpg").arg(i), MakeJpeg(options));
        }
    }
    [[nodiscard]] QStringList DestinationFiles() const
    {
        return QDir(mDestination.Path()).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }

    TTempDir mSource;
    TTempDir mDestination;
};

TEST_F(BatchRun, EmptyListingLogsABlankLineAndFinished)
{
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path() + QLatin1Char('/'));
    TRecordingSink sink;
    RunBatch(job, sink);
    EXPECT_EQ(sink.Lines, (QStringList { QString(), QStringLiteral("FINISHED") }));
    EXPECT_EQ(sink.Progress, (std::vector<int> { 0, 0 }));
}

TEST_F(BatchRun, AllSwitchesOffLogsEachImageAndWritesNothing)
{
    AddPhotos(3);
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path() + QLatin1Char('/'));
    TRecordingSink sink;
    RunBatch(job, sink);
    EXPECT_EQ(sink.Lines,
        (QStringList { QString(),
            QStringLiteral(">"),
            QStringLiteral("File 1 of 3"),
            QStringLiteral(">"),
            QStringLiteral("File 2 of 3"),
            QStringLiteral(">"),
            QStringLiteral("File 3 of 3"),
            QStringLiteral("FINISHED") }));
    EXPECT_EQ(sink.Progress, (std::vector<int> { 0, 33, 66, 100, 0 }));
    EXPECT_TRUE(DestinationFiles().isEmpty());
}

TEST_F(BatchRun, RenameOnlyCopiesUnderNewNamesAndAFailingCopyIsLogged)
{
    AddPhotos(2);
    mSource.WriteText(QStringLiteral("img3.jpg"), QByteArray()); // empty: its copy fails
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path());
    job.Values().Rename = true;
    job.Values().Namer.SetPrefix(QStringLiteral("beach"));
    job.Values().Namer.SetPadding(2);
    job.Values().Namer.SetNumber(7);
    job.Values().Namer.SetSuffix(QStringLiteral("_web"));
    TRecordingSink sink;
    RunBatch(job, sink);
    EXPECT_EQ(sink.Lines.mid(1, 3),
        (QStringList { QStringLiteral(">"),
            QStringLiteral("File 1 of 3"),
            QStringLiteral("Renaming: img1.jpg to beach007_web.jpg") }));
    EXPECT_EQ(sink.Lines.mid(7),
        (QStringList { QStringLiteral(">"),
            QStringLiteral("File 3 of 3"),
            QStringLiteral("Renaming: img3.jpg to beach009_web.jpg"),
            QStringLiteral("ERROR: %1 is empty (0 bytes); it is not copied")
                .arg(mSource.File(QStringLiteral("img3.jpg"))),
            QStringLiteral("FINISHED") }));
    EXPECT_EQ(sink.Summary.value(0).section(QLatin1Char(','), 0, 2),
        QStringLiteral("Summary: 2 of 3 images done, 1 failed, 0 with warnings"));
    EXPECT_EQ(DestinationFiles(),
        (QStringList { QStringLiteral("beach007_web.jpg"), QStringLiteral("beach008_web.jpg") }));
    EXPECT_EQ(ReadBytes(mDestination.File(QStringLiteral("beach008_web.jpg"))),
        ReadBytes(mSource.File(QStringLiteral("img2.jpg"))));
    EXPECT_EQ(job.Values().Namer.NumberText(), QStringLiteral("010"));
}

TEST_F(BatchRun, ResizeWithOverlayLogsEveryStep)
{
    AddPhotos(1, 1001, 801);
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path());
    job.Values().Resize = true;
    job.Values().Overlay = true;
    job.Values().Quality = 40;
    TRecordingSink sink;
    RunBatch(job, sink);
    EXPECT_EQ(sink.Lines,
        (QStringList { QString(),
            QStringLiteral(">"),
            QStringLiteral("File 1 of 1"),
            QStringLiteral("Resizing: img1.jpg..."),
            QStringLiteral("img1.jpg resized: H401 W501"),
            QStringLiteral("Overlay Added"),
            QStringLiteral("FINISHED") }));
    TJPEGImage written;
    written.LoadJpegFile(mDestination.File(QStringLiteral("img1.jpg")));
    EXPECT_EQ(written.ImageWidth(), 500);
    EXPECT_EQ(written.ImageHeight(), 400);
}

TEST_F(BatchRun, StopAfterImageKEndsBeforeTheNext)
{
    AddPhotos(3);
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path());
    TRecordingSink sink;
    // The click lands at the event point after image 1's progress update.
    sink.OnEvents = [](TRecordingSink &s) {
        if (s.Progress.back() == 33 && !s.Stop)
            s.ClickStop();
    };
    RunBatch(job, sink);
    EXPECT_EQ(sink.Lines,
        (QStringList { QString(),
            QStringLiteral(">"),
            QStringLiteral("File 1 of 3"),
            QStringLiteral("Aborting..."),
            QStringLiteral("Processing ABORTED !") }));
    EXPECT_EQ(sink.Progress.back(), 33);

    // The next run is not stopped at its first image.
    sink.OnEvents = nullptr;
    sink.Lines.clear();
    RunBatch(job, sink);
    EXPECT_EQ(sink.Lines.size(), 8);
    EXPECT_EQ(sink.Lines.back(), QStringLiteral("FINISHED"));
}

// Once the last image has started there is nothing left to stop: the run finishes, with no "Aborting...".
TEST_F(BatchRun, StopAfterTheLastImageHasStartedChangesNothing)
{
    AddPhotos(2);
    // One job: the event point after the last image. Two: the one after the first image, the second running.
    for (const auto &[jobs, percent] : { std::pair { 1, 100 }, std::pair { 2, 50 } }) {
        TTempDir out;
        TFixedJob job = MakeJob(mSource.Path(), out.Path());
        job.Values().Rename = true;
        TRecordingSink sink;
        sink.OnEvents = [percent = percent](TRecordingSink &s) {
            if (s.Progress.back() == percent && !s.Stop)
                s.ClickStop();
        };
        const TRunSummary summary = RunBatch(job, sink, jobs);
        EXPECT_TRUE(sink.Stop) << jobs;
        EXPECT_FALSE(summary.Stopped) << jobs;
        EXPECT_FALSE(sink.Lines.contains(QStringLiteral("Aborting..."))) << jobs;
        EXPECT_EQ(sink.Lines.mid(sink.Lines.size() - 2),
            (QStringList { QStringLiteral("Renaming: img2.jpg to 2.jpg"), QStringLiteral("FINISHED") }))
            << jobs;
        EXPECT_EQ(sink.Progress.back(), 0) << jobs;
    }
}

TEST_F(BatchRun, FailureInImageTwoIsLoggedAndTheNumberingHasAGap)
{
    AddPhotos(3);
    mSource.WriteText(QStringLiteral("img2.jpg"), "not a photo");
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path());
    job.Values().Rename = true;
    job.Values().Resize = true;
    TRecordingSink sink;
    RunBatch(job, sink);
    ASSERT_EQ(sink.Lines.size(), 17);
    EXPECT_EQ(sink.Lines[9], QStringLiteral("Resizing: 2.jpg..."));
    EXPECT_TRUE(sink.Lines[10].startsWith(QLatin1String("ERROR: JPEG error #"))) << sink.Lines[10].toStdString();
    EXPECT_EQ(sink.Lines[13], QStringLiteral("Renaming: img3.jpg to 3.jpg"));
    EXPECT_EQ(sink.Progress, (std::vector<int> { 0, 33, 100, 0 }));
    EXPECT_EQ(DestinationFiles(), (QStringList { QStringLiteral("1.jpg"), QStringLiteral("3.jpg") }));
    EXPECT_EQ(job.Values().Namer.Number(), 4);
}

TEST_F(BatchRun, TheWorkListIsTakenAtStart)
{
    AddPhotos(3);
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path());
    TRecordingSink sink;
    // Another source folder chosen during the run changes the list, not the run.
    sink.OnEvents = [&](TRecordingSink &) {
        job.Values().SourceNames.clear();
    };
    RunBatch(job, sink);
    EXPECT_TRUE(sink.Lines.contains(QStringLiteral("File 3 of 3")));
    EXPECT_EQ(sink.Lines.back(), QStringLiteral("FINISHED"));
}

TEST_F(BatchRun, ARunIntoTheSourceFolderLeavesTheListAsItWas)
{
    AddPhotos(2);
    TFixedJob job = MakeJob(mSource.Path(), mSource.Path());
    job.Values().Rename = true;
    job.Values().Resize = true;
    TSourceList list(mSource.Path());
    const QStringList before = list.Names();
    TRecordingSink sink;
    RunBatch(job, sink);
    EXPECT_EQ(sink.Lines.back(), QStringLiteral("FINISHED"));
    EXPECT_EQ(QDir(mSource.Path()).entryList(QDir::Files).size(), 4);
    EXPECT_EQ(list.Names(), before);
    list.ChangeListFolder(mSource.Path());
    EXPECT_EQ(list.Names(), before) << "choosing the shown folder again does not re-read it";
}

TEST_F(BatchRun, ParallelRunGivesTheSameLogAndFiles)
{
    AddPhotos(6, 120, 90);
    mSource.WriteText(QStringLiteral("img4.jpg"), "broken");
    TTempDir serialOut;
    TFixedJob serial = MakeJob(mSource.Path(), serialOut.Path());
    serial.Values().Rename = serial.Values().Resize = serial.Values().Overlay = true;
    TRecordingSink serialSink;
    RunBatch(serial, serialSink);

    // The default memory budget, and one so small that every image runs alone.
    for (const std::uint64_t budget : { std::uint64_t(0), std::uint64_t(1) }) {
        TTempDir out;
        TFixedJob parallel = MakeJob(mSource.Path(), out.Path());
        parallel.Values().Rename = parallel.Values().Resize = parallel.Values().Overlay = true;
        TRecordingSink parallelSink;
        RunBatch(parallel, parallelSink, 4, {}, budget);
        EXPECT_EQ(parallelSink.Lines.join(QLatin1Char('\n')).replace(out.Path(), QStringLiteral("D")),
            serialSink.Lines.join(QLatin1Char('\n')).replace(serialOut.Path(), QStringLiteral("D")));
        EXPECT_EQ(parallelSink.Progress, serialSink.Progress);
        const QStringList files = QDir(out.Path()).entryList(QDir::Files);
        EXPECT_EQ(files.size(), 5);
        for (const QString &name : files)
            EXPECT_EQ(ReadBytes(out.File(name)), ReadBytes(serialOut.File(name))) << name.toStdString();
    }
}

// Workers start as soon as one is free: the small images behind a large one finish first and wait for
// their turn, so the log and the files are still those of the serial run.
TEST_F(BatchRun, ParallelRunKeepsTheListingOrderWhenLaterImagesFinishFirst)
{
    mSource.Write(QStringLiteral("a_large.jpg"), MakeJpeg({ .Width = 1600, .Height = 1200 }));
    AddPhotos(5, 40, 30);
    TTempDir serialOut;
    TFixedJob serial = MakeJob(mSource.Path(), serialOut.Path());
    serial.Values().Rename = serial.Values().Resize = serial.Values().Overlay = true;
    TRecordingSink serialSink;
    RunBatch(serial, serialSink);

    TFixedJob parallel = MakeJob(mSource.Path(), mDestination.Path());
    parallel.Values().Rename = parallel.Values().Resize = parallel.Values().Overlay = true;
    TRecordingSink parallelSink;
    RunBatch(parallel, parallelSink, 2);
    EXPECT_EQ(parallelSink.Lines.join(QLatin1Char('\n')).replace(mDestination.Path(), QStringLiteral("D")),
        serialSink.Lines.join(QLatin1Char('\n')).replace(serialOut.Path(), QStringLiteral("D")));
    EXPECT_EQ(parallelSink.Progress, serialSink.Progress);
    const QStringList files = DestinationFiles();
    EXPECT_EQ(files.size(), 6);
    for (const QString &name : files)
        EXPECT_EQ(ReadBytes(mDestination.File(name)), ReadBytes(serialOut.File(name))) << name.toStdString();
}

// The stop line follows the lines of the image that was running when the stop was seen, as in a
// one-at-a-time run.
TEST_F(BatchRun, ParallelStopLetsTheRunningImageFinishAndStartsNoOther)
{
    AddPhotos(3);
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path());
    job.Values().Rename = true;
    TRecordingSink sink;
    // The second event point comes before the second image would start.
    sink.OnEvents = [](TRecordingSink &s) {
        if (s.EventPoints == 2 && !s.Stop)
            s.ClickStop();
    };
    RunBatch(job, sink, 2);
    EXPECT_EQ(sink.Lines,
        (QStringList { QString(),
            QStringLiteral(">"),
            QStringLiteral("File 1 of 3"),
            QStringLiteral("Renaming: img1.jpg to 1.jpg"),
            QStringLiteral("Aborting..."),
            QStringLiteral("Processing ABORTED !") }));
    EXPECT_EQ(DestinationFiles(), QStringList { QStringLiteral("1.jpg") });
}

} // namespace
} // namespace vellumar
