#include <filesystem>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "imaging/errors.h"
#include "imaging/file_io.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::ReadBytes;
using test::TTempDir;

TEST(FileIo, ReadsWholeRegularFilesAndRefusesEverythingElse)
{
    TTempDir dir;
    const QString path = dir.WriteText(QStringLiteral("a.jpg"), "abc");
    EXPECT_EQ(ReadWholeFile(path), (std::vector<std::uint8_t> { 'a', 'b', 'c' }));
    EXPECT_TRUE(ReadWholeFile(dir.WriteText(QStringLiteral("empty.jpg"), "")).empty());

    const QString missing = dir.File(QStringLiteral("missing.jpg"));
    try {
        (void)ReadWholeFile(missing);
        FAIL() << "a missing file was read";
    } catch (const EFOpenError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Cannot open file ") + missing);
    }
    EXPECT_THROW((void)ReadWholeFile(dir.Path()), EFOpenError);
    const QString fifo = dir.File(QStringLiteral("pipe.jpg"));
    ASSERT_EQ(::mkfifo(fifo.toUtf8().constData(), 0600), 0);
    EXPECT_THROW((void)ReadWholeFile(fifo), EFOpenError);
}

TEST(FileIo, AtomicWriteReplacesAndLeavesNoTemporaryFile)
{
    TTempDir dir;
    const QString path = dir.WriteText(QStringLiteral("photo.jpg"), "old");
    const std::vector<std::uint8_t> bytes { 1, 2, 3, 4 };
    WriteFileAtomic(path, bytes);
    EXPECT_EQ(ReadBytes(path), bytes);
    WriteFileAtomic(path, {});
    EXPECT_TRUE(FileExists(path));
    EXPECT_TRUE(ReadBytes(path).empty());
    int entries = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator(ToPath(dir.Path())))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST(FileIo, FailedWriteKeepsTheOldFile)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    TTempDir dir;
    const QString path = dir.WriteText(QStringLiteral("photo.jpg"), "old");
    ASSERT_EQ(::chmod(dir.Path().toUtf8().constData(), 0500), 0);
    EXPECT_THROW(WriteFileAtomic(path, std::vector<std::uint8_t> { 9 }), EFCreateError);
    ::chmod(dir.Path().toUtf8().constData(), 0700);
    EXPECT_EQ(ReadBytes(path), (std::vector<std::uint8_t> { 'o', 'l', 'd' }));
}

TEST(FileIo, MissingFolderGivesCannotCreate)
{
    TTempDir dir;
    const QString path = dir.File(QStringLiteral("no/such/folder/x.jpg"));
    try {
        WriteFileAtomic(path, std::vector<std::uint8_t> { 1 });
        FAIL() << "wrote into a missing folder";
    } catch (const EFCreateError &error) {
        EXPECT_EQ(error.Message(), QStringLiteral("Cannot create file %1: No such file or directory").arg(path));
    }
}

} // namespace
} // namespace vellumar
