#include "engine/status_log.h"

#include <cstdint>
#include <span>

#include <sys/stat.h>
#include <unistd.h>

#include "imaging/errors.h"
#include "imaging/file_io.h"
#include "imaging/native_name.h"

namespace vellumar
{

namespace
{

// Replacing a file goes through a rename, which a file's own permissions do not stop; a file that
// nobody may write to is kept, as a read-only file is elsewhere (also for root).
bool IsReadOnlyFile(const QString &path)
{
    const QByteArray native = NativePath(path);
    struct stat info = {};
    if (::stat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(native.constData(), W_OK) != 0;
}

} // namespace

void TStatusLog::AddStatusLine(const QString &line)
{
    // Every line is one line: a name's control characters and undecodable bytes cannot start another.
    const QString shown = PrintableName(line);
    mLines.append(shown);
    if (mOnChange)
        mOnChange(TChange::LineAdded, shown);
}

void TStatusLog::Clear()
{
    mLines.clear();
    if (mOnChange)
        mOnChange(TChange::Cleared, QString());
}

QString TStatusLog::Text() const
{
    QString text;
    for (const QString &line : mLines)
        text += line + QLatin1String("\r\n");
    return text;
}

void TStatusLog::SaveStatusReport(const QString &path) const
{
    if (IsReadOnlyFile(path))
        throw EFCreateError(CannotCreateFileText(path, QStringLiteral("it is read-only")));
    const QByteArray bytes = Text().toUtf8();
    // A report may be saved over a writable file in a folder the user cannot add to.
    WriteFileAtomic(path,
        std::span(reinterpret_cast<const std::uint8_t *>(bytes.constData()), std::size_t(bytes.size())),
        TLockedFolder::RewriteInPlace);
}

} // namespace vellumar
