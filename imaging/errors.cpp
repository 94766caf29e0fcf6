#include "imaging/errors.h"

#include <system_error>

namespace vellumar
{

QString SystemReason(int error)
{
    return QString::fromStdString(std::error_code(error, std::generic_category()).message());
}

QString WithReason(const QString &text, const QString &reason)
{
    return reason.isEmpty() ? text : text + QStringLiteral(": ") + reason;
}

QString CannotCreateFileText(const QString &path, const QString &reason)
{
    return WithReason(QStringLiteral("Cannot create file %1").arg(path), reason);
}

QString WrapMessage(std::string_view action, const QString &path, const std::exception &inner)
{
    return QString::fromUtf8(action.data(), qsizetype(action.size())) + path + QStringLiteral(" - Error: ")
        + PathFromNative(inner.what());
}

} // namespace vellumar
