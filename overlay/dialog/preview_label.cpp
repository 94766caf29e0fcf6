#include "overlay/dialog/preview_label.h"

#include <algorithm>
#include <cmath>

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

#include "imaging/bitmap.h"
#include "overlay/draw_overlay.h"

namespace vellumar
{

namespace
{

/** The colour at each pixel's coverage, ready to be laid over anything. */
QImage Tinted(const QImage &coverage, TColor color)
{
    const QRgb rgb = ColorToRgb(color);
    QImage tinted(coverage.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < coverage.height(); ++y) {
        const uchar *alpha = coverage.constScanLine(y);
        auto *out = reinterpret_cast<QRgb *>(tinted.scanLine(y));
        for (int x = 0; x < coverage.width(); ++x)
            out[x] = qPremultiply(qRgba(qRed(rgb), qGreen(rgb), qBlue(rgb), alpha[x]));
    }
    return tinted;
}

} // namespace

int ScreenPixelsPerInch()
{
    static const int pixelsPerInch = [] {
        const QScreen *screen = QGuiApplication::primaryScreen();
        return screen != nullptr ? std::max(1, int(std::lround(screen->logicalDotsPerInchY()))) : kLayoutPixelsPerInch;
    }();
    return pixelsPerInch;
}

TPreviewLabel::TPreviewLabel(QWidget *parent)
    : QLabel(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TPreviewLabel::SetFontName(const QString &name)
{
    mFont.SetName(name);
    update();
}

void TPreviewLabel::SetFontSize(int points)
{
    mFont.SetSize(points);
    update();
}

void TPreviewLabel::SetFontColor(TColor color)
{
    mFont.SetColor(color);
    update();
}

void TPreviewLabel::SetFontStyle(TFontStyles style)
{
    mFont.SetStyle(style);
    update();
}

void TPreviewLabel::SetPreviewAlignment(int alignment)
{
    mAlignment = alignment;
    update();
}

QImage TPreviewLabel::TextCoverage() const
{
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0 || text().isEmpty())
        return {};
    // The text is laid out by the same canvas code as the rendering, white on black: the brightness of
    // each pixel is then how much of it the text covers.
    TBitmap mask;
    TCanvas &canvas = mask.Canvas();
    canvas.Brush().Color = clBlack;
    mask.SetPixelFormat24();
    mask.SetBitmapWidth(w);
    mask.SetBitmapHeight(h);
    canvas.Brush().Style = TBrushStyle::bsClear;
    canvas.Font() = mFont;
    canvas.Font().SetColor(clWhite);

    // Always wrapped, and with "&" as a mnemonic mark: the label's own rules, not the rendering's.
    const TPlacement placement = PositionPlacement(mAlignment);
    const unsigned flags = OverlayTextFlags(placement.Horizontal, true);
    TRect rect = PlaceTextBlock(canvas, text(), TRect { 0, 0, w, h }, h, placement.Vertical, flags);
    canvas.DrawTextInRect(text(), rect, flags);

    const QImage &pixels = mask.Image();
    QImage coverage(w, h, QImage::Format_Alpha8);
    for (int y = 0; y < h; ++y) {
        const uchar *bgr = pixels.constScanLine(y);
        uchar *alpha = coverage.scanLine(y);
        for (qsizetype x = 0; x < w; ++x)
            alpha[x] = std::max({ bgr[3 * x], bgr[3 * x + 1], bgr[3 * x + 2] });
    }
    return coverage;
}

void TPreviewLabel::paintEvent(QPaintEvent * /*event*/)
{
    // Painting must never throw into Qt: a failure simply shows no text.
    try {
        const QImage coverage = TextCoverage();
        if (coverage.isNull())
            return;
        QPainter painter(this);
        painter.drawImage(QPoint(kShadowDepth, kShadowDepth), Tinted(coverage, clBlack));
        painter.drawImage(QPoint(0, 0), Tinted(coverage, mFont.Color()));
    } catch (const std::exception &) {
        return;
    }
}

} // namespace vellumar
