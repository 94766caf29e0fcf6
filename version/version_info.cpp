#include "version/version_info.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include <QCoreApplication>
#include <QLocale>
#include <QRegularExpression>

#include "imaging/errors.h"
#include "imaging/file_io.h"
#include "version/elf_section.h"
#include "version/version_block.h"

namespace vellumar
{

namespace
{

Exception NoVersionInfoError()
{
    return Exception(QStringLiteral("No version info in file"));
}

Exception ReadError()
{
    return Exception(QStringLiteral("Error reading version info"));
}

// The full path of the running executable; empty when it cannot be told.
QString ProgramFileName()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error)
        return FromPath(self);
    return QCoreApplication::instance() != nullptr ? QCoreApplication::applicationFilePath() : QString();
}

// A few names for the language identifiers of a translation table; others get a neutral wording.
QString LanguageNameOf(std::uint16_t language)
{
    struct TLanguage {
        std::uint16_t Id;
        const char *Name;
    };
    static constexpr std::array<TLanguage, 12> kLanguages { {
        { 0x0000, "Language Neutral" },
        { 0x0407, "German (Germany)" },
        { 0x0409, "English (United States)" },
        { 0x040A, "Spanish (Traditional Sort)" },
        { 0x040C, "French (France)" },
        { 0x0410, "Italian (Italy)" },
        { 0x0413, "Dutch (Netherlands)" },
        { 0x0416, "Portuguese (Brazil)" },
        { 0x0809, "English (United Kingdom)" },
        { 0x0C09, "English (Australia)" },
        { 0x0C0A, "Spanish (Spain)" },
        { 0x1009, "English (Canada)" },
    } };
    const auto *found = std::find_if(kLanguages.begin(), kLanguages.end(), [&](const TLanguage &l) {
        return l.Id == language;
    });
    if (found != kLanguages.end())
        return QString::fromLatin1(found->Name);
    return QStringLiteral("Language 0x%1").arg(language, 4, 16, QLatin1Char('0'));
}

QString UserDecimalSeparator()
{
    const QString separator = QLocale().decimalPoint();
    return separator.isEmpty() ? QStringLiteral(".") : separator;
}

// A decimal number with the given separator and no thousands separators; empty when it is none.
std::optional<double> TextToFloat(const QString &text, const QString &separator)
{
    QString number = text.trimmed();
    if (separator != u'.') {
        if (number.contains(u'.'))
            return std::nullopt;
        number.replace(separator, QStringLiteral("."));
    }
    static const QRegularExpression kNumber(QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    if (!kNumber.match(number).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok ? std::optional<double>(value) : std::nullopt;
}

// The text that ParseVersionNumber converts: what comes before an early second point, or "0".
QString VersionNumberText(const QString &text, const QString &separator)
{
    // Only a second point at character 6 or earlier counts: at most five characters are kept. The last
    // character is never examined.
    constexpr qsizetype kLastSecondPoint = 6;
    int points = 0;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != u'.' || ++points < 2)
            continue;
        if (i + 1 > kLastSecondPoint)
            break;
        return text.left(i).replace(u'.', separator);
    }
    return QStringLiteral("0");
}

// "FileVersion" or "ProductVersion" as a number: read directly with a point, else as a dotted version.
double VersionNumber(const QString &text)
{
    if (const std::optional<double> direct = TextToFloat(text, QStringLiteral(".")))
        return *direct;
    const QString separator = UserDecimalSeparator();
    return TextToFloat(VersionNumberText(text, separator), separator).value_or(0);
}

std::vector<std::uint8_t> ReadExecutable(const QString &fileName)
{
    try {
        return ReadWholeFile(fileName);
    } catch (const Exception &) {
        throw ReadError(); // the reader has one text for every failure to read
    }
}

std::uint32_t Word(std::span<const std::uint8_t> bytes, std::size_t at)
{
    return std::uint32_t(bytes[at]) | std::uint32_t(bytes[at + 1]) << 8 | std::uint32_t(bytes[at + 2]) << 16
        | std::uint32_t(bytes[at + 3]) << 24;
}

TVersionBlock LocateBlock(std::span<const std::uint8_t> file)
{
    const TElfSection section = FindElfSection(file, kVersionSectionName);
    if (section.Status == TElfSection::TStatus::NoSection)
        throw NoVersionInfoError();
    const std::optional<TVersionBlock> block =
        section.Status == TElfSection::TStatus::Found ? TVersionBlock::Parse(section.Bytes) : std::nullopt;
    if (!block)
        throw ReadError();
    return *block;
}

} // namespace

// The reader's file with its checked block. Opening it stores the first translation in the reader, and
// gives the path prefix of that translation's strings.
class TCustomVersionInfo::TOpenBlock
{
public:
    explicit TOpenBlock(TCustomVersionInfo &reader)
        : mFile(ReadExecutable(reader.mFileName))
        , mBlock(LocateBlock(mFile))
    {
        const std::optional<std::span<const std::uint8_t>> table = mBlock.QueryValue(u"\\VarFileInfo\\Translation");
        if (!table || table->size() < 4)
            throw ReadError();
        TVersionValues &values = reader.mValues;
        values.Translation = Word(*table, 0);
        values.TranslationCount = std::uint32_t(table->size() / 4);
        values.LanguageName = LanguageNameOf(std::uint16_t(values.Translation));
        mStringPrefix =
            QString::asprintf("\\StringFileInfo\\%04x%04x\\", values.Translation & 0xFFFF, values.Translation >> 16);
    }
    TOpenBlock(const TOpenBlock &) = delete;
    TOpenBlock &operator=(const TOpenBlock &) = delete;

    [[nodiscard]] const TVersionBlock &Block() const { return mBlock; }
    [[nodiscard]] std::optional<QString> String(const QString &key) const
    {
        return mBlock.QueryText(QString(mStringPrefix + key));
    }

private:
    std::vector<std::uint8_t> mFile;
    TVersionBlock mBlock;
    QString mStringPrefix;
};

TCustomVersionInfo::TCustomVersionInfo(QObject *owner)
    : QObject(owner)
{
    SetFileName(QString());
}

TCustomVersionInfo::~TCustomVersionInfo() = default;

void TCustomVersionInfo::SetFileName(const QString &name)
{
    if (!name.isEmpty() && !FileExists(name))
        throw Exception(QStringLiteral("Cannot find file: ") + name);
    if (name != mFileName)
        mLoaded = false;
    mFileName = name.isEmpty() ? ProgramFileName() : name;
}

void TCustomVersionInfo::ReadVersionResource()
{
    const TOpenBlock open(*this);

    TVersionValues values = mValues; // with the translation just read
    std::array<std::uint8_t, kFixedFileInfoSize> fixed {};
    const std::optional<std::span<const std::uint8_t>> root = open.Block().QueryValue(u"\\");
    if (!root || root->empty())
        throw ReadError();
    std::copy_n(root->begin(), std::min(root->size(), fixed.size()), fixed.begin());
    // Words 0 and 1 are the signature and the structure version; 11 and 12 the unused file date.
    values.FileVersionMS = Word(fixed, 8);
    values.FileVersionLS = Word(fixed, 12);
    values.ProductVersionMS = Word(fixed, 16);
    values.ProductVersionLS = Word(fixed, 20);
    values.FileFlagsMask = Word(fixed, 24);
    values.FileFlags = Word(fixed, 28);
    values.FileOS = Word(fixed, 32);
    values.FileType = Word(fixed, 36);
    values.FileSubtype = Word(fixed, 40);

    const auto text = [&](const char *key) {
        return open.String(QString::fromLatin1(key)).value_or(QString());
    };
    values.Comments = text("Comments");
    values.CompanyName = text("CompanyName");
    values.FileDescription = text("FileDescription");
    values.FileVersion = text("FileVersion");
    values.FileVersionNumber = VersionNumber(values.FileVersion);
    values.InternalName = text("InternalName");
    values.LegalCopyright = text("LegalCopyright");
    values.LegalTrademarks = text("LegalTrademarks");
    values.OriginalFilename = text("OriginalFilename");
    values.ProductName = text("ProductName");
    values.ProductVersion = text("ProductVersion");
    values.ProductVersionNumber = VersionNumber(values.ProductVersion);

    mValues = std::move(values);
    mLoaded = true;
}

QString TCustomVersionInfo::ReadUserKey(const QString &key)
{
    const TOpenBlock open(*this);
    const std::optional<QString> value = open.String(key);
    if (!value)
        throw Exception(QStringLiteral("User-defined key not found in ver info"));
    return *value;
}

QString TCustomVersionInfo::VersionText()
{
    if (!mLoaded)
        ReadVersionResource();
    return mValues.FileVersion;
}

QString ProgramVersionText()
{
    TVersionInfo reader;
    return reader.VersionText();
}

double ParseVersionNumber(const QString &text)
{
    const QString separator = UserDecimalSeparator();
    const QString number = VersionNumberText(text, separator);
    if (const std::optional<double> value = TextToFloat(number, separator))
        return *value;
    throw Exception(QStringLiteral("'%1' is not a valid floating point value").arg(number));
}

} // namespace vellumar
