#pragma once

// Turning a stored picture upright by its EXIF Orientation (1 to 8): 1 is stored upright, 2 mirrored, 3 turned
// half round, 4 flipped, 5 transposed, 6 needing a quarter turn clockwise, 7 transversed, 8 needing a quarter
// turn anticlockwise. 5 to 8 swap width and height.

#include <cstdint>
#include <span>

#include <QImage>

#include "imaging/bitmap.h"

namespace vellumar
{

/** True for the orientations whose upright picture is as wide as the stored one is high (5 to 8). */
[[nodiscard]] bool OrientationSwapsSides(int orientation);

/**
 * Copies stored rows firstRow, firstRow + 1, ... (rows.size() of them, each storedWidth pixels of
 * bytesPerPixel bytes) of a picture storedWidth x storedHeight to their places in upright, a frame of the
 * upright size with the same bytes per pixel. Orientations outside 1 to 8 count as 1. Rows may come in any
 * number at a time; together they fill the frame once.
 */
void PlaceRowsUpright(QImage &upright,
    int orientation,
    int storedWidth,
    int storedHeight,
    int firstRow,
    std::span<const std::uint8_t *const> rows,
    int bytesPerPixel);

/**
 * The bitmap turned upright. Orientation 1, one outside 1 to 8 or an empty bitmap gives the bitmap itself
 * (shared pixels); otherwise a new bitmap of the same format (and palette) holds the upright picture.
 */
[[nodiscard]] TBitmap OrientBitmap(const TBitmap &bitmap, int orientation);

} // namespace vellumar
