#pragma once

#include <cstdint>

#include <QObject>
#include <QString>

namespace vellumar
{

/** What a version block holds: its fixed part, the first translation and the standard string keys. */
struct TVersionValues {
    /** Empty when the key is missing or has no text. */
    QString Comments, CompanyName, FileDescription, FileVersion, InternalName, LegalCopyright, LegalTrademarks,
        OriginalFilename, ProductName, ProductVersion;
    /** "FileVersion" and "ProductVersion" as numbers: read directly, else by ParseVersionNumber, else 0. */
    double FileVersionNumber = 0;
    double ProductVersionNumber = 0;
    /** Major and minor in the high and low half of MS, release and build in those of LS. */
    std::uint32_t FileVersionMS = 0, FileVersionLS = 0, ProductVersionMS = 0, ProductVersionLS = 0;
    std::uint32_t FileFlagsMask = 0, FileFlags = 0, FileOS = 0, FileType = 0, FileSubtype = 0;
    /** First translation entry: language in the low 16 bits, code page in the high 16 bits. */
    std::uint32_t Translation = 0;
    std::uint32_t TranslationCount = 0;
    QString LanguageName;
};

/**
 * Reads the version block stored in an executable file (by default the program's own) and holds its
 * values. Errors are vellumar::Exception with the texts "Cannot find file: <name>", "No version info
 * in file", "Error reading version info" and "User-defined key not found in ver info".
 */
class TCustomVersionInfo : public QObject
{
    Q_OBJECT

public:
    /** Nothing is read yet; FileName is the program's own executable. */
    explicit TCustomVersionInfo(QObject *owner = nullptr);
    ~TCustomVersionInfo() override;

    [[nodiscard]] QString FileName() const { return mFileName; }
    /**
     * A non-empty name must be an existing file ("Cannot find file: " + name otherwise). A name that
     * differs from the current one (case-sensitively) clears the loaded flag. An empty name stands
     * for the program's own executable.
     */
    void SetFileName(const QString &name);
    /** The block has been read for the current FileName. */
    [[nodiscard]] bool IsLoaded() const { return mLoaded; }

    /** Reads the fixed part, the translation and the standard string keys of FileName's block. */
    void ReadVersionResource();
    /** One key of the first translation's string table; "User-defined key not found in ver info" if absent. */
    [[nodiscard]] QString ReadUserKey(const QString &key);
    /** The "FileVersion" text, read first unless the block is loaded. */
    [[nodiscard]] QString VersionText();

    /** The values read by the last ReadVersionResource (the translation also by ReadUserKey). */
    [[nodiscard]] const TVersionValues &Values() const { return mValues; }

private:
    class TOpenBlock;

    QString mFileName;
    bool mLoaded = false;
    TVersionValues mValues;
};

/** The reader with FileName as a stored property. */
class TVersionInfo : public TCustomVersionInfo
{
    Q_OBJECT
    Q_PROPERTY(QString FileName READ FileName WRITE SetFileName)

public:
    using TCustomVersionInfo::TCustomVersionInfo;
};

/** The "FileVersion" text of the program's own version block; the reader's errors pass unchanged. */
[[nodiscard]] QString ProgramVersionText();

/**
 * The major and minor number of a dotted version: "1.2.1.20" gives 1.2, "10.20.3" gives 10.2. Only
 * the text before a second point at character 6 or earlier (the last character never counts) is
 * converted, with the points replaced by the user's decimal separator (QLocale()); without such a
 * point the result is 0, so "100.200.3" and "1.2" give 0. Throws vellumar::Exception when the kept
 * text is not a number.
 */
[[nodiscard]] double ParseVersionNumber(const QString &text);

} // namespace vellumar
