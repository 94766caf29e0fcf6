#include <algorithm>
#include <array>
#include <functional>
#include <string>

#include <QFile>
#include <QLocale>

#include <gtest/gtest.h>

#include "imaging/errors.h"
#include "tests/support/temp_dir.h"
#include "version/elf_section.h"
#include "version/version_block.h"
#include "version/version_info.h"

namespace vellumar
{
namespace
{

using test::ReadBytes;
using test::TTempDir;
using TBytes = std::vector<std::uint8_t>;

const QString kNoVersionInfo = QStringLiteral("No version info in file");
const QString kErrorReading = QStringLiteral("Error reading version info");

// The message of the vellumar::Exception that action throws; empty when it throws none.
QString ErrorOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const Exception &error) {
        return error.Message();
    }
    return {};
}

// Makes QLocale() a locale with the given decimal separator while it lives.
class TUserLocale
{
public:
    explicit TUserLocale(QLocale::Language language) { QLocale::setDefault(QLocale(language)); }
    ~TUserLocale() { QLocale::setDefault(mSaved); }
    TUserLocale(const TUserLocale &) = delete;
    TUserLocale &operator=(const TUserLocale &) = delete;

private:
    QLocale mSaved;
};

void Put(TBytes &out, std::size_t at, std::uint64_t value, std::size_t width)
{
    for (std::size_t i = 0; i < width; ++i)
        out[at + i] = std::uint8_t(value >> (8 * i));
}

// A minimal little-endian ELF executable with the given sections, a name table and a section table.
TBytes MakeElf(bool is64, const std::vector<std::pair<std::string, TBytes>> &sections)
{
    const std::size_t headerSize = is64 ? 64 : 52;
    const std::size_t entrySize = is64 ? 64 : 40;
    const std::size_t word = is64 ? 8 : 4;
    TBytes out(headerSize, 0);
    std::string names(1, '\0');
    std::vector<std::array<std::uint64_t, 4>> entries { { 0, 0, 0, 0 } }; // name, type, offset, size
    for (const auto &[name, bytes] : sections) {
        out.resize((out.size() + 3) & ~std::size_t(3), 0);
        entries.push_back({ names.size(), 1, out.size(), bytes.size() });
        names += name + '\0';
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    entries.push_back({ names.size(), 3, out.size(), 0 });
    names += std::string(".shstrtab") + '\0';
    entries.back()[3] = names.size();
    out.insert(out.end(), names.begin(), names.end());
    out.resize((out.size() + 7) & ~std::size_t(7), 0);
    const std::size_t tableOffset = out.size();
    for (const auto &[name, type, offset, size] : entries) {
        const std::size_t at = out.size();
        out.resize(at + entrySize, 0);
        Put(out, at, name, 4);
        Put(out, at + 4, type, 4);
        Put(out, at + (is64 ? 0x18 : 0x10), offset, word);
        Put(out, at + (is64 ? 0x20 : 0x14), size, word);
    }
    const std::array<std::uint8_t, 7> ident { 0x7F, 'E', 'L', 'F', std::uint8_t(is64 ? 2 : 1), 1, 1 };
    std::copy(ident.begin(), ident.end(), out.begin());
    Put(out, 16, 2, 2); // an executable
    Put(out, 18, 62, 2); // x86-64
    Put(out, 20, 1, 4);
    Put(out, is64 ? 0x28 : 0x20, tableOffset, word);
    Put(out, is64 ? 0x34 : 0x28, headerSize, 2);
    Put(out, is64 ? 0x3A : 0x2E, entrySize, 2);
    Put(out, is64 ? 0x3C : 0x30, entries.size(), 2);
    Put(out, is64 ? 0x3E : 0x32, entries.size() - 1, 2);
    return out;
}

TVersionBlockData SampleData(const QString &fileVersion)
{
    TVersionBlockData data;
    data.FileVersionMS = 0x00020005;
    data.Language = 0x0409;
    data.CodePage = 0x04B0;
    data.Strings = { { QStringLiteral("ProductName"), QStringLiteral("Sample") } };
    if (!fileVersion.isNull())
        data.Strings.emplace_back(QStringLiteral("FileVersion"), fileVersion);
    return data;
}

TBytes ElfWithBlock(const TBytes &block, bool is64 = true)
{
    return MakeElf(is64, { { ".text", TBytes(16, 0x90) }, { kVersionSectionName, block } });
}

TEST(VersionInfo, ParseVersionNumberKeepsMajorAndMinorOfShortVersions)
{
    const struct {
        const char *Text;
        double Number;
    } cases[] = {
        { "1.2.1.20", 1.2 },
        { "10.20.3", 10.2 },
        { "123.4.5", 123.4 }, // second point at character 6: still read
        { "1234.5.6", 0 }, // ... at character 7: not
        { "100.200.3", 0 },
        { "1.2", 0 },
        { "1.2.", 0 }, // the last character is never looked at
        { "", 0 },
    };
    for (const QLocale::Language language : { QLocale::English, QLocale::German }) {
        const TUserLocale locale(language);
        ASSERT_EQ(QLocale().decimalPoint(), language == QLocale::German ? QStringLiteral(",") : QStringLiteral("."));
        for (const auto &c : cases)
            EXPECT_DOUBLE_EQ(ParseVersionNumber(QString::fromLatin1(c.Text)), c.Number)
                << c.Text << " with separator " << QLocale().decimalPoint().toStdString();
        EXPECT_FALSE(ErrorOf([] {
            (void)ParseVersionNumber(QStringLiteral("1a.2.3"));
        }).isEmpty());
        EXPECT_FALSE(ErrorOf([] {
            (void)ParseVersionNumber(QStringLiteral("1,2.3.4"));
        }).isEmpty());
    }
}

TEST(VersionInfo, ReadsTheProgramsBlockFromTheBuiltExecutable)
{
    TVersionInfo info;
    info.SetFileName(QStringLiteral(VELLUMAR_BATCH_EXE));
    info.ReadVersionResource();
    EXPECT_TRUE(info.IsLoaded());
    EXPECT_EQ(info.Values().FileVersionMS, 0x00010002u);
    EXPECT_EQ(info.Values().FileVersionLS, 0x00010014u);
    EXPECT_EQ(info.Values().ProductVersionMS, 0x00010002u);
    EXPECT_EQ(info.Values().ProductVersionLS, 0x00010014u);
    EXPECT_EQ(info.Values().FileFlagsMask, 0x3Fu);
    EXPECT_EQ(info.Values().FileFlags, 0u);
    EXPECT_EQ(info.Values().FileOS, 0x4u);
    EXPECT_EQ(info.Values().FileType, 0x1u);
    EXPECT_EQ(info.Values().FileSubtype, 0u);
    EXPECT_EQ(info.Values().Translation, 0x04E40809u);
    EXPECT_EQ(info.Values().TranslationCount, 1u);
    EXPECT_EQ(info.Values().LanguageName, QStringLiteral("English (United Kingdom)"));

    EXPECT_EQ(info.Values().FileVersion, QStringLiteral("1.2.1.20"));
    EXPECT_EQ(info.Values().ProductVersion, QStringLiteral("1.0.1.0"));
    EXPECT_EQ(info.Values().FileDescription, QStringLiteral("JPEG Preparation Utility"));
    EXPECT_EQ(info.Values().InternalName, QStringLiteral("Vellumar"));
    EXPECT_EQ(info.Values().ProductName, QStringLiteral("Vellumar"));
    EXPECT_EQ(info.Values().OriginalFilename, QStringLiteral("Vellumar.exe"));
    EXPECT_EQ(info.Values().LegalTrademarks, QString());
    EXPECT_EQ(info.Values().Comments, QString());
    EXPECT_FALSE(info.Values().CompanyName.isEmpty());
    EXPECT_FALSE(info.Values().LegalCopyright.isEmpty());
    EXPECT_DOUBLE_EQ(info.Values().FileVersionNumber, 1.2);
    EXPECT_DOUBLE_EQ(info.Values().ProductVersionNumber, 1.0);

    EXPECT_EQ(info.ReadUserKey(QStringLiteral("filedescription")), QStringLiteral("JPEG Preparation Utility"));
    EXPECT_EQ(info.ReadUserKey(QStringLiteral("Comments")), QString());
    EXPECT_EQ(ErrorOf([&] {
        (void)info.ReadUserKey(QStringLiteral("BuildHost"));
    }),
        QStringLiteral("User-defined key not found in ver info"));
    EXPECT_EQ(info.VersionText(), QStringLiteral("1.2.1.20"));
}

TEST(VersionInfo, ProgramVersionTextReadsTheRunningExecutable)
{
    // This test program carries the program's block as well.
    EXPECT_EQ(ProgramVersionText(), QStringLiteral("1.2.1.20"));
    const TVersionInfo info;
    EXPECT_FALSE(info.FileName().isEmpty());
    EXPECT_FALSE(info.IsLoaded());
}

TEST(VersionInfo, FilesWithoutABlockAndMissingFiles)
{
    TVersionInfo info;
    info.SetFileName(QStringLiteral(VELLUMAR_PLAIN_EXE));
    EXPECT_EQ(ErrorOf([&] {
        (void)info.VersionText();
    }),
        kNoVersionInfo);
    EXPECT_EQ(ErrorOf([&] {
        (void)info.ReadUserKey(QStringLiteral("FileVersion"));
    }),
        kNoVersionInfo);
    EXPECT_FALSE(info.IsLoaded());

    TTempDir dir;
    info.SetFileName(dir.WriteText(QStringLiteral("notes.txt"), "not an executable"));
    EXPECT_EQ(ErrorOf([&] {
        info.ReadVersionResource();
    }),
        kNoVersionInfo);
    info.SetFileName(dir.Write(QStringLiteral("empty"), {}));
    EXPECT_EQ(ErrorOf([&] {
        info.ReadVersionResource();
    }),
        kNoVersionInfo);

    const QString missing = dir.File(QStringLiteral("missing.exe"));
    EXPECT_EQ(ErrorOf([&] {
        info.SetFileName(missing);
    }),
        QStringLiteral("Cannot find file: ") + missing);
    EXPECT_EQ(ErrorOf([&] {
        info.SetFileName(dir.Path());
    }),
        QStringLiteral("Cannot find file: ") + dir.Path());

    // A file that goes away after it was named.
    const QString gone = dir.Write(QStringLiteral("gone.exe"), ElfWithBlock(BuildVersionBlock(SampleData({}))));
    info.SetFileName(gone);
    ASSERT_TRUE(QFile::remove(gone));
    EXPECT_EQ(ErrorOf([&] {
        info.ReadVersionResource();
    }),
        kErrorReading);
}

TEST(VersionInfo, LoadedFlagFollowsTheFileName)
{
    TTempDir dir;
    const TBytes elf = ElfWithBlock(BuildVersionBlock(SampleData(QStringLiteral("3.1"))));
    const QString lower = dir.Write(QStringLiteral("tool"), elf);
    const QString upper = dir.Write(QStringLiteral("TOOL"), ElfWithBlock(BuildVersionBlock(SampleData({}))));

    TVersionInfo info;
    info.SetFileName(lower);
    EXPECT_EQ(info.VersionText(), QStringLiteral("3.1"));
    EXPECT_TRUE(info.IsLoaded());
    info.SetFileName(lower);
    EXPECT_TRUE(info.IsLoaded());
    info.SetFileName(upper);
    EXPECT_FALSE(info.IsLoaded());
    EXPECT_EQ(info.VersionText(), QString()); // no "FileVersion" key: empty text, no error
    EXPECT_DOUBLE_EQ(info.Values().FileVersionNumber, 0);

    // Reading one key leaves the block unloaded, so the version is still read afterwards.
    info.SetFileName(lower);
    EXPECT_EQ(info.ReadUserKey(QStringLiteral("ProductName")), QStringLiteral("Sample"));
    EXPECT_FALSE(info.IsLoaded());
    EXPECT_EQ(info.VersionText(), QStringLiteral("3.1"));

    info.SetFileName(QString());
    EXPECT_FALSE(info.FileName().isEmpty()); // the program's own file
}

TEST(VersionInfo, VersionNumbersReadDirectlyUseAPoint)
{
    TTempDir dir;
    for (const QLocale::Language language : { QLocale::English, QLocale::German }) {
        const TUserLocale locale(language);
        for (const bool is64 : { true, false }) {
            const auto number = [&](const char *fileVersion) {
                TVersionInfo info;
                const TBytes block = BuildVersionBlock(SampleData(QString::fromLatin1(fileVersion)));
                info.SetFileName(dir.Write(QStringLiteral("v"), ElfWithBlock(block, is64)));
                info.ReadVersionResource();
                return info.Values().FileVersionNumber;
            };
            EXPECT_DOUBLE_EQ(number("2.5"), 2.5);
            EXPECT_DOUBLE_EQ(number("1.2.1.20"), 1.2);
            EXPECT_DOUBLE_EQ(number("100.200.3"), 0);
            EXPECT_DOUBLE_EQ(number("2,5"), 0); // never a comma, whatever the user's separator
            EXPECT_DOUBLE_EQ(number("x.y.z"), 0);
        }
    }
}

TEST(VersionInfo, DamagedBlocksAreReadErrors)
{
    TTempDir dir;
    TVersionInfo info;
    const auto errorFor = [&](const TBytes &file) {
        info.SetFileName(dir.Write(QStringLiteral("damaged"), file));
        return ErrorOf([&] {
            info.ReadVersionResource();
        });
    };
    EXPECT_EQ(errorFor(MakeElf(true, { { ".text", TBytes(8, 0) } })), kNoVersionInfo);
    EXPECT_EQ(errorFor(ElfWithBlock(TBytes(40, 0xAB))), kErrorReading);
    EXPECT_EQ(errorFor(ElfWithBlock({})), kErrorReading);

    TBytes block = BuildVersionBlock(SampleData({}));
    block.resize(block.size() - 8); // the root claims more than there is
    EXPECT_EQ(errorFor(ElfWithBlock(block)), kErrorReading);

    // Without a translation table there is no string table to read.
    TBytes noTranslation = BuildVersionBlock(SampleData({}));
    const std::u16string varFileInfo = u"VarFileInfo";
    const auto at = std::search(noTranslation.begin(),
        noTranslation.end(),
        reinterpret_cast<const std::uint8_t *>(varFileInfo.data()),
        reinterpret_cast<const std::uint8_t *>(varFileInfo.data() + varFileInfo.size()));
    ASSERT_NE(at, noTranslation.end());
    *at = 'W';
    EXPECT_EQ(errorFor(ElfWithBlock(noTranslation)), kErrorReading);

    TBytes truncatedElf = ElfWithBlock(BuildVersionBlock(SampleData({})));
    truncatedElf.resize(truncatedElf.size() - 1);
    EXPECT_EQ(errorFor(truncatedElf), kErrorReading);
}

// Every cut and every single-byte change of a small executable is read safely: the block, a clear
// error, never a read outside the file (the sanitizer build checks that).
TEST(VersionInfo, TruncatedAndCorruptedFilesNeverReadOutside)
{
    for (const bool is64 : { true, false }) {
        const TBytes good = ElfWithBlock(BuildVersionBlock(SampleData(QStringLiteral("1.2.1.20"))), is64);
        const auto probe = [](std::span<const std::uint8_t> file) {
            const TElfSection section = FindElfSection(file, kVersionSectionName);
            if (section.Status != TElfSection::TStatus::Found)
                return;
            ASSERT_GE(section.Bytes.data(), file.data());
            ASSERT_LE(section.Bytes.data() + section.Bytes.size(), file.data() + file.size());
            if (const std::optional<TVersionBlock> block = TVersionBlock::Parse(section.Bytes)) {
                (void)block->QueryValue(u"\\");
                (void)block->QueryValue(u"\\VarFileInfo\\Translation");
                (void)block->QueryText(u"\\StringFileInfo\\040904b0\\FileVersion");
            }
        };
        for (std::size_t size = 0; size < good.size(); ++size) {
            const TBytes cut(good.begin(), good.begin() + std::ptrdiff_t(size));
            probe(cut);
        }
        for (std::size_t at = 0; at < good.size(); ++at) {
            for (const std::uint8_t value : { std::uint8_t(0x00), std::uint8_t(0x7F), std::uint8_t(0xFF) }) {
                TBytes changed = good;
                changed[at] = value;
                probe(changed);
            }
        }
        EXPECT_EQ(FindElfSection(good, kVersionSectionName).Status, TElfSection::TStatus::Found);
    }
}

} // namespace
} // namespace vellumar
