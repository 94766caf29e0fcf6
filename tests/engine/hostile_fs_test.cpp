// A run on file systems that misbehave: files and folders that go away, names that would leave the
// destination, sources too large to read, a full disk. Every failed image says so in one ERROR line
// and counts as failed; nothing else is touched.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/run_plan.h"
#include "imaging/file_io.h"
#include "imaging/jpeg_bridge.h"
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

struct stat StatOf(const QString &path)
{
    struct stat info {
    };
    EXPECT_EQ(::stat(path.toUtf8().constData(), &info), 0) << path.toStdString();
    return info;
}

int WidthOf(const QString &path)
{
    return ReadJpegStreamHeader(ReadBytes(path)).Width;
}

// The run keeps to the folders it opened: swapped for links between two images, neither is followed.
TEST_F(HostileFs, FoldersSwappedForLinksDuringTheRunAreNotFollowed)
{
    const QString source = mSource.File(QStringLiteral("src"));
    const QString destination = mDestination.File(QStringLiteral("dst"));
    const QString decoy = mSource.File(QStringLiteral("decoy"));
    const QString elsewhere = mDestination.File(QStringLiteral("elsewhere"));
    for (const QString &folder : { source, destination, decoy, elsewhere })
        ASSERT_TRUE(QDir().mkdir(folder));
    for (int i = 1; i <= 3; ++i) {
        mSource.Write(QStringLiteral("src/img%1.jpg").arg(i), MakeJpeg({ .Width = 80, .Height = 60 }));
        mSource.Write(QStringLiteral("decoy/img%1.jpg").arg(i), MakeJpeg({ .Width = 40, .Height = 30 }));
    }
    TFixedJob job = MakeJob(source, destination);
    job.Values().Resize = true;
    mSink.OnEvents = [&](TRecordingSink &s) {
        if (s.EventPoints != 2)
            return;
        for (const auto &[folder, target] : { std::pair(source, decoy), std::pair(destination, elsewhere) }) {
            ASSERT_TRUE(QDir().rename(folder, folder + QStringLiteral(".old")));
            ASSERT_TRUE(QFile::link(target, folder));
        }
    };
    const TRunSummary summary = RunBatch(job, mSink);
    EXPECT_EQ(summary.Failed, 0) << Errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(WidthOf(destination + QStringLiteral(".old/img%1.jpg").arg(i)), 40) << i;
}

// A file this run wrote, met again under another name, and a file that appeared where a new one was
// planned, are both left alone.
TEST_F(HostileFs, AnOutputNeverLandsOnAFileThisRunWroteOrOneThatAppeared)
{
    AddPhotos(3);
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path());
    job.Values().Resize = true;
    const QString first = mDestination.File(QStringLiteral("img1.jpg"));
    const QString theirs = mDestination.File(QStringLiteral("img3.jpg"));
    mSink.OnEvents = [&](TRecordingSink &s) {
        if (s.EventPoints == 2) {
            ASSERT_EQ(::link(first.toUtf8().constData(), mDestination.File("img2.jpg").toUtf8().constData()), 0);
        }
        if (s.EventPoints == 4)
            mDestination.WriteText(QStringLiteral("img3.jpg"), "theirs");
    };
    const TRunSummary summary = RunBatch(job, mSink);
    EXPECT_EQ(summary.Failed, 2);
    EXPECT_EQ(Errors(),
        (QStringList { QStringLiteral("ERROR: Cannot create file %1: this run has already written that file as %2; it "
                                      "is not replaced")
                           .arg(mDestination.File("img2.jpg"), first),
            QStringLiteral("ERROR: Cannot create file %1: a file appeared at its place during the run; it is not "
                           "replaced")
                .arg(theirs) }));
    EXPECT_EQ(WidthOf(first), 32);
    EXPECT_EQ(ReadBytes(theirs), (std::vector<std::uint8_t> { 't', 'h', 'e', 'i', 'r', 's' }));
}

// A FAT image mounted through FUSE, unmounted at the end.
class TFatMount
{
public:
    explicit TFatMount(const TTempDir &dir)
        : mPath(dir.File(QStringLiteral("fat")))
    {
        const QString image = dir.File(QStringLiteral("fat.img"));
        if (::geteuid() != 0 || QStandardPaths::findExecutable(QStringLiteral("fusefat")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("mkfs.vfat")).isEmpty() || !QDir().mkdir(mPath))
            return;
        mMounted =
            QProcess::execute(QStringLiteral("mkfs.vfat"), { QStringLiteral("-C"), image, QStringLiteral("4096") }) == 0
            && QProcess::execute(QStringLiteral("fusefat"),
                   { QStringLiteral("-o"), QStringLiteral("rw+"), image, mPath })
                == 0
            && TFolder(mPath).FoldsCase();
    }
    ~TFatMount()
    {
        if (mMounted && QProcess::execute(QStringLiteral("fusermount"), { QStringLiteral("-u"), mPath }) != 0)
            ::umount2(mPath.toUtf8().constData(), MNT_DETACH);
    }
    TFatMount(const TFatMount &) = delete;
    TFatMount &operator=(const TFatMount &) = delete;
    [[nodiscard]] bool Mounted() const { return mMounted; }
    [[nodiscard]] const QString &Path() const { return mPath; }

private:
    QString mPath;
    bool mMounted = false;
};

TEST_F(HostileFs, OnAFatFolderNamesDifferingInCaseAreOneFile)
{
    const TFatMount fat(mDestination);
    if (!fat.Mounted())
        GTEST_SKIP() << "a FAT image needs root, FUSE, fusefat and mkfs.vfat";
    for (const QString name : { "img.jpg", "IMG.jpg", "Img.JPG" })
        mSource.Write(name, MakeJpeg({ .Width = 64, .Height = 48 }));
    TFixedJob job = MakeJob(mSource.Path(), fat.Path());
    job.Values().Resize = true;
    try {
        (void)RunBatch(job, mSink);
        ADD_FAILURE() << "three names of one FAT file were written";
    } catch (const ERunRefused &refused) {
        EXPECT_EQ(refused.Clashes().size(), 2);
    }
    EXPECT_TRUE(QDir(fat.Path()).isEmpty());

    // A file that appears in another case where a new one was planned is left alone.
    TTempDir sources;
    sources.Write(QStringLiteral("a.jpg"), MakeJpeg({ .Width = 64, .Height = 48 }));
    sources.Write(QStringLiteral("b.jpg"), MakeJpeg({ .Width = 64, .Height = 48 }));
    TFixedJob two = MakeJob(sources.Path(), fat.Path());
    two.Values().Resize = true;
    mSink.OnEvents = [&](TRecordingSink &s) {
        if (s.EventPoints == 2)
            QFile::copy(sources.File(QStringLiteral("a.jpg")), fat.Path() + QStringLiteral("/B.JPG"));
    };
    EXPECT_EQ(RunBatch(two, mSink).Failed, 1);
    EXPECT_EQ(Errors().size(), 1);
    EXPECT_EQ(WidthOf(fat.Path() + QStringLiteral("/B.JPG")), 64);
    EXPECT_EQ(WidthOf(fat.Path() + QStringLiteral("/a.jpg")), 32);
}

TEST_F(HostileFs, AReplacedFileKeepsItsOwnerGroupAndMode)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "giving a file to another owner needs root";
    AddPhotos(1);
    const QString old = mDestination.WriteText(QStringLiteral("img1.jpg"), "old");
    ASSERT_EQ(::chown(old.toUtf8().constData(), 12345, 23456), 0);
    ASSERT_EQ(::chmod(old.toUtf8().constData(), 02640), 0);
    TFixedJob job = MakeJob(mSource.Path(), mDestination.Path());
    job.Values().Resize = true;
    EXPECT_EQ(RunBatch(job, mSink).Failed, 0);
    const struct stat info = StatOf(old);
    EXPECT_EQ(info.st_uid, 12345u);
    EXPECT_EQ(info.st_gid, 23456u);
    EXPECT_EQ(info.st_mode & 07777, 02640u);
    EXPECT_EQ(WidthOf(old), 32);
}

// A link in the source folder to a private file: a plain copy takes only a JPEG, and every new output
// is no more readable than its photo.
TEST_F(HostileFs, APrivateFileIsNeverPublished)
{
    TTempDir secrets;
    const QString secret = secrets.WriteText(QStringLiteral("shadow"), "root:$6$salt$hash:19000:0:99999:7:::\n");
    ASSERT_EQ(::chmod(secret.toUtf8().constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(secret, mSource.File(QStringLiteral("b.jpg"))));
    const QString photo = mSource.Write(QStringLiteral("a.jpg"), MakeJpeg({ .Width = 64, .Height = 48 }));
    ASSERT_EQ(::chmod(photo.toUtf8().constData(), 0640), 0);
    const mode_t mask = ::umask(022);
    const auto restore = qScopeGuard([&] {
        ::umask(mask);
    });
    for (const bool resize : { false, true }) {
        TTempDir destination;
        TFixedJob job = MakeJob(mSource.Path(), destination.Path());
        job.Values().Rename = !resize;
        job.Values().Resize = resize;
        mSink.Lines.clear();
        EXPECT_EQ(RunBatch(job, mSink).Failed, 1);
        const QString written = destination.File(resize ? QStringLiteral("a.jpg") : QStringLiteral("1.jpg"));
        EXPECT_EQ(QDir(destination.Path()).entryList(QDir::Files | QDir::Hidden),
            QStringList { QFileInfo(written).fileName() });
        EXPECT_EQ(StatOf(written).st_mode & 07777, 0640u & ~022u);
        if (!resize) {
            EXPECT_EQ(Errors(),
                QStringList { QStringLiteral("ERROR: %1 is not a JPEG file").arg(mSource.File("b.jpg")) });
        }
    }
}

} // namespace
} // namespace vellumar
