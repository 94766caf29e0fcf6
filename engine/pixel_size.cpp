#include "engine/pixel_size.h"

#include <algorithm>
#include <cstdint>

#include "engine/job_settings.h"

namespace vellumar
{

namespace
{

// side * numerator / denominator rounded half up, in integers (all products fit in 64 bits).
int ScaledSide(int side, int numerator, int denominator)
{
    const std::int64_t twice = 2 * std::int64_t(side) * numerator + denominator;
    return int(twice / (2 * std::int64_t(denominator)));
}

} // namespace

TPixelSize LongEdgeSize(TPixelSize upright, int longEdge)
{
    const int longer = std::max(upright.Width, upright.Height);
    if (longEdge < 1 || upright.Width < 1 || upright.Height < 1 || longer <= longEdge)
        return upright;
    if (upright.Width >= upright.Height)
        return { longEdge, std::max(1, ScaledSide(upright.Height, longEdge, longer)) };
    return { std::max(1, ScaledSide(upright.Width, longEdge, longer)), longEdge };
}

TPixelSize FitSize(TPixelSize upright, TPixelSize box)
{
    if (box.Width < 1 || box.Height < 1 || upright.Width < 1 || upright.Height < 1
        || (upright.Width <= box.Width && upright.Height <= box.Height))
        return upright;
    // The width limits when width / height >= box width / box height.
    if (std::int64_t(upright.Width) * box.Height >= std::int64_t(upright.Height) * box.Width)
        return { box.Width, std::clamp(ScaledSide(upright.Height, box.Width, upright.Width), 1, box.Height) };
    return { std::clamp(ScaledSide(upright.Width, box.Height, upright.Height), 1, box.Width), box.Height };
}

TPixelSize ReducedSize(TPixelSize upright, const TResizeOptions &options, double scale)
{
    switch (options.Mode) {
    case TSizeMode::LongEdge:
        return LongEdgeSize(upright, options.LongEdge);
    case TSizeMode::Fit:
        return FitSize(upright, options.Box);
    case TSizeMode::Percent:
        break;
    }
    return { FloorTimesScale(upright.Width, scale), FloorTimesScale(upright.Height, scale) };
}

} // namespace vellumar
