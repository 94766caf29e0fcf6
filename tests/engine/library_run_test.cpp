#include <utility>

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/batch_run.h"
#include "engine/dry_run.h"
#include "engine/fixed_job.h"
#include "engine/run_plan.h"
#include "engine/source_list.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/run_helpers.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeJpeg;
using test::ReadBytes;
using test::TRecordingSink;
using test::TTempDir;

void WritePhoto(const TTempDir &dir, const QString &name)
{
    QDir(dir.Path()).mkpath(QFileInfo(dir.File(name)).path());
    dir.Write(name, MakeJpeg({}));
}

// Every file under root by its relative path, sorted; links to folders are not followed.
QStringList FilesUnder(const QString &root)
{
    QStringList files;
    for (QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories); it.hasNext();)
        files << QDir(root).relativeFilePath(it.next());
    files.sort();
    return files;
}

TJob TreeJob(const QString &source, const QString &destination, TExisting existing = TExisting::Replace)
{
    TSourceList list;
    list.SetRecursive(true);
    list.ChangeListFolder(source);
    TJob job;
    job.SourceFolder = list.ListFolder();
    job.SourceNames = list.Names();
    job.Recursive = true;
    job.DestinationFolder = destination + QLatin1Char('/');
    job.Existing = existing;
    job.OverlaySettings = DefaultOverlaySettings();
    return job;
}

// A tree with nested, hidden and linked folders: the links (one a loop) and the hidden folder are not entered,
// the outputs mirror the tree and the running number runs across it.
TEST(LibraryRun, ATreeIsListedInOrderMirroredAndNumberedAcross)
{
    TTempDir source;
    TTempDir destination;
    TTempDir outside;
    for (const char *name : { "b.jpg", "a.jpg", "x/c.jpg", "x/y/d.jpg", "z/e.jpg", ".hidden/h.jpg" })
        WritePhoto(source, QLatin1String(name));
    source.WriteText(QStringLiteral("x/notes.txt"), "not a photo");
    ASSERT_EQ(::symlink("x", source.File(QStringLiteral("link")).toUtf8().constData()), 0);
    ASSERT_EQ(::symlink(".", source.File(QStringLiteral("x/loop")).toUtf8().constData()), 0);

    TSourceList flat(source.Path());
    EXPECT_EQ(flat.Names(), (QStringList { "a.jpg", "b.jpg" }));
    TJob job = TreeJob(source.Path(), destination.Path());
    EXPECT_EQ(job.SourceNames, (QStringList { "a.jpg", "b.jpg", "x/c.jpg", "x/y/d.jpg", "z/e.jpg" }));

    job.Rename = true;
    job.Namer.SetPrefix(QStringLiteral("p"));
    job.Resize = true;
    // A link planted in the destination is never written through: z's photo fails, the outside stays empty.
    ASSERT_EQ(
        ::symlink(outside.Path().toUtf8().constData(), destination.File(QStringLiteral("z")).toUtf8().constData()),
        0);
    TFixedJob fixed(job);
    TRecordingSink sink;
    const TRunSummary summary = RunBatch(fixed, sink, 2);
    EXPECT_EQ(FilesUnder(destination.Path()), (QStringList { "p1.jpg", "p2.jpg", "x/p3.jpg", "x/y/p4.jpg" }));
    EXPECT_TRUE(FilesUnder(outside.Path()).isEmpty());
    EXPECT_EQ(summary.Failed, 1);
    EXPECT_TRUE(sink.Lines.contains(QStringLiteral("Renaming: z/e.jpg to z/p5.jpg")));
    for (const QString &output : FilesUnder(destination.Path())) {
        int width = 0;
        int height = 0;
        int components = 0;
        EXPECT_FALSE(
            test::DecodeReferenceJpeg(ReadBytes(destination.File(output)), &width, &height, &components).empty())
            << output.toStdString();
        EXPECT_EQ(width, 32) << output.toStdString();
    }
}

// A library of more folders than the process may hold open at once is still done whole: the run keeps only a
// few subfolders open.
TEST(LibraryRun, MoreFoldersThanOpenDescriptorsAreAllDone)
{
    TTempDir source;
    TTempDir destination;
    for (int i = 0; i < 150; ++i)
        WritePhoto(source, QStringLiteral("%1/p.jpg").arg(i, 3, 10, QLatin1Char('0')));
    TJob job = TreeJob(source.Path(), destination.Path());
    job.Resize = true;
    rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit low = saved;
    low.rlim_cur = 128;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    TFixedJob fixed(job);
    TRecordingSink sink;
    const TRunSummary summary = RunBatch(fixed, sink, 2);
    ::setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(summary.Failed, 0) << sink.Lines.mid(0, 8).join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(FilesUnder(destination.Path()).size(), 150);
}

// A file's inode, modification time to the nanosecond and bytes: the same only for a file left untouched.
QString StampOf(const QString &path)
{
    struct stat info {
    };
    if (::stat(path.toUtf8().constData(), &info) != 0)
        return {};
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    return QStringLiteral("%1 %2.%3 ").arg(info.st_ino).arg(info.st_mtim.tv_sec).arg(info.st_mtim.tv_nsec)
        + QString::fromLatin1(
            QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size())).toHex());
}

// What each choice does where outputs exist: the old files' inode, time and bytes, the new files, the lines.
TEST(LibraryRun, ExistingOutputsAreReplacedSkippedOrKeptBesideTheNewOnes)
{
    struct TCase {
        TExisting Existing;
        QString Planned;
        bool OldKept;
        QStringList Files;
        QString Line;
        QString Summary;
    };
    const QStringList old { "s/a.jpg", "s/a-2.jpg" };
    const std::vector<TCase> cases {
        { TExisting::Replace,
            "s/a.jpg",
            false,
            { "b.jpg", "s/a-2.jpg", "s/a.jpg" },
            "Resizing: s/a.jpg...",
            "done, 0 failed" },
        { TExisting::Skip,
            "s/a.jpg",
            true,
            { "b.jpg", "s/a-2.jpg", "s/a.jpg" },
            "Skipped: s/a.jpg exists already",
            "1 of 2 images done, 1 skipped, 0 failed" },
        { TExisting::Rename,
            "s/a-3.jpg",
            true,
            { "b.jpg", "s/a-2.jpg", "s/a-3.jpg", "s/a.jpg" },
            "Resizing: s/a-3.jpg...",
            "2 of 2 images done, 0 failed" },
    };
    for (const TCase &test : cases) {
        SCOPED_TRACE(ExistingName(test.Existing).toStdString());
        TTempDir source;
        TTempDir destination;
        WritePhoto(source, QStringLiteral("s/a.jpg"));
        WritePhoto(source, QStringLiteral("b.jpg"));
        QDir(destination.Path()).mkpath(QStringLiteral("s"));
        QStringList before;
        for (const QString &name : old) {
            destination.WriteText(name, "an earlier output");
            before << StampOf(destination.File(name));
        }
        TJob job = TreeJob(source.Path(), destination.Path(), test.Existing);
        job.Resize = true;
        // The plan, and so the dry run, shows the choice before anything is written.
        const TDryRun plan = PlanDryRun(job);
        EXPECT_EQ(plan.Rows.at(1).Skipped, test.Existing == TExisting::Skip);
        EXPECT_EQ(plan.Rows.at(1).OutputName, test.Planned);
        TFixedJob fixed(job);
        TRecordingSink sink;
        RunBatch(fixed, sink);
        EXPECT_EQ(FilesUnder(destination.Path()), test.Files);
        for (int i = 0; i < int(old.size()); ++i)
            EXPECT_EQ(StampOf(destination.File(old[i])) == before[i], i == 1 || test.OldKept) << i;
        EXPECT_TRUE(sink.Lines.contains(test.Line)) << sink.Lines.join(QLatin1Char('\n')).toStdString();
        EXPECT_TRUE(sink.Summary.value(0).contains(test.Summary)) << sink.Summary.value(0).toStdString();
    }
}

// Renamed outputs are planned together: none takes a name that exists or that another output of the run takes.
TEST(LibraryRun, RenamedOutputsNeverReplaceAFileNorEachOther)
{
    TTempDir source;
    TTempDir destination;
    for (const char *name : { "a.jpg", "a-2.jpg", "a-3.jpg" })
        WritePhoto(source, QLatin1String(name));
    for (const char *name : { "a.jpg", "a-2.jpg" })
        destination.WriteText(QLatin1String(name), "an earlier output");
    TJob job = TreeJob(source.Path(), destination.Path(), TExisting::Rename);
    job.Rename = false;
    job.Resize = true;
    const TRunPlan plan = PlanRun(job);
    EXPECT_TRUE(plan.Clashes.isEmpty()) << plan.Clashes.join(QLatin1Char('\n')).toStdString();
    QStringList planned;
    for (const TPlannedOutput &output : plan.Outputs)
        planned << output.OutputName;
    TFixedJob fixed(job);
    TRecordingSink sink;
    const TRunSummary summary = RunBatch(fixed, sink);
    EXPECT_EQ(summary.Failed, 0);
    QStringList files = FilesUnder(destination.Path());
    EXPECT_EQ(files.size(), 5);
    for (const char *name : { "a.jpg", "a-2.jpg" })
        EXPECT_EQ(ReadBytes(destination.File(QLatin1String(name))).size(), 17u) << name;
    for (const QString &name : planned) {
        EXPECT_TRUE(files.contains(name)) << name.toStdString();
        EXPECT_NE(ReadBytes(destination.File(name)).size(), 17u) << name.toStdString();
    }
}

} // namespace
} // namespace vellumar
