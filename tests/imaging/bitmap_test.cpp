#include <array>
#include <cstdint>
#include <cstring>

#include <gtest/gtest.h>

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "tests/support/bitmap_access.h"

namespace vellumar
{
namespace
{

using test::kWhite;
using test::Make24;
using test::PixelAt;
using test::TBgr;

void SetPixel(TBitmap &bitmap, int x, int y, TBgr bgr)
{
    std::memcpy(bitmap.MutableImage().scanLine(y) + std::size_t(x) * 3, bgr.data(), 3);
}

// A pixel that names its own position (x, y < 4096), so a copied pixel tells where it came from.
TBgr Coded(int x, int y)
{
    return { std::uint8_t(x & 0xFF), std::uint8_t(((x >> 8) & 0x0F) | ((y >> 8) << 4)), std::uint8_t(y & 0xFF) };
}

struct TPoint {
    int X;
    int Y;
    friend bool operator==(const TPoint &, const TPoint &) = default;
};

TPoint Decode(TBgr bgr)
{
    return { bgr[0] | ((bgr[1] & 0x0F) << 8), bgr[2] | ((bgr[1] >> 4) << 8) };
}

TBitmap MakeCoded(int width, int height)
{
    TBitmap bitmap = Make24(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel(bitmap, x, y, Coded(x, y));
    return bitmap;
}

// The sampling rule the stretch copy promises: the source pixel under the destination pixel's centre.
int CentreSample(int dst, int srcLen, int dstLen)
{
    return int((std::int64_t(2) * dst + 1) * srcLen / (std::int64_t(2) * dstLen));
}

bool AllWhite(const TBitmap &bitmap)
{
    for (int y = 0; y < bitmap.Height(); ++y)
        for (int x = 0; x < bitmap.Width(); ++x)
            if (PixelAt(bitmap, x, y) != kWhite)
                return false;
    return true;
}

TEST(Bitmap, SizedAfterTheFormatIsA24BitWhiteBitmap)
{
    TBitmap bitmap;
    EXPECT_TRUE(bitmap.Empty());
    bitmap.SetPixelFormat24();
    bitmap.SetBitmapHeight(300);
    EXPECT_TRUE(bitmap.Empty());
    bitmap.SetBitmapWidth(400);
    EXPECT_FALSE(bitmap.Empty());
    EXPECT_EQ(bitmap.Width(), 400);
    EXPECT_EQ(bitmap.Height(), 300);
    EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(bitmap.Image().format(), QImage::Format_BGR888);
    EXPECT_TRUE(AllWhite(bitmap));
}

TEST(Bitmap, ResizeKeepsTheOldContentTopLeftAndFillsTheRestWhite)
{
    TBitmap bitmap = MakeCoded(4, 3);
    bitmap.SetBitmapWidth(6);
    bitmap.SetBitmapHeight(5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x)
            EXPECT_EQ(PixelAt(bitmap, x, y), x < 4 && y < 3 ? Coded(x, y) : kWhite) << x << "," << y;
    bitmap.SetBitmapWidth(2);
    bitmap.SetBitmapHeight(2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(PixelAt(bitmap, x, y), Coded(x, y));
}

TEST(Bitmap, CopiesSharePixelsAndAChangedCopyLeavesTheOriginal)
{
    TBitmap original = MakeCoded(8, 8);
    TBitmap copy(original);
    EXPECT_EQ(copy.Image().constBits(), original.Image().constBits());
    SetPixel(copy, 1, 1, { 1, 2, 3 });
    EXPECT_NE(copy.Image().constBits(), original.Image().constBits());
    EXPECT_EQ(PixelAt(original, 1, 1), Coded(1, 1));
    EXPECT_EQ(PixelAt(copy, 1, 1), (TBgr { 1, 2, 3 }));

    // Drawing on a copy's canvas detaches it too.
    TBitmap drawn(original);
    TBitmap white = Make24(8, 8);
    drawn.Canvas().DrawAt(0, 0, &white);
    EXPECT_TRUE(AllWhite(drawn));
    EXPECT_EQ(PixelAt(original, 5, 5), Coded(5, 5));
}

TEST(Bitmap, StretchIntoARectLargerThanTheBitmapScalesToTheRectAndClips)
{
    TBitmap source = MakeCoded(400, 300);
    TBitmap dest = Make24(200, 150);
    dest.Canvas().DrawStretched(TRect { 0, 0, 201, 151 }, &source);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(Decode(PixelAt(dest, x, y)), (TPoint { CentreSample(x, 400, 201), CentreSample(y, 300, 151) }))
                << x << "," << y;
    // Scaled to 201 by 151, the last visible pixel is not the source's last: that one fell outside.
    EXPECT_EQ(Decode(PixelAt(dest, 199, 149)), (TPoint { 397, 297 }));
}

TEST(Bitmap, HalfSizeKeepsEveryOtherRowAndColumnUnchanged)
{
    TBitmap source = MakeCoded(400, 300);
    TBitmap dest = Make24(200, 150);
    dest.Canvas().DrawStretched(TRect { 0, 0, 200, 150 }, &source);
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 200; ++x)
            ASSERT_EQ(PixelAt(dest, x, y), PixelAt(source, 2 * x + 1, 2 * y + 1)) << x << "," << y;
}

TEST(Bitmap, EnlargingRepeatsRowsAndColumns)
{
    TBitmap source = MakeCoded(3, 2);
    TBitmap dest = Make24(7, 5);
    dest.Canvas().DrawStretched(TRect { 0, 0, 7, 5 }, &source);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(Decode(PixelAt(dest, x, y)), (TPoint { CentreSample(x, 3, 7), CentreSample(y, 2, 5) }));
    EXPECT_EQ(Decode(PixelAt(dest, 0, 0)), (TPoint { 0, 0 }));
    EXPECT_EQ(Decode(PixelAt(dest, 6, 4)), (TPoint { 2, 1 }));
}

TEST(Bitmap, ACopyAtTheSourcesOwnSizeIsExact)
{
    TBitmap source = MakeCoded(37, 23);
    TBitmap same = Make24(37, 23);
    same.Canvas().DrawAt(0, 0, &source);
    for (int y = 0; y < 23; ++y)
        EXPECT_EQ(std::memcmp(same.Image().constScanLine(y), source.Image().constScanLine(y), 37 * 3), 0);

    TBitmap larger = Make24(50, 40);
    larger.Canvas().DrawAt(10, 5, &source);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 50; ++x) {
            const bool inside = x >= 10 && x < 47 && y >= 5 && y < 28;
            ASSERT_EQ(PixelAt(larger, x, y), inside ? Coded(x - 10, y - 5) : kWhite) << x << "," << y;
        }

    // A negative origin cuts off the source's top-left.
    TBitmap shifted = Make24(10, 10);
    shifted.Canvas().DrawAt(-3, -2, &source);
    EXPECT_EQ(PixelAt(shifted, 0, 0), Coded(3, 2));
    EXPECT_EQ(PixelAt(shifted, 9, 9), Coded(12, 11));
}

TEST(Bitmap, AnEightBitSourceIsDrawnThroughItsPalette)
{
    TBitmap source;
    source.SetIndexed8(4, 1, { qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255) });
    std::uint8_t *row = source.MutableImage().scanLine(0);
    row[0] = 2;
    row[1] = 1;
    row[2] = 0;
    row[3] = 200; // past the palette: black
    TBitmap dest = Make24(4, 1);
    dest.Canvas().DrawAt(0, 0, &source);
    EXPECT_EQ(PixelAt(dest, 0, 0), (TBgr { 255, 0, 0 }));
    EXPECT_EQ(PixelAt(dest, 1, 0), (TBgr { 0, 255, 0 }));
    EXPECT_EQ(PixelAt(dest, 2, 0), (TBgr { 0, 0, 255 }));
    EXPECT_EQ(PixelAt(dest, 3, 0), (TBgr { 0, 0, 0 }));

    // Stretched as well, still one palette colour per pixel.
    TBitmap wide = Make24(8, 2);
    wide.Canvas().DrawStretched(TRect { 0, 0, 8, 2 }, &source);
    EXPECT_EQ(PixelAt(wide, 0, 1), (TBgr { 255, 0, 0 }));
    EXPECT_EQ(PixelAt(wide, 1, 1), (TBgr { 255, 0, 0 }));
    EXPECT_EQ(PixelAt(wide, 2, 0), (TBgr { 0, 255, 0 }));
}

TEST(Bitmap, AnEightBitDestinationBecomes24Bit)
{
    TBitmap dest;
    dest.SetIndexed8(2, 2, { qRgb(10, 20, 30) });
    TBitmap source = MakeCoded(1, 1);
    dest.Canvas().DrawAt(1, 1, &source);
    EXPECT_EQ(dest.PixelFormat(), TPixelFormat::pf24bit);
    EXPECT_EQ(PixelAt(dest, 0, 0), (TBgr { 30, 20, 10 }));
    EXPECT_EQ(PixelAt(dest, 1, 1), Coded(0, 0));
}

TEST(Bitmap, EmptyPicturesAndRectanglesDrawNothing)
{
    TBitmap dest = MakeCoded(5, 5);
    const TBitmap before(dest);
    TBitmap empty;
    dest.Canvas().DrawAt(0, 0, &empty);
    dest.Canvas().DrawAt(0, 0, nullptr);
    dest.Canvas().DrawStretched(TRect { 0, 0, 5, 5 }, &empty);
    TBitmap source = Make24(2, 2);
    dest.Canvas().DrawStretched(TRect { 5, 5, 0, 0 }, &source); // mirrored
    dest.Canvas().DrawStretched(TRect { 2, 2, 2, 4 }, &source); // no width
    dest.Canvas().DrawStretched(TRect { 5, 0, 10, 5 }, &source); // beside the bitmap
    dest.Canvas().DrawStretched(TRect { -10, -10, 0, 0 }, &source);
    EXPECT_EQ(dest.Image(), before.Image());

    TBitmap nothing;
    EXPECT_NO_THROW(nothing.Canvas().DrawAt(0, 0, &source));
    EXPECT_TRUE(nothing.Empty());
}

TEST(Bitmap, DrawingABitmapOntoItselfReadsTheOldPixels)
{
    TBitmap bitmap = MakeCoded(8, 8);
    bitmap.Canvas().DrawStretched(TRect { 0, 0, 4, 4 }, &bitmap);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(PixelAt(bitmap, x, y), x < 4 && y < 4 ? Coded(2 * x + 1, 2 * y + 1) : Coded(x, y));
}

TEST(Bitmap, HugeRectangleEdgesStayExact)
{
    TBitmap source = MakeCoded(100, 100);
    TBitmap dest = Make24(4, 4);
    const int big = 2'000'000'000;
    dest.Canvas().DrawStretched(TRect { -big, -big, big, big }, &source);
    // The bitmap sits just right of and below the rectangle's middle: the source's middle pixel.
    EXPECT_EQ(Decode(PixelAt(dest, 0, 0)), (TPoint { 50, 50 }));
    EXPECT_EQ(Decode(PixelAt(dest, 3, 3)), (TPoint { 50, 50 }));
}

} // namespace
} // namespace vellumar
