#pragma once

#include <cstdint>

#include <QLineEdit>

namespace vellumar
{

/**
 * The running-number field. Its value is read from its text (TOutputNamer::ParseNumber: the digits,
 * negative with a "-" or "(", empty as 0). Only digits and one sign at the start may be typed; other
 * characters beep and are dropped. The text is rewritten in the display format of the padding when a
 * different value is set, when the padding changes and when the field gains or loses the focus.
 */
class TNumberEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(int padding READ Padding WRITE SetPadding)

public:
    explicit TNumberEdit(QWidget *parent = nullptr);

    [[nodiscard]] std::int64_t Value() const;
    /** Rewrites the text only when value differs from the value the text shows. */
    void SetValue(std::int64_t value);
    [[nodiscard]] int Padding() const { return mPadding; }
    /** The display format's padding (TOutputNamer::DisplayFormat); the text is rewritten in it. */
    void SetPadding(int padding);
    [[nodiscard]] QString DisplayFormat() const;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void Rewrite();

    int mPadding = 0;
};

} // namespace vellumar
