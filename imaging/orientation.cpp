#include "imaging/orientation.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "imaging/errors.h"

namespace vellumar
{

namespace
{

constexpr std::size_t kBandRows = 64;
constexpr std::ptrdiff_t kTileColumns = 64;

struct TPoint {
    std::int64_t X = 0;
    std::int64_t Y = 0;
};

// Where stored pixel (x, y) of a w x h picture lands in the upright picture.
TPoint UprightPoint(TOrientation orientation, std::int64_t w, std::int64_t h, std::int64_t x, std::int64_t y)
{
    const TOrientationTransform &transform = Transform(orientation);
    TPoint p = transform.SwapsSides ? TPoint { y, x } : TPoint { x, y };
    const std::int64_t uprightWidth = transform.SwapsSides ? h : w;
    const std::int64_t uprightHeight = transform.SwapsSides ? w : h;
    if (transform.MirrorsX)
        p.X = uprightWidth - 1 - p.X;
    if (transform.MirrorsY)
        p.Y = uprightHeight - 1 - p.Y;
    return p;
}

} // namespace

void PlaceRowsUpright(QImage &upright,
    TOrientation orientation,
    int storedWidth,
    int storedHeight,
    int firstRow,
    std::span<const std::uint8_t *const> rows,
    int bytesPerPixel)
{
    if (rows.empty() || storedWidth <= 0)
        return;
    const std::ptrdiff_t stride = upright.bytesPerLine();
    std::uint8_t *base = upright.bits();
    const auto address = [&](TPoint p) {
        return std::ptrdiff_t(p.Y) * stride + std::ptrdiff_t(p.X) * bytesPerPixel;
    };
    if (orientation == TOrientation::Normal) {
        for (std::size_t r = 0; r < rows.size(); ++r)
            std::memcpy(base + address({ 0, firstRow + std::int64_t(r) }),
                rows[r],
                std::size_t(storedWidth) * std::size_t(bytesPerPixel));
        return;
    }
    // Along a stored row the upright address moves by one fixed step, so each row is a start and a step.
    // The columns run outermost: in a quarter turn the rows of one chunk then land side by side.
    std::vector<std::ptrdiff_t> starts(rows.size());
    for (std::size_t r = 0; r < rows.size(); ++r)
        starts[r] = address(UprightPoint(orientation, storedWidth, storedHeight, 0, firstRow + std::int64_t(r)));
    const std::ptrdiff_t step =
        storedWidth > 1 ? address(UprightPoint(orientation, storedWidth, storedHeight, 1, firstRow)) - starts[0] : 0;
    // A fixed pixel size lets each copy be a few moves rather than a call.
    // Tiles of kBandRows x kTileColumns: the rows read and the upright rows written both stay in the cache.
    const auto place = [&]<std::size_t kBytes>() {
        for (std::size_t band = 0; band < rows.size(); band += kBandRows) {
            const std::size_t end = std::min(rows.size(), band + kBandRows);
            for (std::ptrdiff_t column = 0; column < storedWidth; column += kTileColumns) {
                const std::ptrdiff_t last = std::min<std::ptrdiff_t>(storedWidth, column + kTileColumns);
                for (std::size_t r = band; r < end; ++r) {
                    std::uint8_t *to = base + starts[r];
                    const std::uint8_t *from = rows[r];
                    for (std::ptrdiff_t x = column; x < last; ++x)
                        std::memcpy(to + x * step, from + std::size_t(x) * kBytes, kBytes);
                }
            }
        }
    };
    if (bytesPerPixel == 3)
        place.template operator()<3>();
    else
        place.template operator()<1>();
}

TBitmap OrientBitmap(const TBitmap &bitmap, TOrientation orientation)
{
    if (orientation == TOrientation::Normal || bitmap.Empty())
        return bitmap;
    const QImage &stored = bitmap.Image();
    const bool swap = OrientationSwapsSides(orientation);
    QImage upright(swap ? stored.height() : stored.width(), swap ? stored.width() : stored.height(), stored.format());
    if (upright.isNull())
        throw EOutOfResources("Out of system resources");
    upright.setColorTable(stored.colorTable());
    const int bytesPerPixel = stored.format() == QImage::Format_Indexed8 ? 1 : 3;
    std::vector<const std::uint8_t *> rows(std::size_t(stored.height()));
    for (int y = 0; y < stored.height(); ++y)
        rows[std::size_t(y)] = stored.constScanLine(y);
    PlaceRowsUpright(upright, orientation, stored.width(), stored.height(), 0, rows, bytesPerPixel);
    return TBitmap::FromImage(std::move(upright));
}

} // namespace vellumar
