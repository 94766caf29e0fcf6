// The smooth reduction filters out what the smaller picture cannot hold, where the exact reduction folds it
// back as moiré; measured on a zone plate, whose ring frequency grows with the distance from its centre.
#include <cmath>
#include <cstdlib>

#include <gtest/gtest.h>

#include "imaging/bitmap.h"
#include "imaging/jpeg_image.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeJpeg;
using test::TJpegFixtureOptions;
using test::TTempDir;

constexpr int kSide = 512;
constexpr double kAmplitude = 100.0;
// Cycles per pixel at the corners; within the source's own limit of 0.5.
constexpr double kCornerFrequency = 0.45;

double RingConstant()
{
    return kCornerFrequency / (kSide / 2.0 * std::sqrt(2.0));
}

// Gray 128 + 100 cos(pi k r^2): the local frequency at radius r is k r cycles per pixel.
QString WriteZonePlate(const TTempDir &dir)
{
    QImage image(kSide, kSide, QImage::Format_BGR888);
    for (int y = 0; y < kSide; ++y) {
        std::uint8_t *row = image.scanLine(y);
        for (int x = 0; x < kSide; ++x) {
            const double dx = x + 0.5 - kSide / 2.0;
            const double dy = y + 0.5 - kSide / 2.0;
            const double value = 128.0 + kAmplitude * std::cos(M_PI * RingConstant() * (dx * dx + dy * dy));
            row[x * 3] = row[x * 3 + 1] = row[x * 3 + 2] = std::uint8_t(std::lround(value));
        }
    }
    TJPEGImage jpeg;
    jpeg.SetQuality(100);
    jpeg.AssignBitmap(TBitmap::FromImage(image));
    jpeg.EncodeJpeg();
    return dir.Write(QStringLiteral("zone.jpg"), jpeg.CompressedData());
}

struct TRingEnergy {
    double Kept = 0; // RMS contrast where the rings are well below the output's Nyquist frequency
    double Aliased = 0; // RMS contrast where they are well above it and should have become flat gray
};

TRingEnergy Measure(const TBitmap &reduced)
{
    const int side = reduced.Width();
    const double scale = double(side) / kSide;
    const double nyquist = 0.5 * scale; // in source cycles per pixel
    double kept = 0;
    double aliased = 0;
    int keptCount = 0;
    int aliasedCount = 0;
    for (int y = 0; y < side; ++y) {
        for (int x = 0; x < side; ++x) {
            const double radius = std::hypot(x + 0.5 - side / 2.0, y + 0.5 - side / 2.0) / scale;
            const double frequency = RingConstant() * radius;
            const double deviation = reduced.Image().constScanLine(y)[x * 3 + 1] - 128.0;
            if (frequency < 0.5 * nyquist) {
                kept += deviation * deviation;
                ++keptCount;
            } else if (frequency > 1.5 * nyquist && frequency < kCornerFrequency) {
                aliased += deviation * deviation;
                ++aliasedCount;
            }
        }
    }
    return { std::sqrt(kept / keptCount), std::sqrt(aliased / aliasedCount) };
}

TEST(SmoothReduction, ZonePlateLosesItsUnrepresentableRingsWhereTheExactReductionShowsMoire)
{
    TTempDir dir;
    const QString path = WriteZonePlate(dir);
    // Half, a quarter (after a DCT-scaled decode) and an odd third; then from an already decoded picture.
    for (const int side : { 256, 128, 171, -171 }) {
        const int size = std::abs(side);
        SCOPED_TRACE(testing::Message() << kSide << " to " << size << (side < 0 ? " from the decoded bitmap" : ""));
        TJPEGImage image;
        image.LoadJpegFile(path);
        const TRingEnergy exact = Measure(image.StretchedBitmap(size, size, TRect { 0, 0, size, size }));
        if (side < 0)
            (void)image.DecodedBitmap();
        const TRingEnergy smooth = Measure(image.SmoothBitmap(size, size));
        // A full-contrast cosine has an RMS of 100 / sqrt(2), about 71.
        EXPECT_GT(exact.Aliased, 45.0);
        EXPECT_LT(smooth.Aliased, 10.0);
        EXPECT_GT(smooth.Kept, 60.0);
        EXPECT_GT(exact.Kept, 60.0);
    }
}

// Gray, CMYK and progressive streams take their own decoding paths; reduced straight from the stream they
// must match the decoded picture reduced the same way (channel order, gray levels, inverted inks).
TEST(SmoothReduction, EveryKindOfStreamReducesLikeItsDecodedPicture)
{
    TTempDir dir;
    const TJpegFixtureOptions kinds[] = { {}, { .Gray = true }, { .Progressive = true }, { .Cmyk = true } };
    for (TJpegFixtureOptions options : kinds) {
        options.Width = 96;
        options.Height = 64;
        const QString path = dir.Write(QStringLiteral("kind.jpg"), MakeJpeg(options));
        for (const auto &[width, height] : { std::pair { 48, 32 }, std::pair { 23, 17 }, std::pair { 96, 64 } }) {
            SCOPED_TRACE(testing::Message() << "gray " << options.Gray << " progressive " << options.Progressive
                                            << " cmyk " << options.Cmyk << " to " << width << "x" << height);
            TJPEGImage streamed;
            streamed.LoadJpegFile(path);
            const QImage fast = streamed.SmoothBitmap(width, height).Image();
            TJPEGImage decoded;
            decoded.LoadJpegFile(path);
            (void)decoded.DecodedBitmap();
            const QImage whole = decoded.SmoothBitmap(width, height).Image();
            ASSERT_EQ(fast.size(), QSize(width, height));
            ASSERT_EQ(whole.size(), QSize(width, height));
            double difference = 0;
            for (int y = 0; y < height; ++y)
                for (int i = 0; i < width * 3; ++i)
                    difference += std::abs(fast.constScanLine(y)[i] - whole.constScanLine(y)[i]);
            EXPECT_LT(difference / (width * height * 3), 4.0);
        }
    }
}

} // namespace
} // namespace vellumar
