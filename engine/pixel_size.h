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

/** How a reduction picks its pixels: one source pixel each (the exact reduction), or low-pass filtered. */
enum class TResizeFilter { Nearest, Smooth };

/** What a reduction's size follows: the percent, a long edge, or a box to fit inside. */
enum class TSizeMode { Percent, LongEdge, Fit };

/** How a reduction is made beyond its percent; the defaults are the exact reduction by percent. */
struct TResizeOptions {
    TResizeFilter Filter = TResizeFilter::Nearest;
    TSizeMode Mode = TSizeMode::Percent;
    int LongEdge = 1600;
    TPixelSize Box { 1600, 1600 };
    friend bool operator==(const TResizeOptions &, const TResizeOptions &) = default;
};

/**
 * The size a reduction writes for a picture of upright size: by percent each side is the whole part of its
 * exact product with scale (0 when that is below 1); by long edge or fit as LongEdgeSize and FitSize.
 */
[[nodiscard]] TPixelSize ReducedSize(TPixelSize upright, const TResizeOptions &options, double scale);

} // namespace vellumar
