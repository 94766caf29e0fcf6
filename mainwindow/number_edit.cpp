#include "mainwindow/number_edit.h"

#include <QApplication>
#include <QKeyEvent>

#include "engine/job_settings.h"

namespace vellumar
{

TNumberEdit::TNumberEdit(QWidget *parent)
    : QLineEdit(parent)
{
}

std::int64_t TNumberEdit::Value() const
{
    return TOutputNamer::ParseNumber(text());
}

void TNumberEdit::SetValue(std::int64_t value)
{
    if (value != Value())
        setText(TOutputNamer::FormatNumber(value, mPadding));
}

void TNumberEdit::SetPadding(int padding)
{
    const bool changed = TOutputNamer::DisplayFormat(padding) != DisplayFormat();
    mPadding = padding;
    if (changed)
        Rewrite();
}

QString TNumberEdit::DisplayFormat() const
{
    return TOutputNamer::DisplayFormat(mPadding);
}

void TNumberEdit::Rewrite()
{
    const QString formatted = TOutputNamer::FormatNumber(Value(), mPadding);
    if (formatted != text())
        setText(formatted);
}

void TNumberEdit::keyPressEvent(QKeyEvent *event)
{
    const QString typed = event->text();
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    if (!ctrl && !typed.isEmpty() && typed.front().isPrint()) {
        const QChar c = typed.front();
        const bool digit = c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const bool sign = c == QLatin1Char('+') || c == QLatin1Char('-');
        const int at = hasSelectedText() ? selectionStart() : cursorPosition();
        const QString rest = text().mid(hasSelectedText() ? selectionEnd() : 0);
        const bool restSigned =
            !rest.isEmpty() && (rest.front() == QLatin1Char('+') || rest.front() == QLatin1Char('-'));
        const bool signHere = sign && at == 0 && !restSigned;
        if (typed.size() != 1 || !(digit || signHere)) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TNumberEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    Rewrite();
}

void TNumberEdit::focusOutEvent(QFocusEvent *event)
{
    QLineEdit::focusOutEvent(event);
    Rewrite();
}

} // namespace vellumar
