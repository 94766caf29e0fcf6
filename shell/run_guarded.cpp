#include "shell/run_guarded.h"

#include <QMessageBox>

#include "shell/app_metadata.h"

namespace vellumar
{

QString ErrorBoxText(const std::exception &error)
{
    QString text = QString::fromUtf8(error.what());
    if (!text.isEmpty() && text.back() > QLatin1Char('.'))
        text += QLatin1Char('.');
    return text;
}

void ShowErrorBox(QWidget *parent, const std::exception &error)
{
    QMessageBox::critical(parent, QString::fromLatin1(kAppTitle), ErrorBoxText(error));
}

} // namespace vellumar
