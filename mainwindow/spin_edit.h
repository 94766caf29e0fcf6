#pragma once

#include <QSpinBox>

namespace vellumar
{

/**
 * A spin edit of whole numbers. Typed text is kept as typed (also beyond the range) until the field
 * loses the focus or is interpreted; it is then read as a number, clamped to the range and shown again,
 * an empty or unreadable text becoming the minimum. Only digits, Backspace and one leading sign may be
 * typed; other characters, Enter included, beep and are dropped. Without typing (SetTypingAllowed
 * false) the value changes only by stepping, and editing keys beep.
 */
class TSpinEdit : public QSpinBox
{
    Q_OBJECT
    Q_PROPERTY(bool typingAllowed READ TypingAllowed WRITE SetTypingAllowed)

public:
    explicit TSpinEdit(QWidget *parent = nullptr);

    [[nodiscard]] bool TypingAllowed() const { return mTypingAllowed; }
    void SetTypingAllowed(bool allowed);

    /** The value of text: its digits read as a number with its sign, clamped to the range. */
    [[nodiscard]] int ClampedValue(const QString &text) const;

protected:
    QValidator::State validate(QString &input, int &pos) const override;
    int valueFromText(const QString &text) const override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    [[nodiscard]] bool SignAllowedAtCursor() const;

    bool mTypingAllowed = true;
};

} // namespace vellumar
