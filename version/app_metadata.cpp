#include "version/app_metadata.h"

#include <QCoreApplication>

namespace vellumar
{

void ApplyAppMetadata()
{
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));
}

} // namespace vellumar
