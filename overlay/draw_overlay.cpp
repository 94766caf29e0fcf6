#include "overlay/draw_overlay.h"

#include <algorithm>
#include <cstdlib>

namespace vellumar
{

namespace
{

constexpr int kRightMargin = 10;
constexpr int kShadowDivisor = 12;

// Draws the text twice: black where the layout puts it, then the colour shadow pixels up and left.
void DrawShadowedText(TCanvas &canvas, const QString &text, TColor color, TRect rect, unsigned flags)
{
    flags |= DT_NOPREFIX;
    const int shadow = std::abs(canvas.Font().Height()) / kShadowDivisor;
    canvas.Font().SetColor(clBlack);
    canvas.DrawTextInRect(text, rect, flags);
    canvas.Font().SetColor(color);
    rect.Offset(-shadow, -shadow);
    canvas.DrawTextInRect(text, rect, flags);
}

// Only the letters' own pixels change; an ampersand is drawn as itself.
void DrawTextBlock(TCanvas &canvas, const TOverlaySettings &settings, int height, TRect rect, TPlacement placement)
{
    canvas.Brush().Style = TBrushStyle::bsClear;
    const unsigned flags = OverlayTextFlags(placement.Horizontal, settings.WordWrap) | DT_NOPREFIX;
    rect = PlaceTextBlock(canvas, settings.Text, rect, height, placement.Vertical, flags);
    DrawShadowedText(canvas, settings.Text, settings.FontColor, rect, flags);
}

} // namespace

unsigned OverlayTextFlags(THorizontalPlacement horizontal, bool wordWrap)
{
    unsigned flags = DT_EXPANDTABS;
    if (wordWrap)
        flags |= DT_WORDBREAK;
    switch (horizontal) {
    case THorizontalPlacement::Left:
        return flags | DT_LEFT;
    case THorizontalPlacement::Right:
        return flags | DT_RIGHT;
    case THorizontalPlacement::Centre:
        break;
    }
    return flags | DT_CENTER;
}

TRect PlaceTextBlock(TCanvas &canvas,
    const QString &text,
    TRect rect,
    int height,
    TVerticalPlacement vertical,
    unsigned flags)
{
    if (vertical == TVerticalPlacement::Top)
        return rect;
    TRect measured = rect;
    canvas.DrawTextInRect(text, measured, flags | DT_CALCRECT);
    const int gap = height - measured.Bottom;
    rect.Offset(0, vertical == TVerticalPlacement::Bottom ? gap : gap / 2);
    return rect;
}

void DrawOverlay(TBitmap &bitmap, const TOverlaySettings &settings)
{
    bitmap.SetPixelFormat24();
    TFont &font = bitmap.Canvas().Font();
    font.SetName(settings.FontName);
    font.SetColor(settings.FontColor);
    font.SetStyle(settings.FontStyle);
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    font.SetSize(std::min(width, height) * SizePercent(settings.SizeClass) / 100);
    DrawTextBlock(bitmap.Canvas(),
        settings,
        height,
        TRect { 0, 0, width - kRightMargin, height },
        PositionPlacement(settings.TextPosition));
}

} // namespace vellumar
