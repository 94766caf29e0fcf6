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
    // Faces with the widths of the classic dialog font. Liberation Sans comes first: Debian ships it, and
    // its widths are those the layouts were measured in, so captions fit wherever it is installed.
    QFont::insertSubstitutions(face,
        { QStringLiteral("Liberation Sans"),
            QStringLiteral("Microsoft Sans Serif"),
            QStringLiteral("Arial"),
            QStringLiteral("Arimo"),
            QStringLiteral("Nimbus Sans"),
            QStringLiteral("Helvetica") });
}

QFont WithDialogFontMetrics(QFont font)
{
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

} // namespace vellumar
