#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <QImage>

#include "imaging/graphic.h"

namespace vellumar
{

/**
 * The nearest-neighbour rule of the stretch copy: the source index taken by destination index dst when srcLen
 * pixels are spread over dstLen, floor((2 * dst + 1) * srcLen / (2 * dstLen)), the source pixel under the
 * centre of the destination pixel. Exact for any 32-bit lengths. At equal lengths this is dst itself; at half
 * size it takes the odd rows and columns.
 */
[[nodiscard]] int StretchSourceIndex(std::int64_t dst, int srcLen, std::int64_t dstLen);

/** pfDevice: no format set yet; it stores pixels as 24-bit, the format the screen gives. */
enum class TPixelFormat { pfDevice, pf8bit, pf24bit };

/**
 * The raster bitmap. 24-bit pixels are three bytes in the order blue, green, red (QImage::Format_BGR888);
 * 8-bit pixels index a palette of up to 256 entries (QImage::Format_Indexed8). Rows run top to bottom,
 * each padded to a multiple of 4 bytes. Pixels are shared between copies and copied privately before
 * either side changes them (QImage's implicit sharing). The canvas is made on first use and is not
 * copied with the bitmap.
 */
class TBitmap : public TGraphic
{
public:
    TBitmap();
    ~TBitmap() override;
    TBitmap(const TBitmap &other);
    TBitmap &operator=(const TBitmap &other);
    TBitmap(TBitmap &&other) noexcept;
    TBitmap &operator=(TBitmap &&other) noexcept;

    /**
     * A bitmap over image's pixels, shared rather than copied: 8-bit for QImage::Format_Indexed8, else 24-bit
     * (other formats converted to QImage::Format_BGR888 first). A null image gives an empty bitmap.
     */
    [[nodiscard]] static TBitmap FromImage(QImage image);

    [[nodiscard]] bool Empty() const override;
    [[nodiscard]] int Width() const override { return mWidth; }
    [[nodiscard]] int Height() const override { return mHeight; }
    /** The stretch copy: every pixel of rect takes exactly one source pixel; the bitmap's bounds clip. */
    void DrawOnto(TCanvas &canvas, const TRect &rect) override;
    /** Reads a ".bmp" file; EInvalidGraphic "Bitmap image is not valid" for anything unreadable. */
    void LoadFromFile(const QString &path) override;

    [[nodiscard]] TPixelFormat PixelFormat() const { return mFormat; }
    /** Makes the bitmap 24-bit, converting and keeping its content; the same format does nothing. */
    void SetPixelFormat24();
    [[nodiscard]] int BitmapWidth() const { return mWidth; }
    [[nodiscard]] int BitmapHeight() const { return mHeight; }
    /**
     * A new size: the new area is white (or the canvas's brush colour once a canvas exists) and the
     * old content stays unscaled at the top-left. The current value does nothing. Negative values
     * throw EInvalidGraphic.
     */
    void SetBitmapWidth(int width);
    void SetBitmapHeight(int height);

    /** The canvas drawing into this bitmap, made on first use and owned by the bitmap. */
    TCanvas &Canvas();

    /** Makes an 8-bit bitmap of the given size with the palette (entries 0xAARRGGBB). */
    void SetIndexed8(int width, int height, const std::vector<std::uint32_t> &palette);

    /** The pixels (a null image while empty). Read-only access never detaches. */
    [[nodiscard]] const QImage &Image() const { return mImage; }
    /** Writable pixels: detaches from any copy first. */
    [[nodiscard]] QImage &MutableImage();
    /** A 24-bit copy (blue, green, red) of the content, whatever the format; shares when already 24-bit. */
    [[nodiscard]] QImage Image24() const;

private:
    void Resize(int width, int height);

    int mWidth = 0;
    int mHeight = 0;
    TPixelFormat mFormat = TPixelFormat::pfDevice;
    QImage mImage;
    std::unique_ptr<TCanvas> mCanvas;
};

} // namespace vellumar
