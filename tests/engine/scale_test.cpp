#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include "engine/job_settings.h"

namespace vellumar
{
namespace
{

struct TSizeCase {
    int Width;
    int Height;
    int Percent;
    int WrittenWidth;
    int WrittenHeight;
    int ReportedWidth;
    int ReportedHeight;
};

TEST(Scale, ReductionSizesAndReportedSizes)
{
    const TSizeCase cases[] = {
        { 1024, 768, 50, 512, 384, 512, 384 },
        { 1001, 801, 50, 500, 400, 501, 401 },
        { 1000, 750, 10, 900, 675, 900, 675 },
        { 3000, 2000, 30, 2099, 1399, 2100, 1400 },
        { 100, 100, 1, 98, 98, 99, 99 },
        { 4000, 3000, 75, 1000, 750, 1000, 750 },
        { 640, 480, 99, 6, 4, 6, 4 },
    };
    for (const TSizeCase &c : cases) {
        const double s = ScaleFromPercent(c.Percent);
        SCOPED_TRACE(testing::Message() << c.Width << "x" << c.Height << " at " << c.Percent);
        EXPECT_EQ(FloorTimesScale(c.Width, s), c.WrittenWidth);
        EXPECT_EQ(FloorTimesScale(c.Height, s), c.WrittenHeight);
        EXPECT_EQ(FloorTimesScale(c.Width + 1, s), c.ReportedWidth);
        EXPECT_EQ(FloorTimesScale(c.Height + 1, s), c.ReportedHeight);
    }
}

TEST(Scale, ScaleIsOneDivisionOfTheWholeNumber)
{
    EXPECT_EQ(ScaleFromPercent(30), 0.7);
    // 1.0 - 0.07 is not the double nearest to 0.93; the single division is.
    EXPECT_NE(ScaleFromPercent(7), 1.0 - 7 / 100.0);
    EXPECT_EQ(ScaleFromPercent(7), 0.93);
    for (int p = 1; p <= 99; ++p) {
        EXPECT_GT(ScaleFromPercent(p), 0.0);
        EXPECT_LT(ScaleFromPercent(p), 1.0);
    }
}

// floor(x * s) for s nearest to q / 100, derived without splitting s: x * s differs from x * q / 100 by
// less than x * 2^-53, far below 1/100, so the floor moves only where x * q / 100 is whole, and then
// down exactly when s lies below q / 100 (the sign of the exactly rounded 100 * s - q says which).
int ReferenceFloor(int x, int q)
{
    const std::int64_t scaled = std::int64_t(x) * q;
    const int below = std::fma(double(q) / 100.0, 100.0, -double(q)) < 0 ? 1 : 0;
    return int(scaled % 100 != 0 || scaled == 0 ? scaled / 100 : scaled / 100 - below);
}

TEST(Scale, EveryPercentOverManySizesMatchesTheExactProduct)
{
    std::vector<int> sizes;
    for (int x = 0; x <= 20000; x += 7)
        sizes.push_back(x);
    for (const int x : { 1, 2, 99, 100, 101, 1000, 4096, 65535, 65536, 1 << 24, std::numeric_limits<int>::max() })
        sizes.push_back(x);
    int drops = 0;
    for (int p = 1; p <= 99; ++p) {
        const double s = ScaleFromPercent(p);
        for (const int x : sizes) {
            const int got = FloorTimesScale(x, s);
            ASSERT_EQ(got, ReferenceFloor(x, 100 - p)) << x << " at " << p;
            drops += got < std::int64_t(x) * (100 - p) / 100 ? 1 : 0;
        }
    }
    // The doubles below their fractions do lose a pixel somewhere: the reference is not trivially floor.
    EXPECT_GT(drops, 0);
}

TEST(Scale, AnyScaleMatchesExtendedPrecision)
{
    static_assert(std::numeric_limits<long double>::digits >= 64, "needs an exact 11 x 53 bit product");
    std::mt19937_64 random(20240607);
    std::uniform_real_distribution<double> scales(0.0, 1.0);
    for (int i = 0; i < 20000; ++i) {
        const double s = scales(random);
        const int x = int(random() % 2048);
        ASSERT_EQ(FloorTimesScale(x, s), int(std::floor((long double)x * (long double)s))) << x << " * " << s;
    }
    EXPECT_EQ(FloorTimesScale(1000, std::nextafter(1.0, 0.0)), 999);
    EXPECT_EQ(FloorTimesScale(7, 1.0), 7);
    EXPECT_EQ(FloorTimesScale(3, 2.5), 7);
    EXPECT_EQ(FloorTimesScale(5, std::numeric_limits<double>::denorm_min()), 0);
}

TEST(Scale, SignsAndOutOfRangeAreDefined)
{
    EXPECT_EQ(FloorTimesScale(-3000, 0.7), -2099);
    EXPECT_EQ(FloorTimesScale(3000, -0.7), -2099);
    EXPECT_EQ(FloorTimesScale(-3000, -0.7), 2099);
    EXPECT_EQ(FloorTimesScale(0, std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(FloorTimesScale(5, std::nan("")), 0);
    EXPECT_EQ(FloorTimesScale(5, std::numeric_limits<double>::infinity()), std::numeric_limits<int>::max());
    EXPECT_EQ(FloorTimesScale(std::numeric_limits<int>::max(), 2.0), std::numeric_limits<int>::max());
    EXPECT_EQ(FloorTimesScale(std::numeric_limits<int>::min(), 1.0), std::numeric_limits<int>::min());
    EXPECT_EQ(FloorTimesScale(std::numeric_limits<int>::min(), 2.0), std::numeric_limits<int>::min());
    EXPECT_EQ(FloorTimesScale(1, 1e300), std::numeric_limits<int>::max());
}

} // namespace
} // namespace vellumar
