#include "widgets/elided_label.h"

#include <QEvent>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace vellumar
{

QString TElidedLabel::ShownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width() - 2 * margin());
}

void TElidedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawFrame(&painter);
    const QRect area = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter,
        area,
        int(QStyle::visualAlignment(layoutDirection(), alignment())),
        palette(),
        isEnabled(),
        ShownText(),
        foregroundRole());
}

bool TElidedLabel::event(QEvent *event)
{
    // Only a cut text needs its whole form as a tooltip.
    if (event->type() == QEvent::ToolTip) {
        const QString shown = ShownText();
        if (shown == text()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), text(), this);
        }
        return true;
    }
    return QLabel::event(event);
}

} // namespace vellumar
