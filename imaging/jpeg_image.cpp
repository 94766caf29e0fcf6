#include "imaging/jpeg_image.h"

#include <algorithm>
#include <span>
#include <utility>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "imaging/canvas.h"
#include "imaging/errors.h"
#include "imaging/file_io.h"
#include "imaging/jpeg_bridge.h"
#include "imaging/orientation.h"
#include "imaging/resampler.h"

namespace vellumar
{

TJPEGImage::TJPEGImage() = default;

TJPEGImage::~TJPEGImage() = default;

TJPEGImage::TJPEGImage(const TJPEGImage &other)
    : TGraphic(other)
    , mData(other.mData)
    , mBitmap(other.mBitmap ? std::make_unique<TBitmap>(*other.mBitmap) : nullptr)
    , mMarkers(other.mMarkers)
    , mQuality(other.mQuality)
    , mCoding(other.mCoding)
    , mOutputFormat(other.mOutputFormat)
    , mWarnings(other.mWarnings)
{
}

TJPEGImage &TJPEGImage::operator=(const TJPEGImage &other)
{
    if (this != &other) {
        TJPEGImage copy(other);
        std::swap(mData, copy.mData);
        std::swap(mBitmap, copy.mBitmap);
        std::swap(mMarkers, copy.mMarkers);
        mQuality = copy.mQuality;
        mCoding = copy.mCoding;
        mOutputFormat = copy.mOutputFormat;
        mWarnings = std::move(copy.mWarnings);
    }
    return *this;
}

bool TJPEGImage::Empty() const
{
    return !mData && (!mBitmap || mBitmap->Empty());
}

void TJPEGImage::DrawOnto(TCanvas &canvas, const TRect &rect)
{
    DecodedBitmap().DrawOnto(canvas, rect);
}

void TJPEGImage::LoadFromFile(const QString &path)
{
    LoadJpegFile(path);
}

void TJPEGImage::LoadJpegFile(const TFileRef &file, TJpegMarkers *markers)
{
    auto data = std::make_shared<TJPEGData>();
    data->Data = ReadWholeFile(file);
    QStringList warnings;
    // A 0-byte file is kept as an empty buffer: 0 by 0, not empty, and an error once decoded.
    if (!data->Data.empty()) {
        const TJpegHeaderFacts facts = ReadJpegStreamHeader(data->Data, markers);
        data->Width = facts.Width;
        data->Height = facts.Height;
        data->Grayscale = facts.Grayscale;
        warnings = facts.Warnings;
    }
    mData = std::move(data);
    mBitmap.reset();
    mWarnings = std::move(warnings);
}

void TJPEGImage::SaveJpegFile(const QString &path)
{
    // Existing compressed data is written unchanged: a later Quality only governs the next encoding.
    if (!mData)
        EncodeJpeg();
    WriteFileAtomic(path, mData->Data);
}

int TJPEGImage::ImageWidth() const
{
    if (mBitmap)
        return mBitmap->Width();
    return mData ? mData->Width : 0;
}

int TJPEGImage::ImageHeight() const
{
    if (mBitmap)
        return mBitmap->Height();
    return mData ? mData->Height : 0;
}

TBitmap &TJPEGImage::DecodedBitmap()
{
    if (!mBitmap) {
        const std::span<const std::uint8_t> stream =
            mData ? std::span<const std::uint8_t>(mData->Data) : std::span<const std::uint8_t>();
        // Kept only once complete, so a failed decode fails again rather than leaving a blank bitmap.
        mBitmap = std::make_unique<TBitmap>(
            DecodeJpegStream(stream, mOutputFormat == TJPEGPixelFormat::jf8Bit, {}, &mWarnings));
    }
    return *mBitmap;
}

TBitmap TJPEGImage::TakeBitmap()
{
    return TakeUprightBitmap(TOrientation::Normal);
}

TBitmap TJPEGImage::TakeUprightBitmap(TOrientation orientation)
{
    std::unique_ptr<TBitmap> decoded = std::move(mBitmap);
    std::shared_ptr<TJPEGData> data = std::move(mData);
    if (decoded)
        return OrientBitmap(*decoded, orientation);
    const std::span<const std::uint8_t> stream =
        data ? std::span<const std::uint8_t>(data->Data) : std::span<const std::uint8_t>();
    const bool sole = data.use_count() == 1;
    return DecodeJpegStreamUpright(
        stream,
        mOutputFormat == TJPEGPixelFormat::jf8Bit,
        orientation,
        [&data, sole] {
            if (!sole)
                return;
            data.reset();
#ifdef __GLIBC__
            // The freed bytes usually sit in the middle of the heap, where free() keeps them resident.
            malloc_trim(0);
#endif
        },
        &mWarnings);
}

TBitmap TJPEGImage::StretchedBitmap(int width, int height, const TRect &rect)
{
    const bool covers =
        width > 0 && height > 0 && rect.Left == 0 && rect.Top == 0 && rect.Right >= width && rect.Bottom >= height;
    if (covers && !mBitmap && mData && !mData->Data.empty())
        return DecodeJpegStreamStretched(mData->Data,
            mOutputFormat == TJPEGPixelFormat::jf8Bit,
            width,
            height,
            rect,
            &mWarnings);
    TBitmap bitmap;
    bitmap.SetPixelFormat24();
    bitmap.SetBitmapWidth(width);
    bitmap.SetBitmapHeight(height);
    bitmap.Canvas().DrawStretched(rect, this);
    return bitmap;
}

TBitmap TJPEGImage::SmoothBitmap(int width, int height)
{
    if (!mBitmap && mData && !mData->Data.empty())
        return DecodeJpegStreamSmooth(mData->Data, width, height, &mWarnings);
    const QImage source = DecodedBitmap().Image24();
    if (width < 1 || height < 1 || width > source.width() || height > source.height())
        throw EInvalidGraphic("Invalid bitmap size");
    TResampler resampler(source.width(), source.height(), width, height);
    for (int y = 0; y < source.height(); ++y)
        resampler.AddRow(source.constScanLine(y));
    return TBitmap::FromImage(resampler.TakeImage());
}

void TJPEGImage::AssignBitmap(const TBitmap &bitmap)
{
    mData.reset();
    mWarnings.clear();
    mBitmap = std::make_unique<TBitmap>(bitmap);
}

void TJPEGImage::EncodeJpeg()
{
    // A new record: copies of this image keep sharing the old one.
    auto data = std::make_shared<TJPEGData>();
    if (mBitmap && !mBitmap->Empty()) {
        data->Data = EncodeJpegStream(*mBitmap, mQuality, mMarkers, mCoding);
        data->Width = mBitmap->Width();
        data->Height = mBitmap->Height();
    }
    mData = std::move(data);
}

int TJPEGImage::EncodeJpegWithin(std::int64_t maxBytes, int minQuality)
{
    if (!mBitmap || mBitmap->Empty()) {
        EncodeJpeg();
        return mQuality;
    }
    const auto encode = [this](int quality) {
        return EncodeJpegStream(*mBitmap, quality, mMarkers, mCoding);
    };
    const auto fits = [maxBytes](const std::vector<std::uint8_t> &bytes) {
        return std::int64_t(bytes.size()) <= maxBytes;
    };
    // The size grows with the quality: the best that fits lies between low (fits) and high (does not).
    int low = std::clamp(minQuality, 1, 100);
    std::vector<std::uint8_t> best = encode(low);
    if (!fits(best))
        throw EJPEG(QStringLiteral("The photo does not fit in %1 bytes even at quality %2: %3 bytes")
                        .arg(maxBytes)
                        .arg(low)
                        .arg(best.size()));
    int high = 101;
    while (high - low > 1) {
        const int middle = (low + high) / 2;
        std::vector<std::uint8_t> bytes = encode(middle);
        if (fits(bytes)) {
            low = middle;
            best = std::move(bytes);
        } else {
            high = middle;
        }
    }
    auto data = std::make_shared<TJPEGData>();
    data->Data = std::move(best);
    data->Width = mBitmap->Width();
    data->Height = mBitmap->Height();
    mData = std::move(data);
    mQuality = std::uint8_t(low);
    return low;
}

void TJPEGImage::SetOutputFormat(TJPEGPixelFormat format)
{
    if (format == mOutputFormat)
        return;
    mOutputFormat = format;
    mBitmap.reset();
}

const std::vector<std::uint8_t> &TJPEGImage::CompressedData() const
{
    static const std::vector<std::uint8_t> none;
    return mData ? mData->Data : none;
}

bool TJPEGImage::Grayscale() const
{
    return mData && mData->Grayscale;
}

} // namespace vellumar
