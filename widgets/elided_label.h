#pragma once

#include <QLabel>

namespace vellumar
{

/**
 * A one-line label that keeps its whole text (text() is what was set) but draws a text too wide for it
 * with "…" in the middle, so that both the start and the end of a long name show; the whole text is
 * then its tooltip.
 */
class TElidedLabel : public QLabel
{
    Q_OBJECT

public:
    using QLabel::QLabel;

    /** The text as drawn now: whole, or cut in the middle to fit. */
    [[nodiscard]] QString ShownText() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
};

} // namespace vellumar
