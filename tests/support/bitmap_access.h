#pragma once

#include <array>
#include <cstdint>

#include "imaging/bitmap.h"

namespace vellumar::test
{

/** One 24-bit pixel: blue, green, red. */
using TBgr = std::array<std::uint8_t, 3>;

inline constexpr TBgr kWhite { 255, 255, 255 };

/** A white 24-bit bitmap of the given size. */
inline TBitmap Make24(int width, int height)
{
    TBitmap bitmap;
    bitmap.SetPixelFormat24();
    bitmap.SetBitmapWidth(width);
    bitmap.SetBitmapHeight(height);
    return bitmap;
}

/** The pixel at (x, y) of a 24-bit bitmap. */
inline TBgr PixelAt(const TBitmap &bitmap, int x, int y)
{
    const std::uint8_t *p = bitmap.Image().constScanLine(y) + std::size_t(x) * 3;
    return { p[0], p[1], p[2] };
}

} // namespace vellumar::test
