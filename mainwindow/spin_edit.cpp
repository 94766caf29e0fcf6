#include "mainwindow/spin_edit.h"

#include <algorithm>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

namespace vellumar
{

namespace
{

bool IsSign(QChar c)
{
    return c == QLatin1Char('+') || c == QLatin1Char('-');
}

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

// An optional sign followed by digits only; the empty text counts too.
bool IsNumberText(const QString &text)
{
    const qsizetype start = !text.isEmpty() && IsSign(text.front()) ? 1 : 0;
    for (qsizetype i = start; i < text.size(); ++i)
        if (!IsDigit(text.at(i)))
            return false;
    return true;
}

bool IsTypedCharacter(const QKeyEvent *event)
{
    const QString text = event->text();
    return !text.isEmpty() && text.front().isPrint();
}

bool IsEnter(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

} // namespace

TSpinEdit::TSpinEdit(QWidget *parent)
    : QSpinBox(parent)
{
    // The text is read when the field is left, not at every keystroke: a value typed beyond the range
    // must stay visible as typed until then.
    setKeyboardTracking(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

void TSpinEdit::SetTypingAllowed(bool allowed)
{
    mTypingAllowed = allowed;
    // Also stops pasting and dropping text into a field that only steps.
    lineEdit()->setReadOnly(!allowed);
}

int TSpinEdit::ClampedValue(const QString &text) const
{
    const QString trimmed = text.trimmed();
    if (!IsNumberText(trimmed))
        return minimum();
    const qsizetype start = !trimmed.isEmpty() && IsSign(trimmed.front()) ? 1 : 0;
    const bool negative = start == 1 && trimmed.front() == QLatin1Char('-');
    if (trimmed.size() == start)
        return minimum();
    // Any magnitude past the range is as good as its bound, so a long run of digits cannot overflow.
    qint64 magnitude = 0;
    for (qsizetype i = start; i < trimmed.size(); ++i) {
        magnitude = magnitude * 10 + (trimmed.at(i).unicode() - u'0');
        if (magnitude > (qint64(1) << 40))
            break;
    }
    const qint64 value = negative ? -magnitude : magnitude;
    return int(std::clamp<qint64>(value, minimum(), maximum()));
}

QValidator::State TSpinEdit::validate(QString &input, int &pos) const
{
    Q_UNUSED(pos);
    return IsNumberText(input.trimmed()) ? QValidator::Acceptable : QValidator::Invalid;
}

int TSpinEdit::valueFromText(const QString &text) const
{
    return ClampedValue(text);
}

bool TSpinEdit::SignAllowedAtCursor() const
{
    const QLineEdit *edit = lineEdit();
    const int at = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    if (at != 0)
        return false;
    const QString rest = edit->text().mid(edit->hasSelectedText() ? edit->selectionEnd() : 0);
    return rest.isEmpty() || !IsSign(rest.front());
}

void TSpinEdit::keyPressEvent(QKeyEvent *event)
{
    const bool ctrl = event->modifiers().testFlag(Qt::ControlModifier);
    if (!mTypingAllowed) {
        const bool editing = event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete;
        if (IsEnter(event) || editing || (!ctrl && IsTypedCharacter(event))) {
            QApplication::beep();
            event->accept();
            return;
        }
        QSpinBox::keyPressEvent(event);
        return;
    }
    if (IsEnter(event)) {
        QApplication::beep();
        event->accept();
        return;
    }
    if (!ctrl && IsTypedCharacter(event)) {
        const QChar c = event->text().front();
        const bool accepted = event->text().size() == 1 && (IsDigit(c) || (IsSign(c) && SignAllowedAtCursor()));
        if (!accepted) {
            QApplication::beep();
            event->accept();
            return;
        }
    }
    QSpinBox::keyPressEvent(event);
}

} // namespace vellumar
