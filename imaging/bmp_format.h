#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/bitmap.h"

namespace vellumar
{

/** The largest picture a ".bmp" file may declare: 16384 x 16384 pixels. */
inline constexpr std::int64_t kMaxBitmapPixels = 16384LL * 16384;

/**
 * Decodes the bytes of a device-independent bitmap file (BITMAPFILEHEADER followed by a core, info,
 * V2/V3, V4 or V5 header). Accepted: uncompressed 1, 4, 8, 16, 24 and 32 bits per pixel, bit fields
 * for 16 and 32 bits, RLE8 and RLE4; bottom-up, and top-down when uncompressed. Palette files become
 * 8-bit bitmaps with their palette (palette indices past its end show black: the palette is padded
 * with black entries up to the largest index used); all others become 24-bit bitmaps.
 * Throws EInvalidGraphic "Bitmap image is not valid" for anything else, a short buffer included, and
 * EInvalidGraphic "Image too large: W x H pixels (the limit is 268435456)" when the header declares
 * more than kMaxBitmapPixels, before any pixel buffer is made.
 */
[[nodiscard]] TBitmap DecodeBmp(std::span<const std::uint8_t> bytes);

} // namespace vellumar
