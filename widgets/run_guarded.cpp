#include "widgets/run_guarded.h"

#include <QMessageBox>
#include <QWidget>

#include "version/app_metadata.h"

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
    // A button held down when the error struck would otherwise keep the mouse away from the box.
    if (QWidget *grabber = QWidget::mouseGrabber())
        grabber->releaseMouse();
    QMessageBox::critical(parent, QString::fromLatin1(kAppTitle), ErrorBoxText(message), QMessageBox::Ok);
}

} // namespace vellumar
