#include "widgets/recessed_label.h"

#include <QEvent>
#include <QPainter>

namespace vellumar
{

TRecessedLabel::TRecessedLabel(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TRecessedLabel::setText(const QString &text)
{
    if (text == mText)
        return;
    mText = text;
    FitToText();
    update();
}

QSize TRecessedLabel::sizeHint() const
{
    // One more pixel each way holds the light copy.
    const QFontMetrics metrics = fontMetrics();
    return QSize(metrics.horizontalAdvance(mText) + 1, metrics.height() + 1);
}

void TRecessedLabel::FitToText()
{
    const int right = x() + width();
    const QSize size = sizeHint();
    setGeometry(right - size.width(), y(), size.width(), size.height());
}

void TRecessedLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange)
        FitToText();
    QWidget::changeEvent(event);
}

void TRecessedLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.setFont(font());
    const QRect textRect = rect().adjusted(0, 0, -1, -1);
    constexpr int kFlags = Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine;
    painter.setPen(palette().color(QPalette::Light));
    painter.drawText(textRect.translated(1, 1), kFlags, mText);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(textRect, kFlags, mText);
}

} // namespace vellumar
