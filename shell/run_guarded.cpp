#include "shell/run_guarded.h"

#include <QMessageBox>

#include "shell/app_metadata.h"

namespace vellumar
{

QString ErrorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back() > QLatin1Char('.'))
        return message + QLatin1Char('.');
    return message;
}

void ShowErrorBox(QWidget *parent, const QString &message)
{
    QMessageBox::critical(parent, QString::fromLatin1(kAppTitle), ErrorBoxText(message), QMessageBox::Ok);
}

} // namespace vellumar
