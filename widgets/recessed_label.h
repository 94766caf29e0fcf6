#pragma once

#include <QString>
#include <QWidget>

namespace vellumar
{

/**
 * An opaque label drawn as engraved lettering: it fills its rectangle with the window's face colour,
 * then draws its text in the palette's Light colour one pixel right and down, and again in the window
 * text colour at its place. It sizes itself to its text and keeps its right edge where it was.
 */
class TRecessedLabel : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)

public:
    explicit TRecessedLabel(QWidget *parent = nullptr);

    [[nodiscard]] QString text() const { return mText; }
    void setText(const QString &text);

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    /** Resizes to the text; the right edge stays fixed. */
    void FitToText();

    QString mText;
};

} // namespace vellumar
