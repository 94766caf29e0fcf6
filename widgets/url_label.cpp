#include "widgets/url_label.h"

#include <QDesktopServices>
#include <QMouseEvent>

namespace vellumar
{

TURLLabel::TURLLabel(QWidget *parent)
    : QLabel(parent)
    , mOpener(&QDesktopServices::openUrl)
{
    // Roles rather than fixed colours: the link follows the platform's palette.
    setForegroundRole(QPalette::Highlight);
}

void TURLLabel::SetOpener(TOpener opener)
{
    mOpener = opener ? std::move(opener) : TOpener(&QDesktopServices::openUrl);
}

void TURLLabel::OpenLink()
{
    QString target = mAddress.trimmed();
    if (target.isEmpty())
        target = text();
    if (target.isEmpty())
        return;
    if (mOpener(QUrl::fromUserInput(target))) {
        setForegroundRole(QPalette::Dark);
        update();
    }
}

void TURLLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        OpenLink();
    QLabel::mouseReleaseEvent(event);
}

} // namespace vellumar
