#pragma once

// Turning a stored picture upright by its EXIF Orientation. The enum keeps the tag's numbers (1 to 8); one table
// says, for each, how a stored pixel lands in the upright picture, and every turn in the program reads it.

#include <array>
#include <cstdint>
#include <span>

#include <QImage>

#include "imaging/bitmap.h"

namespace vellumar
{

/** How a stored picture is turned to look upright, numbered as the EXIF Orientation tag numbers it. */
enum class TOrientation : std::uint8_t {
    Normal = 1, ///< Stored upright.
    FlipHorizontal, ///< Mirrored left to right.
    Rotate180, ///< Turned half round.
    FlipVertical, ///< Mirrored top to bottom.
    Transpose, ///< Mirrored across the top-left to bottom-right diagonal.
    Rotate90, ///< Needs a quarter turn clockwise.
    Transverse, ///< Mirrored across the top-right to bottom-left diagonal.
    Rotate270, ///< Needs a quarter turn anticlockwise.
};

/**
 * Where stored pixel (x, y) lands upright: first (y, x) when the sides swap, then each upright coordinate
 * counted from the far edge when it is mirrored.
 */
struct TOrientationTransform {
    bool SwapsSides = false;
    bool MirrorsX = false;
    bool MirrorsY = false;
};

namespace detail
{
inline constexpr std::array<TOrientationTransform, 8> kOrientationTransforms = { {
    { false, false, false }, // Normal
    { false, true, false }, // FlipHorizontal
    { false, true, true }, // Rotate180
    { false, false, true }, // FlipVertical
    { true, false, false }, // Transpose
    { true, true, false }, // Rotate90
    { true, true, true }, // Transverse
    { true, false, true }, // Rotate270
} };
} // namespace detail

/** The orientation an EXIF Orientation value names; anything outside 1 to 8 (which no reader can use) is Normal. */
[[nodiscard]] constexpr TOrientation OrientationFromExif(std::int64_t value)
{
    return value >= 1 && value <= 8 ? TOrientation(value) : TOrientation::Normal;
}

/** The EXIF Orientation value (1 to 8) of an orientation, for where the number itself is written. */
[[nodiscard]] constexpr int ExifValue(TOrientation orientation)
{
    return int(orientation);
}

/** The orientation's row of the table. */
[[nodiscard]] constexpr const TOrientationTransform &Transform(TOrientation orientation)
{
    return detail::kOrientationTransforms[std::size_t(orientation) - 1];
}

/** True for the orientations whose upright picture is as wide as the stored one is high. */
[[nodiscard]] constexpr bool OrientationSwapsSides(TOrientation orientation)
{
    return Transform(orientation).SwapsSides;
}

/**
 * Copies stored rows firstRow, firstRow + 1, ... (rows.size() of them, each storedWidth pixels of
 * bytesPerPixel bytes) of a picture storedWidth x storedHeight to their places in upright, a frame of the
 * upright size with the same bytes per pixel. Rows may come in any number at a time; together they fill the
 * frame once.
 */
void PlaceRowsUpright(QImage &upright,
    TOrientation orientation,
    int storedWidth,
    int storedHeight,
    int firstRow,
    std::span<const std::uint8_t *const> rows,
    int bytesPerPixel);

/**
 * The bitmap turned upright. Normal or an empty bitmap gives the bitmap itself (shared pixels); otherwise a new
 * bitmap of the same format (and palette) holds the upright picture.
 */
[[nodiscard]] TBitmap OrientBitmap(const TBitmap &bitmap, TOrientation orientation);

} // namespace vellumar
