#pragma once

class QCoreApplication;

namespace vellumar
{

/**
 * Installs the windows' translation, and Qt's own for its dialogs, for the first of the user's languages
 * (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) that has one; none when English comes first. The translators are
 * children of app.
 */
void InstallTranslations(QCoreApplication &app);

} // namespace vellumar
