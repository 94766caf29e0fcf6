#include "widgets/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace vellumar
{

void InstallTranslations(QCoreApplication &app)
{
    for (QString language : QLocale::system().uiLanguages()) {
        language.replace(QLatin1Char('-'), QLatin1Char('_'));
        // The windows are written in English: a user who puts it before another language gets it.
        if (language == QLatin1String("C") || language.startsWith(QLatin1String("en")))
            return;
        auto *own = new QTranslator(&app);
        if (!own->load(QStringLiteral("vellumar_") + language, QStringLiteral(":/i18n"))) {
            delete own;
            continue;
        }
        app.installTranslator(own);
        auto *qt = new QTranslator(&app);
        if (qt->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            app.installTranslator(qt);
        return;
    }
}

} // namespace vellumar
