// A run on file systems that misbehave: files and folders that go away, names that would leave the
// destination, sources too large to read, a full disk. Every failed image says so in one ERROR line
// and counts as failed; nothing else is touched.
#include <QDir>
#include <QFile>
#include <QScopeGuard>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include "imaging/file_io.h"
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

class HostileFs : public ::testing::Test
{
protected:
    void AddPhotos(int count, int width = 64, int height = 48)
    {
        for (int i = 1; i <= count; ++i)
            mSource.Write(QStringLiteral("img%1.jpg").arg(i), MakeJpeg({ .Width = width, .Height = height }));
    }
    [[nodiscard]] QStringList Errors() const { return mSink.Lines.filter(QStringLiteral("ERROR: ")); }

    TTempDir mSource;
    TTempDir mDestination;
    TRecordingSink mSink;
};

TEST_F(HostileFs, ASourceDeletedDuringTheRun)
{
    AddPhotos(3);
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path());
    job.Values().Resize = true;
    mSink.OnEvents = [&](TRecordingSink &s) {
        if (s.EventPoints == 2)
            QFile::remove(mSource.File(QStringLiteral("img2.jpg")));
    };
    const TRunSummary summary = RunBatch(job, mSink);
    EXPECT_EQ(Errors(), QStringList { QStringLiteral("ERROR: Cannot open file ") + mSource.File("img2.jpg") });
    EXPECT_EQ(summary.Failed, 1);
}

TEST_F(HostileFs, ADestinationFolderMissingOrRemovedDuringTheRun)
{
    AddPhotos(2);
    const QString gone = mDestination.File(QStringLiteral("gone"));
    ASSERT_TRUE(QDir().mkdir(gone));
    TFixedJob job = MakeJob(mSource.Path(), gone + QLatin1Char('/'));
    job.Values().Overlay = true;
    mSink.OnEvents = [&](TRecordingSink &s) {
        if (s.EventPoints == 2)
            QDir(gone).removeRecursively();
    };
    RunBatch(job, mSink);
    EXPECT_EQ(Errors(),
        QStringList {
            QStringLiteral("ERROR: Cannot create file %1/img2.jpg: the folder %1/ does not exist").arg(gone) });

    // Missing from the start, with the overlay alone: every image says so.
    mSink.Lines.clear();
    RunBatch(job, mSink);
    EXPECT_EQ(Errors().size(), 2);
}

TEST_F(HostileFs, ASlashInTheNameNeverLeavesTheDestination)
{
    AddPhotos(2);
    const QString escape = QStringLiteral("../") + QDir(mSource.Path()).dirName() + QLatin1Char('/');
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path());
    job.Values().Rename = true;
    job.Values().Namer.SetPrefix(escape);
    const auto before = ReadBytes(mSource.File(QStringLiteral("img1.jpg")));
    const TRunSummary summary = RunBatch(job, mSink);
    EXPECT_EQ(summary.Failed, 2);
    EXPECT_TRUE(Errors().value(0).startsWith(
        QStringLiteral("ERROR: Cannot create file %1/%2").arg(mDestination.Path(), escape)));
    EXPECT_EQ(QDir(mSource.Path()).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(ReadBytes(mSource.File(QStringLiteral("img1.jpg"))), before);
    EXPECT_TRUE(QDir(mDestination.Path()).entryList(QDir::Files).isEmpty());
}

TEST_F(HostileFs, ACopyOfASourceOverTheSizeLimit)
{
    AddPhotos(1);
    // Sparse: the size is there without the bytes.
    QFile huge(mSource.File(QStringLiteral("img2.jpg")));
    ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
    ASSERT_TRUE(huge.resize(qint64(kMaxFileBytes) + 1));
    huge.close();
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path());
    job.Values().Rename = true;
    RunBatch(job, mSink);
    ASSERT_EQ(Errors().size(), 1);
    EXPECT_TRUE(Errors()[0].startsWith(QStringLiteral("ERROR: File too large: ") + mSource.File("img2.jpg")));
    EXPECT_EQ(QDir(mDestination.Path()).entryList(QDir::Files), QStringList { QStringLiteral("1.jpg") });
}

// Damage the decoder works around: the photo is written, the warnings follow its lines, it counts as failed.
TEST_F(HostileFs, ATruncatedPhotoIsWrittenWithItsWarnings)
{
    std::vector<std::uint8_t> photo = MakeJpeg({ .Width = 320, .Height = 240 });
    photo.resize(photo.size() / 2);
    mSource.Write(QStringLiteral("cut.jpg"), photo);
    for (const bool resize : { true, false }) {
        TFixedJob job = MakeJob(mSource.Path(), mDestination.Path());
        job.Values().Resize = resize;
        job.Values().Overlay = !resize;
        mSink.Lines.clear();
        mSink.Summary.clear();
        const TRunSummary summary = RunBatch(job, mSink);
        const qsizetype warning = mSink.Lines.indexOf(QStringLiteral("WARNING: Premature end of JPEG file"));
        ASSERT_GT(warning, 3) << mSink.Lines.join(QLatin1Char('|')).toStdString();
        EXPECT_TRUE(
            mSink.Lines.mid(warning, mSink.Lines.size() - warning - 1).filter(QStringLiteral("WARNING: ")).size()
            == mSink.Lines.size() - warning - 1);
        EXPECT_EQ(summary.Failed, 1);
        EXPECT_EQ(summary.WithWarnings, 1);
        EXPECT_TRUE(mSink.Summary.value(0).startsWith(QStringLiteral("Summary: 0 of 1 images done, 1 failed, 1 with")));
        EXPECT_TRUE(QFile::exists(mDestination.File(QStringLiteral("cut.jpg"))));
    }
}

TEST_F(HostileFs, AFullDiskFailsTheCopiesThatDoNotFitAndSaysSo)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    const QString disk = mDestination.File(QStringLiteral("disk"));
    ASSERT_TRUE(QDir().mkdir(disk));
    if (::mount("tmpfs", disk.toUtf8().constData(), "tmpfs", 0, "size=32k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    const auto unmount = qScopeGuard([&] {
        ::umount2(disk.toUtf8().constData(), MNT_DETACH);
    });
    AddPhotos(12, 400, 300);
    TFixedJob job = MakeJob(mSource.Path(), disk);
    job.Values().Rename = true;
    const TRunSummary summary = RunBatch(job, mSink);
    const QStringList written = QDir(disk).entryList(QDir::Files | QDir::Hidden);
    ASSERT_GT(summary.Failed, 0);
    EXPECT_EQ(summary.Failed, Errors().size());
    EXPECT_EQ(written.size() + Errors().size(), 12) << written.join(QLatin1Char(' ')).toStdString();
    for (const QString &name : written)
        EXPECT_EQ(ReadBytes(disk + QLatin1Char('/') + name).size(),
            ReadBytes(mSource.File(QStringLiteral("img%1").arg(name))).size());
}

} // namespace
} // namespace vellumar
