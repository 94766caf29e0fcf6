#pragma once

namespace vellumar
{

/** A picture's size in pixels. */
struct TPixelSize {
    int Width = 0;
    int Height = 0;
    friend bool operator==(const TPixelSize &, const TPixelSize &) = default;
};

/**
 * The size of upright reduced so that its longer side is longEdge, the aspect ratio kept: the longer side
 * becomes longEdge, the shorter one shorter * longEdge / longer rounded half up, and at least 1. Never
 * enlarges: a picture whose longer side is at most longEdge keeps its size. A longEdge below 1, or an empty
 * picture, keeps the size too.
 */
[[nodiscard]] TPixelSize LongEdgeSize(TPixelSize upright, int longEdge);

/**
 * The largest size of upright's aspect ratio that fits inside box: the side that limits becomes the box's,
 * the other is scaled with it, rounded half up and kept between 1 and the box. Never enlarges: a picture that
 * fits keeps its size. A box side below 1, or an empty picture, keeps the size too.
 */
[[nodiscard]] TPixelSize FitSize(TPixelSize upright, TPixelSize box);

} // namespace vellumar
