// Writes against file systems that fight back: permissions, long names, a full disk, signals. Cases that
// need root (a tmpfs mount, switching to an unprivileged user) skip when the tests run without it.
#include <array>
#include <csignal>
#include <optional>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/run_report.h"
#include "imaging/errors.h"
#include "imaging/file_io.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeJpeg;
using test::ReadBytes;
using test::TTempDir;

using TBytes = std::vector<std::uint8_t>;

mode_t ModeOf(const QString &path)
{
    struct stat info {
    };
    return ::stat(path.toUtf8().constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

void SetMode(const QString &path, mode_t mode)
{
    ASSERT_EQ(::chmod(path.toUtf8().constData(), mode), 0) << path.toStdString();
}

// Every entry, hidden ones included: a leftover temporary file is a dot-file.
QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

QString Mkdir(const TTempDir &dir, const QString &name, mode_t mode)
{
    const QString path = dir.File(name);
    QDir().mkpath(path);
    SetMode(path, mode);
    return path;
}

// Options without spaces as one space-separated text, then the paths.
QStringList Arguments(const QString &options, const QStringList &paths)
{
    return options.split(QLatin1Char(' ')) + paths;
}

TEST(HostileFiles, ReplacedFilesKeepTheirModeAndNewFilesFollowTheUmask)
{
    TTempDir dir;
    const TBytes bytes { 1, 2, 3 };
    for (const mode_t kept : { 0600, 0640, 0755 }) {
        const QString path = dir.WriteText(QStringLiteral("kept.jpg"), "old");
        SetMode(path, kept);
        WriteFileAtomic(path, bytes);
        EXPECT_EQ(ModeOf(path), kept);
        EXPECT_EQ(ReadBytes(path), bytes);
    }
    for (const mode_t mask : { 022, 077, 002 }) {
        const mode_t old = ::umask(mask);
        const QString path = dir.File(QStringLiteral("new%1.jpg").arg(mask));
        WriteFileAtomic(path, bytes);
        ::umask(old);
        EXPECT_EQ(ModeOf(path), 0666 & ~mask);
    }
    EXPECT_EQ(Entries(dir.Path()).size(), 4);
}

TEST(HostileFiles, NamesUpToTheLimitWork)
{
    TTempDir dir;
    const QString longest = dir.File(QString(251, QLatin1Char('n')) + QStringLiteral(".jpg"));
    ASSERT_EQ(QFileInfo(longest).fileName().toUtf8().size(), 255);
    WriteFileAtomic(longest, TBytes { 1 });
    WriteFileAtomic(longest, TBytes { 2 });
    EXPECT_EQ(ReadBytes(longest), TBytes { 2 });
    const QString tooLong = dir.File(QString(256, QLatin1Char('n')));
    try {
        WriteFileAtomic(tooLong, TBytes { 4 });
        ADD_FAILURE() << "a name over the limit was written";
    } catch (const EFCreateError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Cannot create file %1: File name too long").arg(tooLong));
    }
    EXPECT_EQ(Entries(dir.Path()).size(), 1);
}

// A small tmpfs of its own, unmounted at the end.
class TSmallTmpfs
{
public:
    TSmallTmpfs(const QString &path, const char *size)
        : mPath(path.toUtf8())
    {
        const QByteArray options = QByteArray("size=") + size;
        mMounted = ::mount("tmpfs", mPath.constData(), "tmpfs", 0, options.constData()) == 0;
    }
    ~TSmallTmpfs()
    {
        if (mMounted)
            ::umount2(mPath.constData(), MNT_DETACH);
    }
    TSmallTmpfs(const TSmallTmpfs &) = delete;
    TSmallTmpfs &operator=(const TSmallTmpfs &) = delete;
    [[nodiscard]] bool Mounted() const { return mMounted; }

private:
    QByteArray mPath;
    bool mMounted = false;
};

TEST(HostileFiles, AFullDiskNamesTheReasonAndLeavesTheOldFileAlone)
{
    TTempDir dir;
    const QString folder = Mkdir(dir, QStringLiteral("disk"), 0755);
    const TSmallTmpfs disk(folder, "64k");
    if (!disk.Mounted())
        GTEST_SKIP() << "mounting a small tmpfs needs root";
    const QString path = folder + QStringLiteral("/photo.jpg");
    WriteFileAtomic(path, TBytes(4096, 7));
    try {
        WriteFileAtomic(path, TBytes(256 * 1024, 9));
        FAIL() << "a file larger than the disk was written";
    } catch (const EWriteError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Stream write error: No space left on device (%1)").arg(path));
    }
    EXPECT_EQ(ReadBytes(path), TBytes(4096, 7));
    EXPECT_EQ(Entries(folder), QStringList { QStringLiteral("photo.jpg") });
}

struct TBatchRun {
    int ExitCode = -1;
    QStringList Lines;
};

// Runs the command line as user nobody, or nothing when the tests cannot switch user.
std::optional<TBatchRun> RunAsNobody(const QStringList &arguments)
{
    if (::geteuid() != 0)
        return std::nullopt;
    QString program = QStandardPaths::findExecutable(QStringLiteral("setpriv"));
    QStringList prefix { QStringLiteral("--reuid=65534"),
        QStringLiteral("--regid=65534"),
        QStringLiteral("--clear-groups") };
    if (program.isEmpty()) {
        program = QStandardPaths::findExecutable(QStringLiteral("runuser"));
        prefix = QStringList { QStringLiteral("-u"), QStringLiteral("nobody"), QStringLiteral("--") };
    }
    if (program.isEmpty())
        return std::nullopt;
    QProcess process;
    process.start(program, prefix + QStringList { QStringLiteral(VELLUMAR_BATCH_EXE) } + arguments);
    process.waitForFinished(120000);
    TBatchRun run;
    run.ExitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Lines = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'));
    return run;
}

TEST(HostileFiles, AnUnprivilegedUserNeverReplacesWhatItMayNotWrite)
{
    TTempDir dir;
    SetMode(dir.Path(), 0755);
    const QString source = Mkdir(dir, QStringLiteral("src"), 0755);
    const QString destination = Mkdir(dir, QStringLiteral("dst"), 0777);
    const QString reports = Mkdir(dir, QStringLiteral("reports"), 0755);
    dir.Write(QStringLiteral("src/photo.jpg"), MakeJpeg({ .Width = 80, .Height = 60 }));
    dir.Write(QStringLiteral("src/new.jpg"), MakeJpeg({ .Width = 80, .Height = 60 }));
    const QString readOnly = dir.WriteText(QStringLiteral("dst/photo.jpg"), "keep");
    SetMode(readOnly, 0444);
    // The saved report's case: a file the user may write in a folder where it may create nothing.
    const QString report = dir.WriteText(QStringLiteral("reports/report.txt"), "old report");
    SetMode(report, 0666);

    const std::optional<TBatchRun> run =
        RunAsNobody(Arguments(QStringLiteral("--resize 50 --jobs 1 --report"), { report, source, destination }));
    if (!run)
        GTEST_SKIP() << "switching to user nobody needs root and setpriv or runuser";
    EXPECT_EQ(run->ExitCode, 1);
    EXPECT_TRUE(run->Lines.contains(QStringLiteral("ERROR: Cannot create file %1: Permission denied").arg(readOnly)))
        << run->Lines.join('\n').toStdString();
    EXPECT_EQ(ReadBytes(readOnly), (TBytes { 'k', 'e', 'e', 'p' }));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(ModeOf(destination + QStringLiteral("/new.jpg")), ModeOf(source + QStringLiteral("/new.jpg")) & ~mask);
    QFile written(report);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().startsWith("Source Folder is: "));
    EXPECT_EQ(ModeOf(report), 0666);
    EXPECT_EQ(Entries(destination), (QStringList { QStringLiteral("new.jpg"), QStringLiteral("photo.jpg") }));
    EXPECT_EQ(Entries(reports), QStringList { QStringLiteral("report.txt") });

    // A photo, unlike the report, is never rewritten in place: a folder that is not writable refuses it.
    const QString locked = Mkdir(dir, QStringLiteral("locked"), 0755);
    const QString writable = dir.WriteText(QStringLiteral("locked/new.jpg"), "keep");
    SetMode(writable, 0666);
    const std::optional<TBatchRun> intoLocked =
        RunAsNobody(Arguments(QStringLiteral("--resize 50 --jobs 1"), { source, locked }));
    ASSERT_TRUE(intoLocked);
    EXPECT_TRUE(
        intoLocked->Lines.contains(QStringLiteral("ERROR: Cannot create file %1: Permission denied").arg(writable)))
        << intoLocked->Lines.join('\n').toStdString();
    EXPECT_EQ(ReadBytes(writable), (TBytes { 'k', 'e', 'e', 'p' }));
    EXPECT_EQ(Entries(locked), QStringList { QStringLiteral("new.jpg") });
}

// A file of a group the user is not in would change hands if replaced: it is refused instead.
TEST(HostileFiles, AnUnprivilegedUserNeverGivesAReplacedFileAnotherGroup)
{
    TTempDir dir;
    SetMode(dir.Path(), 0755);
    const QString source = Mkdir(dir, QStringLiteral("src"), 0755);
    const QString destination = Mkdir(dir, QStringLiteral("dst"), 0777);
    dir.Write(QStringLiteral("src/photo.jpg"), MakeJpeg({ .Width = 80, .Height = 60 }));
    const QString theirs = dir.WriteText(QStringLiteral("dst/photo.jpg"), "keep");
    ASSERT_EQ(::chown(theirs.toUtf8().constData(), 65534, 23456), ::geteuid() == 0 ? 0 : -1);
    SetMode(theirs, 0664);

    const std::optional<TBatchRun> run = RunAsNobody(Arguments(QStringLiteral("--resize 50"), { source, destination }));
    if (!run)
        GTEST_SKIP() << "switching to user nobody needs root and setpriv or runuser";
    EXPECT_EQ(run->ExitCode, 1);
    EXPECT_TRUE(run->Lines.contains(QStringLiteral("ERROR: Cannot create file %1: the file it would replace belongs to "
                                                   "an owner or group it cannot keep (Operation not permitted); it is "
                                                   "not replaced")
                                        .arg(theirs)))
        << run->Lines.join('\n').toStdString();
    EXPECT_EQ(ReadBytes(theirs), (TBytes { 'k', 'e', 'e', 'p' }));
    EXPECT_EQ(Entries(destination), QStringList { QStringLiteral("photo.jpg") });
}

// Starts a run over photos large enough to take a while, and waits until its first image is under way.
class TSignalledRun : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(Dir.File(QStringLiteral("src")));
        for (int i = 0; i < 12; ++i)
            Dir.Write(QStringLiteral("src/p%1.jpg").arg(i, 2, 10, QLatin1Char('0')), Photo);
        QDir().mkpath(Dir.File(QStringLiteral("dst")));
        Process.start(QStringLiteral(VELLUMAR_BATCH_EXE),
            Arguments(QStringLiteral("--resize 50 --overlay --jobs 1 --report"),
                { Dir.File(QStringLiteral("report.txt")),
                    Dir.File(QStringLiteral("src")),
                    Dir.File(QStringLiteral("dst")) }));
        ASSERT_TRUE(Process.waitForStarted());
        while (!Output.contains("Resizing: ") && Process.waitForReadyRead(30000))
            Output += Process.readAllStandardOutput();
        ASSERT_TRUE(Output.contains("Resizing: ")) << Output.toStdString();
    }

    void Signal(int signal) { ::kill(pid_t(Process.processId()), signal); }

    const TBytes Photo = MakeJpeg({ .Width = 2400, .Height = 1800 });
    TTempDir Dir;
    QProcess Process;
    QByteArray Output;
};

TEST_F(TSignalledRun, TerminationFinishesTheImageInHandAndSavesTheReport)
{
    Signal(SIGTERM);
    ASSERT_TRUE(Process.waitForFinished(120000));
    Output += Process.readAllStandardOutput();
    EXPECT_EQ(Process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(Process.exitCode(), 128 + SIGTERM);
    EXPECT_TRUE(Output.contains("Aborting...\nProcessing ABORTED !\n")) << Output.toStdString();
    QFile report(Dir.File(QStringLiteral("report.txt")));
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    EXPECT_TRUE(report.readAll().contains("Processing ABORTED !\r\n"));
    const QStringList written = Entries(Dir.File(QStringLiteral("dst")));
    EXPECT_FALSE(written.isEmpty());
    EXPECT_LT(written.size(), 12);
    for (const QString &name : written)
        EXPECT_FALSE(name.startsWith(QLatin1Char('.'))) << name.toStdString();
}

TEST_F(TSignalledRun, ASecondSignalEndsTheProgramAndLeavesNoTemporaryFile)
{
    Signal(SIGHUP);
    Signal(SIGTERM);
    ASSERT_TRUE(Process.waitForFinished(120000));
    // Either the second signal ended it, or the first image's end came before it and the run stopped there.
    if (Process.exitStatus() == QProcess::NormalExit) {
        EXPECT_EQ(Process.exitCode(), 128 + SIGHUP);
    }
    for (const QString &name : Entries(Dir.File(QStringLiteral("dst"))))
        EXPECT_FALSE(name.startsWith(QLatin1Char('.'))) << name.toStdString();
}

// The log's reader goes away (`| head`): the photo in hand is finished, the reports are written, and the
// status says the run was stopped by the closed pipe.
TEST(StoppedRuns, AClosedOutputStopsTheRunLikeASignal)
{
    TTempDir dir;
    QDir().mkpath(dir.File(QStringLiteral("src")));
    const TBytes photo = MakeJpeg({ .Width = 2400, .Height = 1800 });
    for (int i = 0; i < 12; ++i)
        dir.Write(QStringLiteral("src/p%1.jpg").arg(i, 2, 10, QLatin1Char('0')), photo);
    std::vector<QByteArray> storage { QByteArray(VELLUMAR_BATCH_EXE) };
    for (const QString &argument : Arguments(QStringLiteral("--resize 50 --overlay --jobs 1 --report-json"),
             { dir.File(QStringLiteral("r.json")), dir.File(QStringLiteral("src")), dir.File(QStringLiteral("dst")) }))
        storage.push_back(argument.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::array<int, 2> pipeEnds {};
    ASSERT_EQ(::pipe(pipeEnds.data()), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    // Read until the first photo is under way, then go away like `head`.
    QByteArray read;
    char buffer[256];
    for (ssize_t n; !read.contains("Resizing: ") && (n = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
        read.append(buffer, n);
    ::close(pipeEnds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGPIPE);
    const TRunReport report = TRunReport::LoadJson(dir.File(QStringLiteral("r.json")));
    EXPECT_TRUE(report.Summary().Aborted);
    EXPECT_GE(report.Summary().Done, 1);
    EXPECT_GE(report.Summary().Skipped, 1);
    EXPECT_EQ(Entries(dir.File(QStringLiteral("dst"))).size(), std::size_t(report.Summary().Done));
}

// A stop that comes once the last photo is under way stops nothing: the log says FINISHED, the report
// says not aborted and the status is the images' result.
TEST(StoppedRuns, AStopDuringTheLastPhotoLeavesAFinishedRun)
{
    TTempDir dir;
    QDir().mkpath(dir.File(QStringLiteral("src")));
    dir.Write(QStringLiteral("src/only.jpg"), MakeJpeg({ .Width = 2400, .Height = 1800 }));
    QProcess process;
    process.start(QStringLiteral(VELLUMAR_BATCH_EXE),
        Arguments(QStringLiteral("--resize 50 --overlay --jobs 1 --report-json"),
            { dir.File(QStringLiteral("r.json")), dir.File(QStringLiteral("src")), dir.File(QStringLiteral("dst")) }));
    ASSERT_TRUE(process.waitForStarted());
    QByteArray output;
    while (!output.contains("Resizing: ") && process.waitForReadyRead(30000))
        output += process.readAllStandardOutput();
    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(120000));
    output += process.readAllStandardOutput();
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("\nFINISHED\n")) << output.toStdString();
    EXPECT_FALSE(output.contains("ABORTED")) << output.toStdString();
    const TRunReport report = TRunReport::LoadJson(dir.File(QStringLiteral("r.json")));
    EXPECT_FALSE(report.Summary().Aborted);
    EXPECT_EQ(report.Summary().Done, 1);
}

} // namespace
} // namespace vellumar
