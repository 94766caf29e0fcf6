#include "version/app_metadata.h"

#include <QCoreApplication>

namespace vellumar
{

void ApplyAppMetadata()
{
    QCoreApplication::setApplicationName(QString::fromLatin1(kAppTitle));
    // Names the user's config folder (~/.config/Vellumar/Vellumar), where the window keeps its presets.
    QCoreApplication::setOrganizationName(QString::fromLatin1(kAppTitle));
}

} // namespace vellumar
