#include "imaging/bitmap.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "imaging/canvas.h"
#include "imaging/errors.h"

namespace vellumar
{

namespace
{

QImage::Format StorageFormat(TPixelFormat format)
{
    return format == TPixelFormat::pf8bit ? QImage::Format_Indexed8 : QImage::Format_BGR888;
}

// (2 * dst + 1) * srcLen of a stretch may need up to 66 bits.
__extension__ using TWide = __int128;

// The visible part [first, last) of a span that starts at start and is length long, inside [0, limit).
struct TSpan {
    int First = 0;
    int Last = 0;
};

TSpan VisibleSpan(int start, std::int64_t length, int limit)
{
    const std::int64_t first = std::max<std::int64_t>(start, 0);
    const std::int64_t last = std::min<std::int64_t>(std::int64_t(start) + length, limit);
    return last > first ? TSpan { int(first), int(last) } : TSpan {};
}

} // namespace

int StretchSourceIndex(std::int64_t dst, int srcLen, std::int64_t dstLen)
{
    const TWide numerator = (TWide(2) * dst + 1) * srcLen;
    return int(numerator / (TWide(2) * dstLen));
}

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

TBitmap::TBitmap(const TBitmap &other)
    : TGraphic(other)
    , mWidth(other.mWidth)
    , mHeight(other.mHeight)
    , mFormat(other.mFormat)
    , mImage(other.mImage)
{
}

TBitmap &TBitmap::operator=(const TBitmap &other)
{
    if (this != &other) {
        mWidth = other.mWidth;
        mHeight = other.mHeight;
        mFormat = other.mFormat;
        mImage = other.mImage;
    }
    return *this;
}

TBitmap::TBitmap(TBitmap &&other) noexcept
    : TGraphic(other)
    , mWidth(std::exchange(other.mWidth, 0))
    , mHeight(std::exchange(other.mHeight, 0))
    , mFormat(other.mFormat)
    , mImage(std::move(other.mImage))
{
    other.mImage = QImage();
}

TBitmap &TBitmap::operator=(TBitmap &&other) noexcept
{
    if (this != &other) {
        mWidth = std::exchange(other.mWidth, 0);
        mHeight = std::exchange(other.mHeight, 0);
        mFormat = other.mFormat;
        mImage = std::move(other.mImage);
        other.mImage = QImage();
    }
    return *this;
}

TBitmap TBitmap::FromImage(QImage image)
{
    TBitmap bitmap;
    if (image.format() == QImage::Format_Indexed8) {
        bitmap.mFormat = TPixelFormat::pf8bit;
    } else {
        bitmap.mFormat = TPixelFormat::pf24bit;
        if (!image.isNull() && image.format() != QImage::Format_BGR888)
            image = image.convertToFormat(QImage::Format_BGR888);
    }
    bitmap.mWidth = image.width();
    bitmap.mHeight = image.height();
    bitmap.mImage = std::move(image);
    return bitmap;
}

bool TBitmap::Empty() const
{
    return mWidth == 0 || mHeight == 0;
}

void TBitmap::SetPixelFormat24()
{
    if (mFormat == TPixelFormat::pf24bit)
        return;
    if (!mImage.isNull() && mImage.format() != QImage::Format_BGR888)
        mImage = mImage.convertToFormat(QImage::Format_BGR888);
    mFormat = TPixelFormat::pf24bit;
}

void TBitmap::SetBitmapWidth(int width)
{
    if (width != mWidth)
        Resize(width, mHeight);
}

void TBitmap::SetBitmapHeight(int height)
{
    if (height != mHeight)
        Resize(mWidth, height);
}

void TBitmap::Resize(int width, int height)
{
    if (width < 0 || height < 0)
        throw EInvalidGraphic("Invalid bitmap size");
    QImage next;
    if (width > 0 && height > 0) {
        next = QImage(width, height, StorageFormat(mFormat));
        if (next.isNull())
            throw EOutOfResources("Out of system resources");
        if (mFormat == TPixelFormat::pf8bit) {
            next.setColorTable(mImage.colorTable());
            next.fill(0);
        } else {
            const TColor fill = mCanvas ? mCanvas->Brush().Color : clWhite;
            next.fill(QColor::fromRgb(ColorToRgb(fill)));
        }
        if (!mImage.isNull()) {
            // The old content stays unscaled at the top-left, cut off where the new size is smaller.
            const int rows = std::min(height, mImage.height());
            const int bytes = std::min(width, mImage.width()) * (mFormat == TPixelFormat::pf8bit ? 1 : 3);
            for (int y = 0; y < rows; ++y)
                std::memcpy(next.scanLine(y), mImage.constScanLine(y), std::size_t(bytes));
        }
    }
    mImage = std::move(next);
    mWidth = width;
    mHeight = height;
}

TCanvas &TBitmap::Canvas()
{
    if (!mCanvas)
        mCanvas = std::make_unique<TCanvas>(*this);
    return *mCanvas;
}

void TBitmap::SetIndexed8(int width, int height, const std::vector<std::uint32_t> &palette)
{
    if (width < 0 || height < 0 || palette.size() > 256)
        throw EInvalidGraphic("Invalid pixel format");
    mFormat = TPixelFormat::pf8bit;
    mImage = QImage();
    mWidth = 0;
    mHeight = 0;
    QImage next;
    if (width > 0 && height > 0) {
        next = QImage(width, height, QImage::Format_Indexed8);
        if (next.isNull())
            throw EOutOfResources("Out of system resources");
        next.setColorTable(QList<QRgb>(palette.begin(), palette.end()));
        next.fill(0);
    }
    mImage = std::move(next);
    mWidth = width;
    mHeight = height;
}

void TBitmap::DrawOnto(TCanvas &canvas, const TRect &rect)
{
    // Nearest-neighbour stretch (the colour-on-colour mode): every destination pixel copies exactly one
    // source pixel, chosen by StretchSourceIndex along each axis. Nothing is averaged. Mirrored or empty
    // rectangles draw nothing; the destination bitmap's bounds clip the scaled picture.
    if (Empty() || mImage.isNull())
        return;
    TBitmap &target = canvas.Bitmap();
    if (target.Empty())
        return;
    const std::int64_t dstWidth = std::int64_t(rect.Right) - rect.Left;
    const std::int64_t dstHeight = std::int64_t(rect.Bottom) - rect.Top;
    if (dstWidth <= 0 || dstHeight <= 0)
        return;
    const TSpan columns = VisibleSpan(rect.Left, dstWidth, target.Width());
    const TSpan rows = VisibleSpan(rect.Top, dstHeight, target.Height());
    if (columns.Last == columns.First || rows.Last == rows.First)
        return;

    // A local reference keeps the source pixels alive and unchanged even when target is this bitmap:
    // the destination then detaches before it is written.
    // Only the two storage formats are read below; anything else (assigned through MutableImage) is
    // converted once.
    const QImage source = mImage.format() == QImage::Format_BGR888 || mImage.format() == QImage::Format_Indexed8
        ? mImage
        : mImage.convertToFormat(QImage::Format_BGR888);
    if (target.mImage.format() != QImage::Format_BGR888)
        target.SetPixelFormat24();
    QImage &dest = target.MutableImage();

    const int srcWidth = source.width();
    const int srcHeight = source.height();
    const bool indexed = source.format() == QImage::Format_Indexed8;

    // Palette entries as blue, green, red; indices past the palette's end are black.
    std::array<std::uint8_t, std::size_t(256) * 3> lookup {};
    if (indexed) {
        const QList<QRgb> table = source.colorTable();
        for (int i = 0; i < std::min<int>(int(table.size()), 256); ++i) {
            lookup[std::size_t(i) * 3] = std::uint8_t(qBlue(table[i]));
            lookup[std::size_t(i) * 3 + 1] = std::uint8_t(qGreen(table[i]));
            lookup[std::size_t(i) * 3 + 2] = std::uint8_t(qRed(table[i]));
        }
    }

    const int visibleWidth = columns.Last - columns.First;
    const std::size_t rowBytes = std::size_t(visibleWidth) * 3;
    const bool sameWidth = dstWidth == srcWidth;
    // First source column of the visible part; with equal widths the columns follow one another.
    const int firstSourceColumn = StretchSourceIndex(std::int64_t(columns.First) - rect.Left, srcWidth, dstWidth);
    std::vector<int> sourceColumn;
    if (!sameWidth || indexed) {
        sourceColumn.resize(std::size_t(visibleWidth));
        for (int x = columns.First; x < columns.Last; ++x)
            sourceColumn[std::size_t(x - columns.First)] =
                StretchSourceIndex(std::int64_t(x) - rect.Left, srcWidth, dstWidth);
    }

    int previousSourceRow = -1;
    const std::uint8_t *previousRow = nullptr;
    for (int y = rows.First; y < rows.Last; ++y) {
        const int sourceRow = StretchSourceIndex(std::int64_t(y) - rect.Top, srcHeight, dstHeight);
        std::uint8_t *out = dest.scanLine(y) + std::size_t(columns.First) * 3;
        if (sourceRow == previousSourceRow) {
            std::memcpy(out, previousRow, rowBytes);
        } else {
            const std::uint8_t *in = source.constScanLine(sourceRow);
            if (indexed) {
                for (std::size_t i = 0; i < sourceColumn.size(); ++i)
                    std::memcpy(out + i * 3, &lookup[std::size_t(in[sourceColumn[i]]) * 3], 3);
            } else if (sameWidth) {
                std::memcpy(out, in + std::size_t(firstSourceColumn) * 3, rowBytes);
            } else {
                for (std::size_t i = 0; i < sourceColumn.size(); ++i)
                    std::memcpy(out + i * 3, in + std::size_t(sourceColumn[i]) * 3, 3);
            }
        }
        previousSourceRow = sourceRow;
        previousRow = out;
    }
}

QImage &TBitmap::MutableImage()
{
    mImage.detach();
    return mImage;
}

QImage TBitmap::Image24() const
{
    if (mImage.isNull() || mImage.format() == QImage::Format_BGR888)
        return mImage;
    return mImage.convertToFormat(QImage::Format_BGR888);
}

} // namespace vellumar
