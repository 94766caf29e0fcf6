#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include <QCollator>
#include <QLocale>
#include <QString>
#include <QStringList>

#include "imaging/errors.h"

namespace vellumar
{

/** A folder that cannot be entered or read; the message is the system's text, e.g. "Permission denied". */
class EInOutError : public Exception
{
    using Exception::Exception;
};
/** A position outside a list: "List index out of bounds (%d)". */
class EListError : public Exception
{
    using Exception::Exception;
};

/** The listing's fixed pattern list. */
inline constexpr char16_t kDefaultSourceMask[] = u"*.jpg;*.jpeg";

/**
 * True when name matches the wildcard pattern: "*" any run of characters (also none), "?" exactly one
 * character (one Unicode code point), anything else itself without regard to case (simple case folding).
 */
[[nodiscard]] bool MatchesFilePattern(QStringView name, QStringView pattern);

/** folder + "/" (unless folder already ends in "/") + name; an empty folder gives "/" + name. */
[[nodiscard]] QString PathInFolder(const QString &folder, const QString &name);

/**
 * The listing's display order of names (see TSourceList): a strict weak order in which only equal
 * texts are equivalent, so that every set of names has exactly one order.
 */
class TSourceNameOrder
{
public:
    explicit TSourceNameOrder(const QLocale &locale = QLocale());
    /** True when a comes before b. */
    [[nodiscard]] bool operator()(const QString &a, const QString &b) const;
    void Sort(QStringList &names) const;

private:
    struct TShownName {
        QString Shown; ///< as PrintableName shows it
        QString Name;
    };
    [[nodiscard]] bool Before(const TShownName &a, const TShownName &b) const;

    QCollator mCollator;
    QCollator mCaseCollator;
};

/**
 * The JPEG files of one folder, sorted for display: the batch run's work list.
 *
 * Listed are the regular files (and symbolic links to regular files) whose stored name matches one of
 * the mask's patterns, except hidden files (names beginning with "."). Folders, devices, pipes, sockets
 * and dangling links never are. A name that is not valid UTF-8 is listed too, each invalid byte held
 * as a lone surrogate (PathFromNative), so that paths built from it reach the file's very bytes; each
 * such byte is one character for the patterns. Each file is listed once, however many patterns it matches.
 *
 * The order is the collation of the given locale, applied to the names as the log shows them
 * (PrintableName), without regard to case and without numeric ordering (img10.jpg before img2.jpg);
 * names that collate equal (a.jpg and A.jpg, or two Unicode spellings of one name) are ordered by
 * case-sensitive collation, then by their bytes on disk, so every folder has exactly one order.
 *
 * With SetRecursive the list walks the tree: the folder's files in that order, then each subfolder's tree,
 * the subfolders in the same order, each name a path relative to the folder ("2024/june/x.jpg"). Hidden
 * folders and links to folders are never entered (so a tree has no loop), nor folders more than 128
 * levels down; a subfolder that cannot be entered or read lists nothing.
 *
 * The list never changes the process's current directory and does not watch its folder: it changes
 * only through ChangeListFolder, ReadListFiles, SetMask and SetRecursive.
 */
class TSourceList
{
public:
    /** Called after every read of the folder, whether or not the names changed. */
    using TChangeHandler = std::function<void()>;

    /** An empty list without a folder; sorted by the collation of locale (the user's by default). */
    explicit TSourceList(const QLocale &locale = QLocale());
    /** Lists folder at once; throws EInOutError as ChangeListFolder does. */
    explicit TSourceList(const QString &folder, const QLocale &locale = QLocale());

    /**
     * Points the list at folder (relative paths are taken from the current directory). An empty path
     * does nothing. The folder must exist and be searchable (it can be entered), else EInOutError with
     * the system's message is thrown and the list keeps its folder and names; one that cannot be read
     * lists nothing, without an error. When the folder, once made
     * absolute and normalised, equals ListFolder, the names are kept as they are (not read again).
     */
    void ChangeListFolder(const QString &folder);
    /**
     * A folder the user chose: ChangeListFolder, and the names read again when it is the folder shown
     * already, so that a choice always lists what is there now. Throws as ChangeListFolder does.
     */
    void ChooseListFolder(const QString &folder);
    /**
     * Reads the names of ListFolder again. Never throws: a folder that has vanished or cannot be read
     * gives an empty list. Without a folder the list stays empty.
     */
    void ReadListFiles();

    /** The pattern list, patterns separated by ";". */
    [[nodiscard]] QString Mask() const { return mMask; }
    /** Sets the pattern list and reads the folder again; empty patterns are ignored. */
    void SetMask(const QString &mask);
    [[nodiscard]] bool Recursive() const { return mRecursive; }
    /** Lists the subfolders too (or no longer); reads the folder again when this changes. */
    void SetRecursive(bool recursive);

    /** Absolute and normalised, no trailing "/" except for the root "/"; empty before any folder. */
    [[nodiscard]] QString ListFolder() const { return mListFolder; }
    [[nodiscard]] int Count() const { return int(mNames.size()); }
    /** The name at index (0-based, display order); relative to ListFolder in a recursive listing. Throws EListError out
     * of range. */
    [[nodiscard]] QString Name(int index) const;
    /** A copy of all names, for a run that must not see later changes of the list. */
    [[nodiscard]] QStringList Names() const { return mNames; }
    /** PathInFolder(ListFolder, Name(index)). Throws EListError out of range. */
    [[nodiscard]] QString FullPath(int index) const;

    void SetOnChange(TChangeHandler handler) { mOnChange = std::move(handler); }

private:
    void Replace(QString folder, QStringList names);

    QString mMask;
    bool mRecursive = false;
    std::vector<std::u32string> mPatterns;
    QString mListFolder;
    QStringList mNames;
    TSourceNameOrder mOrder;
    TChangeHandler mOnChange;
};

} // namespace vellumar
