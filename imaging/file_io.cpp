#include "imaging/file_io.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include <QStringList>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "imaging/errors.h"
#include "imaging/native_name.h"

namespace vellumar
{

namespace
{

// Closes a POSIX descriptor on every path out.
class TFileDescriptor
{
public:
    explicit TFileDescriptor(int fd)
        : mFd(fd)
    {
    }
    ~TFileDescriptor()
    {
        if (mFd >= 0)
            ::close(mFd);
    }
    TFileDescriptor(const TFileDescriptor &) = delete;
    TFileDescriptor &operator=(const TFileDescriptor &) = delete;
    [[nodiscard]] int Get() const { return mFd; }
    int Release() { return std::exchange(mFd, -1); }
    void Reset(int fd)
    {
        if (mFd >= 0)
            ::close(mFd);
        mFd = fd;
    }

private:
    int mFd;
};

// The one conversion of a path to the bytes the system takes.
QByteArray Native(const QString &path)
{
    return NativePath(path);
}

[[noreturn]] void ThrowWriteError(int error, const QString &path)
{
    const QString reason = error != 0 ? SystemReason(error) : QStringLiteral("no byte could be written");
    throw EWriteError(QStringLiteral("Stream write error: %1 (%2)").arg(reason, path));
}

[[noreturn]] void ThrowCreateError(const QString &path, const QString &reason)
{
    throw EFCreateError(CannotCreateFileText(path, reason));
}

// Named temporary files that exist right now, for a signal handler to remove. A fixed table of lock-free
// atomics, descriptors and plain characters: the only kind of state a handler may read. A slot is
// published before its file is created, so a handler never misses one; a name taken by another file is
// only ever a stale temporary of this program, as the exclusive create or link then fails and another
// name is tried. The folder's descriptor stays open while its slot is published.
constexpr int kPendingSlots = 32;
constexpr std::size_t kNameBytes = 64;
enum TSlotState : int { kSlotFree, kSlotFilling, kSlotPublished };
struct TPendingSlot {
    std::atomic<int> State;
    int Folder;
    char Name[kNameBytes];
};
TPendingSlot gPending[kPendingSlots];
static_assert(std::atomic<int>::is_always_lock_free);

// Holds a temporary name in the table while it may exist on disk; removes the file unless kept.
class TPendingName
{
public:
    explicit TPendingName(int folder)
        : mFolder(folder)
    {
    }
    ~TPendingName() { Drop(true); }
    TPendingName(const TPendingName &) = delete;
    TPendingName &operator=(const TPendingName &) = delete;

    /** Claims a slot for name (none when the table is full: it is then not listed). */
    void Publish(const std::string &name)
    {
        Drop(false);
        mName = name;
        for (TPendingSlot &slot : gPending) {
            int expected = kSlotFree;
            if (slot.State.compare_exchange_strong(expected, kSlotFilling)) {
                slot.Folder = mFolder;
                std::memcpy(slot.Name, name.c_str(), name.size() + 1);
                slot.State.store(kSlotPublished);
                mSlot = &slot;
                return;
            }
        }
    }
    /** Forgets the name; the file is unlinked first when removeFile is set. */
    void Drop(bool removeFile)
    {
        if (removeFile && !mName.empty())
            ::unlinkat(mFolder, mName.c_str(), 0);
        if (mSlot)
            mSlot->State.store(kSlotFree);
        mSlot = nullptr;
        mName.clear();
    }
    [[nodiscard]] const std::string &Name() const { return mName; }

private:
    int mFolder;
    TPendingSlot *mSlot = nullptr;
    std::string mName;
};

// A short hidden name: the target's own name may already use the whole 255 bytes a name may have.
std::string TemporaryName()
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random { std::random_device {}() };
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(kLetters) - 2);
    std::string name = ".vellumar-";
    for (int i = 0; i < 6; ++i)
        name += kLetters[pick(random)];
    return name;
}

constexpr int kNameAttempts = 100;

// Writes all bytes at the descriptor's offset; 0 or the failing errno.
int WriteAll(int fd, std::span<const std::uint8_t> bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0)
            return errno;
        if (put == 0)
            return ENOSPC;
        done += std::size_t(put);
    }
    return 0;
}

// The file a write replaces: what the new one keeps of it.
struct TKept {
    mode_t Mode;
    uid_t Owner;
    gid_t Group;
};

// One write in progress: where it goes, and what it keeps of the file it replaces.
struct TWrite {
    int Folder;
    QByteArray Name;
    QString Path;
    std::optional<TKept> Kept;
    bool MustBeNew;
    mode_t NewMode;
};

[[noreturn]] void ThrowAppeared(const TWrite &write)
{
    ThrowCreateError(write.Path, QStringLiteral("a file appeared at its place during the run; it is not replaced"));
}

// Writes the bytes to fd and gives the file what it keeps of the one it replaces. The owner and group
// come first, since a change of owner may clear the set-group-ID bit of the mode.
void FillFile(int fd, const TWrite &write, std::span<const std::uint8_t> bytes)
{
    if (const int error = WriteAll(fd, bytes))
        ThrowWriteError(error, write.Path);
    if (!write.Kept)
        return;
    struct stat made {
    };
    if (::fstat(fd, &made) == 0 && (made.st_uid != write.Kept->Owner || made.st_gid != write.Kept->Group)
        && ::fchown(fd, write.Kept->Owner, write.Kept->Group) != 0) {
        const int error = errno;
        ThrowCreateError(write.Path,
            QStringLiteral("the file it would replace belongs to an owner or group it cannot keep (%1); it is not "
                           "replaced")
                .arg(SystemReason(error)));
    }
    ::fchmod(fd, write.Kept->Mode);
    // The new bytes reach the disk before the rename, so a crash right after never leaves the file empty.
    if (::fsync(fd) != 0) {
        const int error = errno;
        ThrowWriteError(error, write.Path);
    }
}

// Gives the complete temporary file its name: over the old file it replaces, or never over anything.
void PlaceFile(const TWrite &write, const std::string &temporary)
{
    int placed = -1;
    if (write.Kept) {
        placed = ::renameat(write.Folder, temporary.c_str(), write.Folder, write.Name.constData());
    } else {
        placed = ::renameat2(write.Folder, temporary.c_str(), write.Folder, write.Name.constData(), RENAME_NOREPLACE);
        // A file system that cannot refuse by itself: asked just before the rename instead.
        if (placed != 0 && (errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
            struct stat info {
            };
            if (::fstatat(write.Folder, write.Name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0)
                ThrowAppeared(write);
            placed = ::renameat(write.Folder, temporary.c_str(), write.Folder, write.Name.constData());
        }
    }
    if (placed != 0) {
        const int error = errno;
        if (error == EEXIST && !write.Kept)
            ThrowAppeared(write);
        ThrowCreateError(write.Path, SystemReason(error));
    }
}

enum class TTempKind { Done, NoTemporary, NotWritable };
struct TTempResult {
    TTempKind Kind;
    int Error = 0;
};

TTempResult CreateFailure(int error)
{
    return { error == EACCES || error == EPERM || error == EROFS ? TTempKind::NotWritable : TTempKind::NoTemporary,
        error };
}

// The unnamed route: the file has no name until it is complete, so nothing is left if the program dies.
// Linking needs /proc (or the privilege AT_EMPTY_PATH asks for); without either, the named route runs.
// A new file is linked under its own name at once, which never replaces anything.
TTempResult WriteViaUnnamedFile(const TWrite &write, std::span<const std::uint8_t> bytes)
{
    TFileDescriptor fd(::openat(write.Folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, write.NewMode));
    if (fd.Get() < 0)
        return CreateFailure(errno);
    FillFile(fd.Get(), write, bytes);
    const std::string self = "/proc/self/fd/" + std::to_string(fd.Get());
    const auto link = [&](const char *name) {
        int linked = ::linkat(AT_FDCWD, self.c_str(), write.Folder, name, AT_SYMLINK_FOLLOW);
        if (linked != 0 && errno != EEXIST)
            linked = ::linkat(fd.Get(), "", write.Folder, name, AT_EMPTY_PATH);
        return linked;
    };
    const auto close = [&] {
        if (::close(fd.Release()) != 0) {
            const int error = errno;
            ThrowWriteError(error, write.Path);
        }
    };
    if (!write.Kept) {
        if (link(write.Name.constData()) == 0) {
            close();
            return { TTempKind::Done };
        }
        if (errno == EEXIST)
            ThrowAppeared(write);
        return { TTempKind::NoTemporary, errno };
    }
    TPendingName name(write.Folder);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name.Publish(TemporaryName());
        if (link(name.Name().c_str()) == 0) {
            close();
            PlaceFile(write, name.Name());
            name.Drop(false);
            return { TTempKind::Done };
        }
        const int error = errno;
        name.Drop(false);
        if (error != EEXIST)
            return { TTempKind::NoTemporary, error };
    }
    return { TTempKind::NoTemporary, EEXIST };
}

TTempResult WriteViaNamedFile(const TWrite &write, std::span<const std::uint8_t> bytes)
{
    TPendingName name(write.Folder);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name.Publish(TemporaryName());
        TFileDescriptor fd(::openat(write.Folder,
            name.Name().c_str(),
            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY,
            write.NewMode));
        if (fd.Get() < 0) {
            const int error = errno;
            name.Drop(false);
            if (error == EEXIST)
                continue;
            return CreateFailure(error);
        }
        FillFile(fd.Get(), write, bytes);
        if (::close(fd.Release()) != 0) {
            const int error = errno;
            ThrowWriteError(error, write.Path);
        }
        PlaceFile(write, name.Name());
        name.Drop(false);
        return { TTempKind::Done };
    }
    return { TTempKind::NoTemporary, EEXIST };
}

// A writable file in a folder that is not: no sibling can be made, so the file itself is rewritten. Its
// space is reserved first, so that a full disk is found before any old byte is overwritten.
void RewriteInPlace(const TWrite &write, std::span<const std::uint8_t> bytes)
{
    TFileDescriptor fd(::openat(write.Folder, write.Name.constData(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0)
        ThrowCreateError(write.Path, SystemReason(errno));
    struct stat info {
    };
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        ThrowCreateError(write.Path, QStringLiteral("it is not a regular file"));
    if (!bytes.empty() && ::fallocate(fd.Get(), 0, 0, off_t(bytes.size())) != 0 && errno != EOPNOTSUPP
        && errno != ENOSYS) {
        const int error = errno;
        ThrowWriteError(error, write.Path);
    }
    int error = WriteAll(fd.Get(), bytes);
    if (error == 0 && ::ftruncate(fd.Get(), off_t(bytes.size())) != 0)
        error = errno;
    if (::close(fd.Release()) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ThrowWriteError(error, write.Path);
}

// The descriptor and name a file is found by: its folder's, or the current folder's and its path.
std::pair<int, QByteArray> Place(const TFileRef &file)
{
    if (file.Folder != nullptr)
        return { file.Folder->Descriptor(), Native(file.Name) };
    return { AT_FDCWD, Native(file.Path) };
}

constexpr unsigned long kMsdosMagic = 0x4d44;
constexpr unsigned long kExfatMagic = 0x2011BAB0;
constexpr unsigned long kNtfs3Magic = 0x7366746E;
constexpr unsigned long kNtfsMagic = 0x5346544e;
constexpr unsigned long kCifsMagic = 0xFF534D42;
constexpr unsigned long kSmb2Magic = 0xFE534D42;
constexpr unsigned long kSmbMagic = 0x517B;
constexpr unsigned long kFuseMagic = 0x65735546;
constexpr unsigned long kHfsPlusMagic = 0x482b;
constexpr unsigned long kIsoMagic = 0x9660;
constexpr long kCaseFoldFlag = 0x40000000; // a folder marked case-insensitive (FS_CASEFOLD_FL)

} // namespace

std::filesystem::path ToPath(const QString &path)
{
    return std::filesystem::path(Native(path).toStdString());
}

QString FromPath(const std::filesystem::path &path)
{
    return PathFromNative(path.native());
}

TPathParts SplitPath(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return { .Folder = slash < 0 ? QStringLiteral(".")
            : slash == 0         ? QStringLiteral("/")
                                 : path.left(slash),
        .Name = path.mid(slash + 1) };
}

TFolder::TFolder(const QString &path)
{
    int error = 0;
    std::optional<TFolder> folder = TryOpen(path, &error);
    if (!folder)
        throw EFOpenError(WithReason(QStringLiteral("Cannot open folder %1").arg(path), SystemReason(error)));
    *this = std::move(*folder);
}

std::optional<TFolder> TFolder::TryOpen(const QString &path, int *error)
{
    const QByteArray native = Native(path);
    int fd = -1;
    if (native.isEmpty() || native.contains('\0')) {
        errno = ENOENT;
    } else {
        fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        // A folder the user may write and enter but not list is still one to write into.
        if (fd < 0 && errno == EACCES)
            fd = ::open(native.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (fd < 0) {
        if (error != nullptr)
            *error = errno;
        return std::nullopt;
    }
    TFolder folder;
    folder.mFd = fd;
    folder.mPath = path;
    return folder;
}

std::optional<TFolder> TFolder::OpenInside(const QString &relative, bool create, int *error) const
{
    const auto fail = [error](int code) -> std::optional<TFolder> {
        if (error != nullptr)
            *error = code;
        return std::nullopt;
    };
    TFileDescriptor current(::fcntl(mFd, F_DUPFD_CLOEXEC, 0));
    if (current.Get() < 0)
        return fail(errno);
    for (const QString &step : relative.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const QByteArray native = Native(step);
        if (step == QLatin1String(".") || step == QLatin1String("..") || native.contains('\0'))
            return fail(EINVAL);
        const auto open = [&](int flags) {
            return ::openat(current.Get(), native.constData(), flags | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        };
        int next = open(O_RDONLY);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(current.Get(), native.constData(), 0777) != 0 && errno != EEXIST)
                return fail(errno);
            next = open(O_RDONLY);
        }
        // A folder the user may write and enter but not list is still one to write into.
        if (next < 0 && errno == EACCES)
            next = open(O_PATH);
        if (next < 0)
            return fail(errno);
        current.Reset(next);
    }
    TFolder folder;
    folder.mFd = current.Release();
    folder.mPath = relative.isEmpty()      ? mPath
        : mPath.endsWith(QLatin1Char('/')) ? mPath + relative
                                           : mPath + QLatin1Char('/') + relative;
    return folder;
}

TFolder::~TFolder()
{
    if (mFd >= 0)
        ::close(mFd);
}

TFolder::TFolder(TFolder &&other) noexcept
    : mFd(std::exchange(other.mFd, -1))
    , mPath(std::move(other.mPath))
{
}

TFolder &TFolder::operator=(TFolder &&other) noexcept
{
    if (this != &other) {
        if (mFd >= 0)
            ::close(mFd);
        mFd = std::exchange(other.mFd, -1);
        mPath = std::move(other.mPath);
    }
    return *this;
}

TFileIdentity TFolder::Identity() const
{
    struct stat info {
    };
    if (::fstat(mFd, &info) != 0)
        return {};
    return { std::uint64_t(info.st_dev), std::uint64_t(info.st_ino) };
}

bool TFolder::Removed() const
{
    struct stat info {
    };
    return ::fstat(mFd, &info) != 0 || info.st_nlink == 0;
}

bool TFolder::FoldsCase() const
{
    struct statfs info {
    };
    if (::fstatfs(mFd, &info) == 0) {
        switch (static_cast<unsigned long>(info.f_type) & 0xFFFFFFFFul) {
        case kMsdosMagic:
        case kExfatMagic:
        case kNtfs3Magic:
        case kNtfsMagic:
        case kCifsMagic:
        case kSmb2Magic:
        case kSmbMagic:
        case kFuseMagic:
        case kHfsPlusMagic:
        case kIsoMagic:
            return true;
        default:
            break;
        }
    }
    long flags = 0;
    return ::ioctl(mFd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & kCaseFoldFlag) != 0;
}

TFileRef::TFileRef(const QString &path)
    : Name(path)
    , Path(path)
{
}

TFileRef::TFileRef(const TFolder &folder, const QString &name, const QString &path)
    : Folder(&folder)
    , Name(name)
    , Path(path)
{
}

std::optional<TFileFacts> StatFile(const TFileRef &file)
{
    const auto [folder, name] = Place(file);
    struct stat info {
    };
    if (name.isEmpty() || name.contains('\0') || ::fstatat(folder, name.constData(), &info, 0) != 0)
        return std::nullopt;
    return TFileFacts { .Identity = { std::uint64_t(info.st_dev), std::uint64_t(info.st_ino) },
        .Regular = S_ISREG(info.st_mode),
        .Size = std::uint64_t(std::max<off_t>(info.st_size, 0)),
        .Permissions = unsigned(info.st_mode & 0777),
        .ModifiedSeconds = std::int64_t(info.st_mtime) };
}

std::vector<std::uint8_t> ReadWholeFile(const TFileRef &file)
{
    std::uint64_t fileBytes = 0;
    return ReadFileHead(file, std::numeric_limits<std::size_t>::max(), fileBytes);
}

std::vector<std::uint8_t> ReadFileHead(const TFileRef &file, std::size_t limit, std::uint64_t &fileBytes)
{
    const QString &path = file.Path;
    const auto [folder, native] = Place(file);
    const auto openError = [&] {
        return EFOpenError(QStringLiteral("Cannot open file %1").arg(path));
    };
    if (native.isEmpty() || native.contains('\0'))
        throw openError();
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files pass the check below.
    TFileDescriptor fd(::openat(folder, native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0)
        throw openError();
    struct stat info {
    };
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        throw openError();
    if (std::uintmax_t(info.st_size) > kMaxFileBytes)
        throw EReadError(QStringLiteral("File too large: %1 (the limit is 512 MiB)").arg(path));
    fileBytes = std::uint64_t(info.st_size);
    std::vector<std::uint8_t> bytes(std::min(std::size_t(info.st_size), limit));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw EReadError(QStringLiteral("Stream read error: %1 (%2)").arg(SystemReason(errno), path));
        if (got == 0)
            throw EReadError(QStringLiteral("Stream read error: the file ended early (%1)").arg(path));
        done += std::size_t(got);
    }
    return bytes;
}

void WriteFileAtomic(const TFileRef &target, std::span<const std::uint8_t> bytes, TLockedFolder lockedFolder)
{
    WriteFileAtomic(target, bytes, TWriteOptions { .LockedFolder = lockedFolder });
}

void WriteFileAtomic(const TFileRef &target, std::span<const std::uint8_t> bytes, const TWriteOptions &options)
{
    const QString &path = target.Path;
    // A path alone is written through its folder, opened here, exactly as a name in an open folder.
    std::optional<TFolder> parent;
    const TFolder *folder = target.Folder;
    QString name = target.Name;
    if (folder == nullptr) {
        const TPathParts parts = SplitPath(path);
        name = parts.Name;
        if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
            ThrowCreateError(path, QStringLiteral("it is not a file name"));
        int error = 0;
        parent = TFolder::TryOpen(parts.Folder, &error);
        if (!parent)
            ThrowCreateError(path, SystemReason(error));
        folder = &*parent;
    }
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QChar(0)))
        ThrowCreateError(path, QStringLiteral("a file name cannot hold \"/\""));
    TWrite write { .Folder = folder->Descriptor(),
        .Name = Native(name),
        .Path = path,
        .Kept = std::nullopt,
        .MustBeNew = target.MustBeNew,
        .NewMode = mode_t(options.NewFileMode & 0777) };

    // An existing file is replaced only when the user may write it, and keeps its mode, owner and group.
    struct stat info {
    };
    if (::fstatat(write.Folder, write.Name.constData(), &info, 0) == 0) {
        if (write.MustBeNew)
            ThrowAppeared(write);
        if (S_ISDIR(info.st_mode))
            ThrowCreateError(path, SystemReason(EISDIR));
        if (!S_ISREG(info.st_mode))
            ThrowCreateError(path, QStringLiteral("it is not a regular file"));
        if (::faccessat(write.Folder, write.Name.constData(), W_OK, 0) != 0)
            ThrowCreateError(path, SystemReason(errno));
        write.Kept = TKept { info.st_mode & 07777, info.st_uid, info.st_gid };
    } else if (errno != ENOENT) {
        ThrowCreateError(path, SystemReason(errno));
    }
    TTempResult result = WriteViaUnnamedFile(write, bytes);
    if (result.Kind == TTempKind::NoTemporary)
        result = WriteViaNamedFile(write, bytes);
    if (result.Kind == TTempKind::Done)
        return;
    if (result.Kind == TTempKind::NotWritable && write.Kept && options.LockedFolder == TLockedFolder::RewriteInPlace) {
        RewriteInPlace(write, bytes);
        return;
    }
    ThrowCreateError(path, SystemReason(result.Error));
}

void RemovePendingTemporaryFiles() noexcept
{
    for (TPendingSlot &slot : gPending) {
        if (slot.State.load() == kSlotPublished)
            ::unlinkat(slot.Folder, slot.Name, 0);
    }
}

bool FileExists(const TFileRef &file)
{
    const std::optional<TFileFacts> facts = StatFile(file);
    return facts && facts->Regular;
}

bool DirectoryExists(const QString &path)
{
    struct stat info {
    };
    return !path.isEmpty() && ::stat(Native(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

qint64 RegularFileSize(const TFileRef &file)
{
    const std::optional<TFileFacts> facts = StatFile(file);
    return facts && facts->Regular ? qint64(facts->Size) : -1;
}

} // namespace vellumar
