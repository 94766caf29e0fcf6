#pragma once

#include <QString>

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "overlay/overlay_settings.h"

namespace vellumar
{

/**
 * The text drawing flags of an overlay: tabs expanded, every line aligned as horizontal says (DT_LEFT,
 * DT_CENTER or DT_RIGHT), and lines broken between words when wordWrap.
 */
[[nodiscard]] unsigned OverlayTextFlags(THorizontalPlacement horizontal, bool wordWrap);

/**
 * Where a block of text goes: rect moved down so that the lines laid out from its top (measured on canvas,
 * in its current font, with flags) lie at the top, in the middle or at the bottom of height pixels. The
 * middle's offset is truncated toward zero; a block taller than height moves up. The renderer and the
 * dialog's preview both place their text with this.
 */
[[nodiscard]] TRect PlaceTextBlock(TCanvas &canvas,
    const QString &text,
    TRect rect,
    int height,
    TVerticalPlacement vertical,
    unsigned flags);

/**
 * Draws the overlay onto bitmap, made 24-bit first. The font's size in points is the size class's percent
 * of the bitmap's smaller side; the text wraps within the width less 10 pixels, is placed as the position
 * says, and is drawn with a black shadow |font height| div 12 pixels below and right of the colour. The
 * bitmap's canvas keeps the font. An empty text draws nothing.
 */
void DrawOverlay(TBitmap &bitmap, const TOverlaySettings &settings);

} // namespace vellumar
