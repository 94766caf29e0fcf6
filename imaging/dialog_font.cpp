#include "imaging/dialog_font.h"

#include <QFont>
#include <QStringList>

namespace vellumar
{

void InstallDialogFontSubstitutes()
{
    const QString face = QStringLiteral("MS Sans Serif");
    if (!QFont::substitutes(face).isEmpty())
        return;
    // Faces with the widths of the classic dialog font, most alike first.
    QFont::insertSubstitutions(face,
        { QStringLiteral("Microsoft Sans Serif"),
            QStringLiteral("Arial"),
            QStringLiteral("Liberation Sans"),
            QStringLiteral("Arimo"),
            QStringLiteral("Nimbus Sans"),
            QStringLiteral("Helvetica") });
}

} // namespace vellumar
