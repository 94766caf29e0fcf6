#pragma once

#include <QImage>
#include <QLabel>

#include "imaging/canvas.h"

namespace vellumar
{

/**
 * The screen's logical pixels per inch (vertical), read once; 96 without a screen. Only what a window
 * shows follows it: the preview is drawn at the size the user sees the dialog's other text.
 */
[[nodiscard]] int ScreenPixelsPerInch();

/**
 * The overlay dialog's preview of the text. It has no background of its own: the caption is drawn over
 * whatever lies beneath, broken at word boundaries and line breaks to the label's width, placed by one of
 * nine alignments, first in black 2 pixels right and down, then in the font's colour. An "&" hides itself
 * and underlines the next character; "&&" draws one "&".
 */
class TPreviewLabel : public QLabel
{
    Q_OBJECT
public:
    explicit TPreviewLabel(QWidget *parent = nullptr);

    [[nodiscard]] const TFont &PreviewFont() const { return mFont; }
    /** An empty name leaves the face unchanged, as for any font. */
    void SetFontName(const QString &name);
    /** In points, at the screen's pixels per inch. */
    void SetFontSize(int points);
    void SetFontColor(TColor color);
    void SetFontStyle(TFontStyles style);

    /**
     * One of the nine positions in the order of the position list: column left, centre, right; row top,
     * middle, bottom. Any other value is placed like "Centre", as the renderer places it.
     */
    [[nodiscard]] int PreviewAlignment() const { return mAlignment; }
    void SetPreviewAlignment(int alignment);

    /** How far right and down the black copy lies. */
    static constexpr int kShadowDepth = 2;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    /** The caption's coverage (0 to 255 a pixel) over the label's area, in the current font and alignment. */
    [[nodiscard]] QImage TextCoverage() const;

    TFont mFont { ScreenPixelsPerInch() };
    int mAlignment = 4;
};

} // namespace vellumar
