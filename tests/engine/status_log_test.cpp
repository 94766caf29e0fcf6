#include <csignal>
#include <utility>

#include <QFile>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "engine/status_log.h"
#include "imaging/errors.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::ReadBytes;
using test::TTempDir;

QByteArray Content(const QString &path)
{
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    return { reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()) };
}

QString CreateErrorOf(const TStatusLog &log, const QString &path)
{
    try {
        log.SaveStatusReport(path);
    } catch (const EFCreateError &error) {
        return error.Message();
    }
    return QStringLiteral("no error");
}

TEST(StatusLog, SavesExactlyTheLinesEachEndedByCrLf)
{
    TTempDir dir;
    TStatusLog log;
    const QString path = dir.File("Quendrix.txt");
    log.SaveStatusReport(path);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(Content(path), QByteArray());

    log.AddStatusLine("A");
    log.AddStatusLine("B");
    log.SaveStatusReport(path);
    EXPECT_EQ(Content(path), QByteArray("A\r\nB\r\n"));

    log.Clear();
    log.AddStatusLine(QString());
    log.AddStatusLine(QStringLiteral("Source Folder is: /fotos/\u00e9t\u00e9 \u5199\u771f"));
    log.SaveStatusReport(path);
    EXPECT_EQ(Content(path), QByteArray("\r\nSource Folder is: /fotos/\xc3\xa9t\xc3\xa9 \xe5\x86\x99\xe7\x9c\x9f\r\n"));
    EXPECT_EQ(log.Lines().size(), 2);

    // A name's line break or undecodable byte cannot start a line of its own in the log or its report.
    log.Clear();
    log.AddStatusLine(QStringLiteral("Resizing: x\nFINISHED\t") + QChar(char16_t(0xDCE9)) + QStringLiteral(".jpg..."));
    log.SaveStatusReport(path);
    EXPECT_EQ(Content(path), QByteArray("Resizing: x\\nFINISHED\\t\\xe9.jpg...\r\n"));
}

TEST(StatusLog, ViewFollowsAddsAndClears)
{
    TStatusLog log;
    QStringList seen;
    log.SetOnChange([&](TStatusLog::TChange change, const QString &line) {
        seen.append(change == TStatusLog::TChange::Cleared ? QStringLiteral("<cleared>") : line);
    });
    log.AddStatusLine("one");
    log.Clear();
    log.AddStatusLine("two");
    EXPECT_EQ(seen, (QStringList { "one", "<cleared>", "two" }));
    EXPECT_EQ(log.Text(), QStringLiteral("two\r\n"));
}

TEST(StatusLog, UnwritableTargetsGiveCannotCreate)
{
    TTempDir dir;
    TStatusLog log;
    log.AddStatusLine("A");
    const QString missing = dir.File("no/such/report.txt");
    EXPECT_EQ(CreateErrorOf(log, missing),
        QStringLiteral("Cannot create file %1: No such file or directory").arg(missing));
    EXPECT_EQ(CreateErrorOf(log, dir.Path()), QStringLiteral("Cannot create file %1: Is a directory").arg(dir.Path()));

    const QString readOnly = dir.WriteText("ro.txt", "keep");
    ASSERT_EQ(::chmod(readOnly.toUtf8().constData(), 0444), 0);
    EXPECT_EQ(CreateErrorOf(log, readOnly), QStringLiteral("Cannot create file %1: it is read-only").arg(readOnly));
    EXPECT_EQ(Content(readOnly), QByteArray("keep"));
}

TEST(StatusLog, WriteFailureGivesStreamWriteErrorAndKeepsTheOldReport)
{
    TTempDir dir;
    const QString path = dir.WriteText("report.txt", "old");
    TStatusLog log;
    log.AddStatusLine(QString(4096, QLatin1Char('x')));
    // A file size limit makes the write fail part-way, as a full disk would.
    rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    QString message;
    try {
        log.SaveStatusReport(path);
    } catch (const EWriteError &error) {
        message = error.Message();
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, QStringLiteral("Stream write error: File too large (%1)").arg(path));
    EXPECT_EQ(Content(path), QByteArray("old"));
}

} // namespace
} // namespace vellumar
