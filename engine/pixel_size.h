#pragma once

namespace vellumar
{

/** A picture's size in pixels. */
struct TPixelSize {
    int Width = 0;
    int Height = 0;
    friend bool operator==(const TPixelSize &, const TPixelSize &) = default;
};

} // namespace vellumar
