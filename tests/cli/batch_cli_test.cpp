#include <gtest/gtest.h>

#include <QProcess>

namespace {


TEST(BatchCli, VersionAndHelp)
{
    QProcess version;
    version.start(QStringLiteral(VELLUMAR_BATCH_EXE), {QStringLiteral("--version")});
    ASSERT_TRUE(version.waitForFinished(60000));
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_EQ(version.readAllStandardOutput(), QByteArray("1.2.1.20\n"));

    QProcess help;
    help.start(QStringLiteral(VELLUMAR_BATCH_EXE), {QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(60000));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_TRUE(help.readAllStandardOutput().startsWith("Usage: vellumar-batch"));
}

TEST(BatchCli, UnknownOptionIsAUsageError)
{
    QProcess process;
    process.start(QStringLiteral(VELLUMAR_BATCH_EXE), {QStringLiteral("--frobnicate")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 2);
    EXPECT_TRUE(process.readAllStandardError().contains("--frobnicate"));
}

} // namespace
