#include "imaging/file_io.h"

#include <cerrno>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "imaging/errors.h"

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

mode_t CurrentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

} // namespace

std::filesystem::path ToPath(const QString &path)
{
    return std::filesystem::path(path.toStdString());
}

QString FromPath(const std::filesystem::path &path)
{
    return QString::fromStdString(path.string());
}

std::vector<std::uint8_t> ReadWholeFile(const QString &path)
{
    const QByteArray native = path.toUtf8();
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
        if (got <= 0)
            throw EReadError("Stream read error");
        done += std::size_t(got);
    }
    return bytes;
}

void WriteFileAtomic(const QString &path, std::span<const std::uint8_t> bytes)
{
    const auto createError = [&] {
        return EFCreateError(QStringLiteral("Cannot create file %1").arg(path));
    };
    const std::filesystem::path target = ToPath(path);
    if (path.isEmpty() || !target.has_filename())
        throw createError();
    // A dot-file beside the target: the same file system for the rename, and never listed as a photo.
    std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    TFileDescriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.Get() < 0)
        throw createError();
    const auto discard = [&] {
        ::close(fd.Release());
        ::unlink(pattern.c_str());
    };
    ::fchmod(fd.Get(), 0666 & ~CurrentUmask());
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd.Get(), bytes.data() + done, bytes.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            discard();
            throw EWriteError("Stream write error");
        }
        done += std::size_t(put);
    }
    if (::close(fd.Release()) != 0) {
        ::unlink(pattern.c_str());
        throw EWriteError("Stream write error");
    }
    if (::rename(pattern.c_str(), target.c_str()) != 0) {
        ::unlink(pattern.c_str());
        throw createError();
    }
}

bool FileExists(const QString &path)
{
    struct stat info {
    };
    return !path.isEmpty() && ::stat(path.toUtf8().constData(), &info) == 0 && S_ISREG(info.st_mode);
}

bool DirectoryExists(const QString &path)
{
    struct stat info {
    };
    return !path.isEmpty() && ::stat(path.toUtf8().constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

} // namespace vellumar
