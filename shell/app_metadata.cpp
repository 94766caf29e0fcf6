#include "shell/app_metadata.h"

#include <QCoreApplication>

namespace vellumar {

void ApplyAppMetadata()
{
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(kFileVersion));
}

} // namespace vellumar
