#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include <QString>

#include "imaging/native_name.h"

namespace vellumar
{

/**
 * The general error class: a message only, UTF-8 text. A name in it keeps its bytes (NativePath), so
 * Message() gives back the very name; it is escaped only where it is shown.
 */
class Exception : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
    explicit Exception(const QString &message)
        : std::runtime_error(NativePath(message).toStdString())
    {
    }
    [[nodiscard]] QString Message() const { return PathFromNative(what()); }
};

// File and stream errors.
class EFOpenError : public Exception
{
    using Exception::Exception;
};
class EFCreateError : public Exception
{
    using Exception::Exception;
};
class EReadError : public Exception
{
    using Exception::Exception;
};
class EWriteError : public Exception
{
    using Exception::Exception;
};
// Graphics errors.
class EInvalidGraphic : public Exception
{
    using Exception::Exception;
};
class EOutOfResources : public Exception
{
    using Exception::Exception;
};
/** A fatal error reported by the JPEG library, or a refused hostile JPEG stream. */
class EJPEG : public Exception
{
    using Exception::Exception;
};

/** The system's text for an errno value, e.g. "No space left on device". */
[[nodiscard]] QString SystemReason(int error);

/** text + ": " + reason; text alone when reason is empty. Every message that gives a cause this way. */
[[nodiscard]] QString WithReason(const QString &text, const QString &reason);

/** "Cannot create file <path>", then ": <reason>" when there is one: the one place this message is built. */
[[nodiscard]] QString CannotCreateFileText(const QString &path, const QString &reason = QString());

/** action + path + " - Error: " + inner.what(): the one place that builds wrapped messages. */
[[nodiscard]] QString WrapMessage(std::string_view action, const QString &path, const std::exception &inner);

} // namespace vellumar
