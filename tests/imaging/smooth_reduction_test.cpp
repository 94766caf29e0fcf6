// The smooth reduction filters out what the smaller picture cannot hold, where the exact reduction folds it
// back as moiré; measured on a zone plate, whose ring frequency grows with the distance from its centre.
#include <array>
#include <cmath>
#include <cstdlib>
#include <random>

#include <gtest/gtest.h>

#include "imaging/bitmap.h"
#include "imaging/jpeg_image.h"
#include "imaging/resampler.h"
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

// Lanczos-3 straight from its definition, in doubles: the window of output pixel i is centred on source
// position (i + 0.5) * n / m, three lobes widened by the reduction factor, cut at the edges and renormalised.
std::vector<double> DirectLanczos(const std::vector<double> &in, int m)
{
    const int n = int(in.size());
    const double scale = double(n) / m;
    const double widen = std::max(scale, 1.0);
    std::vector<double> out(std::size_t(m), 0.0);
    for (int i = 0; i < m; ++i) {
        const double centre = (i + 0.5) * scale;
        double sum = 0;
        double total = 0;
        for (int j = 0; j < n; ++j) {
            const double t = std::abs(j + 0.5 - centre) / widen;
            const double w = t < 1e-12
                ? 1.0
                : (t >= 3 ? 0.0 : 3 * std::sin(M_PI * t) * std::sin(M_PI * t / 3) / (M_PI * M_PI * t * t));
            sum += w * in[std::size_t(j)];
            total += w;
        }
        out[std::size_t(i)] = sum / total;
    }
    return out;
}

TEST(SmoothReduction, ResamplerMatchesLanczosComputedDirectly)
{
    struct TCase {
        int SourceWidth, SourceHeight, Width, Height, Channels;
    };
    // Whole ratios (split into phases), uneven ones, an axis left as it is, enlarging, one-pixel sides, and
    // planes of one channel.
    const TCase cases[] = { { 64, 48, 32, 24, 3 },
        { 90, 40, 30, 40, 3 },
        { 63, 47, 20, 31, 3 },
        { 20, 10, 45, 10, 3 },
        { 37, 1, 5, 1, 3 },
        { 1, 29, 1, 3, 3 },
        { 64, 48, 32, 24, 1 },
        { 63, 47, 20, 31, 1 } };
    std::mt19937 random(7);
    for (const TCase &c : cases) {
        SCOPED_TRACE(
            testing::Message() << c.SourceWidth << "x" << c.SourceHeight << " to " << c.Width << "x" << c.Height);
        const auto channels = std::size_t(c.Channels);
        std::vector<std::uint8_t> source(std::size_t(c.SourceWidth) * std::size_t(c.SourceHeight) * channels);
        for (std::uint8_t &byte : source)
            byte = std::uint8_t(random() % 256);
        TResampler resampler(c.SourceWidth, c.SourceHeight, c.Width, c.Height, c.Channels);
        for (int y = 0; y < c.SourceHeight; ++y)
            resampler.AddRow(source.data() + std::size_t(y) * std::size_t(c.SourceWidth) * channels);
        const QImage actual = resampler.TakeImage();
        int worst = 0;
        for (int channel = 0; channel < c.Channels; ++channel) {
            // Rows first, then columns, as the resampler does; each pass rounds to whole levels there.
            std::vector<std::vector<double>> columns(std::size_t(c.SourceWidth));
            for (int x = 0; x < c.SourceWidth; ++x) {
                std::vector<double> column(std::size_t(c.SourceHeight));
                for (int y = 0; y < c.SourceHeight; ++y)
                    column[std::size_t(y)] =
                        source[(std::size_t(y) * std::size_t(c.SourceWidth) + std::size_t(x)) * channels
                            + std::size_t(channel)];
                columns[std::size_t(x)] = DirectLanczos(column, c.Height);
            }
            for (int y = 0; y < c.Height; ++y) {
                std::vector<double> row(std::size_t(c.SourceWidth));
                for (int x = 0; x < c.SourceWidth; ++x)
                    row[std::size_t(x)] = std::clamp(columns[std::size_t(x)][std::size_t(y)], 0.0, 255.0);
                const std::vector<double> expected = DirectLanczos(row, c.Width);
                for (int x = 0; x < c.Width; ++x) {
                    const double value = std::clamp(expected[std::size_t(x)], 0.0, 255.0);
                    worst = std::max(worst,
                        int(std::abs(actual.constScanLine(y)[std::size_t(x) * channels + std::size_t(channel)] - value)
                            + 0.5));
                }
            }
        }
        EXPECT_LE(worst, 2);
    }
}

// Colour and gray streams are resampled as libjpeg stores them (chroma at its own size, converted at the end),
// CMYK ones as colour rows; either way they must match the decoded picture reduced alike (channel order,
// gray levels, inverted inks). Chroma edges may differ a little: libjpeg upsamples its own way.
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
            // Luma pixel by pixel; each channel's mean (a swap or an inversion moves it far).
            double luma = 0;
            std::array<double, 3> means {};
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    const std::uint8_t *a = fast.constScanLine(y) + x * 3;
                    const std::uint8_t *b = whole.constScanLine(y) + x * 3;
                    luma += std::abs(0.114 * (a[0] - b[0]) + 0.587 * (a[1] - b[1]) + 0.299 * (a[2] - b[2]));
                    for (std::size_t c = 0; c < 3; ++c)
                        means[c] += a[c] - b[c];
                }
            }
            const double pixels = width * height;
            EXPECT_LT(luma / pixels, 1.5);
            for (const double mean : means)
                EXPECT_LT(std::abs(mean / pixels), 1.0);
        }
    }
}

} // namespace
} // namespace vellumar
