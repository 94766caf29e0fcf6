#include "imaging/file_io.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
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

private:
    int mFd;
};

QString Reason(int error)
{
    return QString::fromStdString(std::error_code(error, std::generic_category()).message());
}

[[noreturn]] void ThrowWriteError(int error, const QString &path)
{
    const QString reason = error != 0 ? Reason(error) : QStringLiteral("no byte could be written");
    throw EWriteError(QStringLiteral("Stream write error: %1 (%2)").arg(reason, path));
}

// Named temporary files that exist right now, for a signal handler to remove. A fixed table of lock-free
// atomics and plain characters: the only kind of state a handler may read. A slot is published before
// its file is created, so a handler never misses one; a name taken by another file is only ever a stale
// temporary of this program, as the exclusive create or link then fails and another name is tried.
constexpr int kPendingSlots = 32;
enum TSlotState : int { kSlotFree, kSlotFilling, kSlotPublished };
struct TPendingSlot {
    std::atomic<int> State;
    char Path[PATH_MAX];
};
TPendingSlot gPending[kPendingSlots];
static_assert(std::atomic<int>::is_always_lock_free);

// Holds a temporary name in the table while it may exist on disk; removes the file unless kept.
class TPendingName
{
public:
    TPendingName() = default;
    ~TPendingName() { Drop(true); }
    TPendingName(const TPendingName &) = delete;
    TPendingName &operator=(const TPendingName &) = delete;

    /** Claims a slot for path (none when the table is full or the path too long: it is then not listed). */
    void Publish(const std::string &path)
    {
        Drop(false);
        mPath = path;
        if (path.size() >= PATH_MAX)
            return;
        for (TPendingSlot &slot : gPending) {
            int expected = kSlotFree;
            if (slot.State.compare_exchange_strong(expected, kSlotFilling)) {
                std::memcpy(slot.Path, path.c_str(), path.size() + 1);
                slot.State.store(kSlotPublished);
                mSlot = &slot;
                return;
            }
        }
    }
    /** Forgets the name; the file is unlinked first when removeFile is set. */
    void Drop(bool removeFile)
    {
        if (removeFile && !mPath.empty())
            ::unlink(mPath.c_str());
        if (mSlot)
            mSlot->State.store(kSlotFree);
        mSlot = nullptr;
        mPath.clear();
    }
    [[nodiscard]] const std::string &Path() const { return mPath; }

private:
    TPendingSlot *mSlot = nullptr;
    std::string mPath;
};

// A short hidden name: the target's own name may already use the whole 255 bytes a name may have.
std::string TemporaryName(const std::string &folder)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937 random { std::random_device {}() };
    std::uniform_int_distribution<std::size_t> pick(0, sizeof(kLetters) - 2);
    std::string name = folder + "/.vellumar-";
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

enum class TTempResult { Done, NoTemporary, NotWritable };

// The unnamed route: the file has no name until it is complete, so nothing is left if the program dies.
// Linking needs /proc (or the privilege AT_EMPTY_PATH asks for); without either, the named route runs.
TTempResult WriteViaUnnamedFile(const std::string &folder,
    const std::string &target,
    const QString &path,
    std::span<const std::uint8_t> bytes,
    std::optional<mode_t> keptMode)
{
    TFileDescriptor fd(::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    if (fd.Get() < 0)
        return errno == EACCES || errno == EPERM || errno == EROFS ? TTempResult::NotWritable
                                                                   : TTempResult::NoTemporary;
    if (keptMode)
        ::fchmod(fd.Get(), *keptMode);
    if (const int error = WriteAll(fd.Get(), bytes))
        ThrowWriteError(error, path);
    if (keptMode && ::fsync(fd.Get()) != 0) {
        const int error = errno;
        ThrowWriteError(error, path);
    }
    const std::string self = "/proc/self/fd/" + std::to_string(fd.Get());
    TPendingName name;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name.Publish(TemporaryName(folder));
        int linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.Path().c_str(), AT_SYMLINK_FOLLOW);
        if (linked != 0 && errno != EEXIST)
            linked = ::linkat(fd.Get(), "", AT_FDCWD, name.Path().c_str(), AT_EMPTY_PATH);
        if (linked == 0) {
            if (::close(fd.Release()) != 0) {
                const int error = errno;
                ThrowWriteError(error, path);
            }
            if (::rename(name.Path().c_str(), target.c_str()) != 0)
                throw EFCreateError(QStringLiteral("Cannot create file %1").arg(path));
            name.Drop(false);
            return TTempResult::Done;
        }
        const int error = errno;
        name.Drop(false);
        if (error != EEXIST)
            return TTempResult::NoTemporary;
    }
    return TTempResult::NoTemporary;
}

TTempResult WriteViaNamedFile(const std::string &folder,
    const std::string &target,
    const QString &path,
    std::span<const std::uint8_t> bytes,
    std::optional<mode_t> keptMode)
{
    TPendingName name;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        name.Publish(TemporaryName(folder));
        TFileDescriptor fd(::open(name.Path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666));
        if (fd.Get() < 0) {
            const int error = errno;
            name.Drop(false);
            if (error == EEXIST)
                continue;
            return error == EACCES || error == EPERM || error == EROFS ? TTempResult::NotWritable
                                                                       : TTempResult::NoTemporary;
        }
        if (keptMode)
            ::fchmod(fd.Get(), *keptMode);
        int error = WriteAll(fd.Get(), bytes);
        if (error == 0 && keptMode && ::fsync(fd.Get()) != 0)
            error = errno;
        if (::close(fd.Release()) != 0 && error == 0)
            error = errno;
        if (error != 0)
            ThrowWriteError(error, path);
        if (::rename(name.Path().c_str(), target.c_str()) != 0)
            throw EFCreateError(QStringLiteral("Cannot create file %1").arg(path));
        name.Drop(false);
        return TTempResult::Done;
    }
    return TTempResult::NoTemporary;
}

// A writable file in a folder that is not: no sibling can be made, so the file itself is rewritten. Its
// space is reserved first, so that a full disk is found before any old byte is overwritten.
void RewriteInPlace(const std::string &target, const QString &path, std::span<const std::uint8_t> bytes)
{
    TFileDescriptor fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat info {
    };
    if (fd.Get() < 0 || ::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        throw EFCreateError(QStringLiteral("Cannot create file %1").arg(path));
    if (!bytes.empty() && ::fallocate(fd.Get(), 0, 0, off_t(bytes.size())) != 0 && errno != EOPNOTSUPP
        && errno != ENOSYS) {
        const int error = errno;
        ThrowWriteError(error, path);
    }
    int error = WriteAll(fd.Get(), bytes);
    if (error == 0 && ::ftruncate(fd.Get(), off_t(bytes.size())) != 0)
        error = errno;
    if (::close(fd.Release()) != 0 && error == 0)
        error = errno;
    if (error != 0)
        ThrowWriteError(error, path);
}

} // namespace

std::filesystem::path ToPath(const QString &path)
{
    return std::filesystem::path(NativePath(path).toStdString());
}

QString FromPath(const std::filesystem::path &path)
{
    return PathFromNative(path.native());
}

std::vector<std::uint8_t> ReadWholeFile(const QString &path)
{
    const QByteArray native = NativePath(path);
    const auto openError = [&] {
        return EFOpenError(QStringLiteral("Cannot open file %1").arg(path));
    };
    if (native.isEmpty())
        throw openError();
    // O_NONBLOCK keeps a FIFO from blocking the open; only regular files pass the check below.
    TFileDescriptor fd(::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (fd.Get() < 0)
        throw openError();
    struct stat info {
    };
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode))
        throw openError();
    if (std::uintmax_t(info.st_size) > kMaxFileBytes)
        throw EReadError(QStringLiteral("File too large: %1 (the limit is 512 MiB)").arg(path));
    std::vector<std::uint8_t> bytes(std::size_t(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::read(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw EReadError(QStringLiteral("Stream read error: %1 (%2)").arg(Reason(errno), path));
        if (got == 0)
            throw EReadError(QStringLiteral("Stream read error: the file ended early (%1)").arg(path));
        done += std::size_t(got);
    }
    return bytes;
}

void WriteFileAtomic(const QString &path, std::span<const std::uint8_t> bytes, TLockedFolder lockedFolder)
{
    const auto createError = [&] {
        return EFCreateError(QStringLiteral("Cannot create file %1").arg(path));
    };
    const std::filesystem::path targetPath = ToPath(path);
    if (path.isEmpty() || !targetPath.has_filename())
        throw createError();
    const std::string target = targetPath.string();
    const std::string folder = targetPath.has_parent_path() ? targetPath.parent_path().string() : std::string(".");

    // An existing file is replaced only when the user may write it, and keeps its permission bits; its new
    // bytes reach the disk before the rename, so a crash right after never leaves it empty.
    std::optional<mode_t> keptMode;
    struct stat info {
    };
    if (::stat(target.c_str(), &info) == 0) {
        if (!S_ISREG(info.st_mode) || ::access(target.c_str(), W_OK) != 0)
            throw createError();
        keptMode = info.st_mode & (S_IRWXU | S_IRWXG | S_IRWXO);
    }
    TTempResult result = WriteViaUnnamedFile(folder, target, path, bytes, keptMode);
    if (result == TTempResult::NoTemporary)
        result = WriteViaNamedFile(folder, target, path, bytes, keptMode);
    if (result == TTempResult::Done)
        return;
    if (result == TTempResult::NotWritable && keptMode && lockedFolder == TLockedFolder::RewriteInPlace) {
        RewriteInPlace(target, path, bytes);
        return;
    }
    throw createError();
}

void RemovePendingTemporaryFiles() noexcept
{
    for (TPendingSlot &slot : gPending) {
        if (slot.State.load() == kSlotPublished)
            ::unlink(slot.Path);
    }
}

bool FileExists(const QString &path)
{
    struct stat info {
    };
    return !path.isEmpty() && ::stat(NativePath(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

bool DirectoryExists(const QString &path)
{
    struct stat info {
    };
    return !path.isEmpty() && ::stat(NativePath(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

qint64 RegularFileSize(const QString &path)
{
    struct stat info {
    };
    if (path.isEmpty() || ::stat(NativePath(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    return qint64(info.st_size);
}

} // namespace vellumar
