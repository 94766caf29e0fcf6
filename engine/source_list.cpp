#include "engine/source_list.h"

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "engine/folder_rules.h"
#include "imaging/native_name.h"

namespace vellumar
{

namespace
{

std::u32string Folded(QStringView text)
{
    std::u32string folded;
    folded.reserve(std::size_t(text.size()));
    for (const uint ucs4 : text.toUcs4())
        folded.push_back(QChar::toCaseFolded(char32_t(ucs4)));
    return folded;
}

std::vector<std::u32string> FoldedPatterns(const QString &mask)
{
    std::vector<std::u32string> patterns;
    for (const QString &pattern : mask.split(QLatin1Char(';'), Qt::SkipEmptyParts))
        patterns.push_back(Folded(pattern));
    return patterns;
}

// Iterative wildcard match with one backtrack point: linear for the usual "*.ext" patterns and never
// worse than name length times pattern length.
bool MatchesFolded(const std::u32string &name, const std::u32string &pattern)
{
    std::size_t n = 0;
    std::size_t p = 0;
    std::size_t starP = std::u32string::npos;
    std::size_t starN = 0;
    while (n < name.size()) {
        // "*" is always the wildcard, even against a "*" in the name, so that it is a backtrack point.
        if (p < pattern.size() && pattern[p] == U'*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (starP != std::u32string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}

QString SystemMessage(int error)
{
    return QString::fromStdString(std::generic_category().message(error));
}

// 0 when folder is a directory that may be entered (searched), else the errno that tells why not.
int EnterError(const QString &folder)
{
    if (folder.contains(QChar(0)))
        return ENOENT;
    struct stat info = {};
    const QByteArray path = NativePath(folder);
    if (::stat(path.constData(), &info) != 0)
        return errno;
    if (!S_ISDIR(info.st_mode))
        return ENOTDIR;
    return ::access(path.constData(), X_OK) == 0 ? 0 : errno;
}

// An open folder, ready to list; Error() is the errno of a failed open.
class TFolderReader
{
public:
    explicit TFolderReader(const QString &folder)
    {
        if (folder.contains(QChar(0))) {
            mError = ENOENT;
            return;
        }
        Open(::open(NativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    // A subfolder of an open folder, entered only when it is a folder itself: a link to one is never followed,
    // so a tree can hold no loop.
    TFolderReader(const TFolderReader &parent, const QByteArray &name)
    {
        Open(::openat(::dirfd(parent.mDir), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    }
    ~TFolderReader()
    {
        if (mDir != nullptr)
            ::closedir(mDir);
    }
    TFolderReader(const TFolderReader &) = delete;
    TFolderReader &operator=(const TFolderReader &) = delete;

    [[nodiscard]] int Error() const { return mError; }

    // Appends the listable names that match one of patterns, and when folders is given the names of the
    // subfolders that may be entered (not hidden, not links); returns 0 or the errno of a failed read.
    int ReadNames(const std::vector<std::u32string> &patterns, QStringList &names, QStringList *folders = nullptr)
    {
        for (;;) {
            errno = 0;
            const dirent *entry = ::readdir(mDir);
            if (entry == nullptr)
                return errno;
            if (entry->d_name[0] == '.')
                continue;
            // A name that is not valid UTF-8 keeps its bytes as surrogates, to be written back unchanged.
            const QString name = PathFromNative(QByteArrayView(entry->d_name));
            if (folders != nullptr && IsFolder(*entry)) {
                folders->append(name);
                continue;
            }
            const std::u32string folded = Folded(name);
            if (std::none_of(patterns.begin(), patterns.end(), [&](const std::u32string &pattern) {
                    return MatchesFolded(folded, pattern);
                }))
                continue;
            if (entry->d_type != DT_REG) {
                if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
                    continue;
                struct stat info = {};
                if (::fstatat(::dirfd(mDir), entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode))
                    continue;
            }
            names.append(name);
        }
    }

private:
    void Open(int fd)
    {
        if (fd < 0) {
            mError = errno;
            return;
        }
        // Opening needs read permission; telling files from folders inside needs search permission too.
        if (::faccessat(fd, ".", X_OK, 0) != 0 || (mDir = ::fdopendir(fd)) == nullptr) {
            mError = errno;
            ::close(fd);
        }
    }

    // A folder itself, not a link to one.
    bool IsFolder(const dirent &entry) const
    {
        if (entry.d_type != DT_UNKNOWN)
            return entry.d_type == DT_DIR;
        struct stat info = {};
        return ::fstatat(::dirfd(mDir), entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
    }

    DIR *mDir = nullptr;
    int mError = 0;
};

// Deeper folders are not entered: each level holds one descriptor while its subfolders are walked.
constexpr int kMaxFolderDepth = 128;

// The tree under reader into names as relative paths: the folder's photos in order, then each subfolder's
// tree in order. A subfolder that cannot be entered or read lists nothing.
void ListTree(TFolderReader &reader,
    const QString &prefix,
    int depth,
    const std::vector<std::u32string> &patterns,
    const TSourceNameOrder &order,
    QStringList &names)
{
    QStringList files;
    QStringList folders;
    if (reader.ReadNames(patterns, files, depth < kMaxFolderDepth ? &folders : nullptr) != 0)
        return;
    order.Sort(files);
    order.Sort(folders);
    for (const QString &file : files)
        names.append(prefix + file);
    for (const QString &folder : folders) {
        TFolderReader sub(reader, NativePath(folder));
        if (sub.Error() == 0)
            ListTree(sub, prefix + folder + QLatin1Char('/'), depth + 1, patterns, order, names);
    }
}

} // namespace

bool MatchesFilePattern(QStringView name, QStringView pattern)
{
    return MatchesFolded(Folded(name), Folded(pattern));
}

QString PathInFolder(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

TSourceNameOrder::TSourceNameOrder(const QLocale &locale)
    : mCollator(locale)
    , mCaseCollator(locale)
{
    mCollator.setCaseSensitivity(Qt::CaseInsensitive);
    mCollator.setNumericMode(false);
    mCaseCollator.setCaseSensitivity(Qt::CaseSensitive);
    mCaseCollator.setNumericMode(false);
}

bool TSourceNameOrder::operator()(const QString &a, const QString &b) const
{
    return Before({ PrintableName(a), a }, { PrintableName(b), b });
}

bool TSourceNameOrder::Before(const TShownName &a, const TShownName &b) const
{
    // Names are compared as the log shows them: a byte kept as a surrogate is no text to collate.
    if (const int order = mCollator.compare(a.Shown, b.Shown); order != 0)
        return order < 0;
    if (const int order = mCaseCollator.compare(a.Shown, b.Shown); order != 0)
        return order < 0;
    // Different texts may share bytes (two lone surrogates that are no byte); the text itself decides then.
    if (const QByteArray nativeA = NativePath(a.Name), nativeB = NativePath(b.Name); nativeA != nativeB)
        return nativeA < nativeB;
    return a.Name < b.Name;
}

void TSourceNameOrder::Sort(QStringList &names) const
{
    // Each name is escaped once, not at every comparison.
    std::vector<TShownName> shown;
    shown.reserve(std::size_t(names.size()));
    for (QString &name : names)
        shown.push_back({ PrintableName(name), std::move(name) });
    std::sort(shown.begin(), shown.end(), [this](const TShownName &a, const TShownName &b) {
        return Before(a, b);
    });
    for (qsizetype i = 0; i < names.size(); ++i)
        names[i] = std::move(shown[std::size_t(i)].Name);
}

TSourceList::TSourceList(const QLocale &locale)
    : mMask(QString::fromUtf16(kDefaultSourceMask))
    , mPatterns(FoldedPatterns(mMask))
    , mOrder(locale)
{
}

TSourceList::TSourceList(const QString &folder, const QLocale &locale)
    : TSourceList(locale)
{
    ChangeListFolder(folder);
}

void TSourceList::ChangeListFolder(const QString &folder)
{
    if (folder.isEmpty())
        return;
    QString absolute = NormalisedFolder(folder);
    if (const int error = EnterError(absolute); error != 0)
        throw EInOutError(SystemMessage(error));
    if (NameSameFolder(absolute, mListFolder))
        return;
    mListFolder = std::move(absolute);
    ReadListFiles();
}

void TSourceList::ChooseListFolder(const QString &folder)
{
    const QString shown = mListFolder;
    ChangeListFolder(folder);
    if (!folder.isEmpty() && mListFolder == shown)
        ReadListFiles();
}

void TSourceList::ReadListFiles()
{
    // A folder that can be entered but not read lists nothing, and says nothing.
    QStringList names;
    if (!mListFolder.isEmpty()) {
        TFolderReader reader(mListFolder);
        if (reader.Error() == 0 && mRecursive) {
            ListTree(reader, QString(), 0, mPatterns, mOrder, names);
        } else if (reader.Error() != 0 || reader.ReadNames(mPatterns, names) != 0) {
            names.clear();
        }
    }
    if (!mRecursive)
        mOrder.Sort(names);
    Replace(mListFolder, std::move(names));
}

void TSourceList::SetRecursive(bool recursive)
{
    if (recursive == mRecursive)
        return;
    mRecursive = recursive;
    ReadListFiles();
}

void TSourceList::SetMask(const QString &mask)
{
    mMask = mask;
    mPatterns = FoldedPatterns(mask);
    ReadListFiles();
}

QString TSourceList::Name(int index) const
{
    if (index < 0 || index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(index));
    return mNames.at(index);
}

QString TSourceList::FullPath(int index) const
{
    return PathInFolder(mListFolder, Name(index));
}

void TSourceList::Replace(QString folder, QStringList names)
{
    mListFolder = std::move(folder);
    mNames = std::move(names);
    if (mOnChange)
        mOnChange();
}

} // namespace vellumar
