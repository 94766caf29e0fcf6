#include "imaging/errors.h"

namespace vellumar
{

QString WrapMessage(std::string_view action, const QString &path, const std::exception &inner)
{
    return QString::fromUtf8(action.data(), qsizetype(action.size())) + path + QStringLiteral(" - Error: ")
        + PathFromNative(inner.what());
}

} // namespace vellumar
