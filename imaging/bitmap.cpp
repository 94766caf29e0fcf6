#include "imaging/bitmap.h"

#include <cstring>

#include "imaging/canvas.h"
#include "imaging/errors.h"

namespace vellumar {

namespace {

QImage::Format StorageFormat(TPixelFormat format)
{
    return format == TPixelFormat::pf8bit ? QImage::Format_Indexed8 : QImage::Format_BGR888;
}

} // namespace

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

TBitmap::TBitmap(const TBitmap &other)
    : TGraphic(other), mWidth(other.mWidth), mHeight(other.mHeight), mFormat(other.mFormat), mImage(other.mImage)
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
    : TGraphic(other),
      mWidth(std::exchange(other.mWidth, 0)),
      mHeight(std::exchange(other.mHeight, 0)),
      mFormat(other.mFormat),
      mImage(std::move(other.mImage))
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

void TBitmap::ReleasePixels()
{
    if (!mImage.isNull())
        mImage.detach();
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
