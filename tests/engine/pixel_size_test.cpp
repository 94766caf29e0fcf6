#include <gtest/gtest.h>

#include "engine/pixel_size.h"

namespace vellumar
{
namespace
{

struct TSizeCase {
    TPixelSize Upright;
    int LongEdge;
    TPixelSize Box;
    TPixelSize ByLongEdge;
    TPixelSize ByFit;
};

// Expected sizes worked out by hand: shorter * limit / longer, halves rounded up.
TEST(PixelSize, LongEdgeAndFitKeepTheAspectRoundHalfUpAndNeverEnlarge)
{
    const TSizeCase cases[] = {
        // landscape 4:3; 3000 * 1600 / 4000 = 1200 exactly
        { { 4000, 3000 }, 1600, { 1600, 1600 }, { 1600, 1200 }, { 1600, 1200 } },
        // portrait: the height is the long edge; the fit box limits by its height
        { { 3000, 4000 }, 1600, { 1600, 1000 }, { 1200, 1600 }, { 750, 1000 } },
        // 1001 * 500 / 1999 = 250.375 -> 250; box 500 x 200: height limits, 1999 * 200 / 1001 = 399.4 -> 399
        { { 1999, 1001 }, 500, { 500, 200 }, { 500, 250 }, { 399, 200 } },
        // a half rounds up: 5 * 5 / 10 = 2.5 -> 3
        { { 10, 5 }, 5, { 5, 5 }, { 5, 3 }, { 5, 3 } },
        { { 2, 3 }, 1, { 8, 2 }, { 1, 1 }, { 1, 2 } },
        { { 15, 10 }, 3, { 3, 3 }, { 3, 2 }, { 3, 2 } },
        { { 10, 15 }, 5, { 9, 5 }, { 3, 5 }, { 3, 5 } },
        // square
        { { 800, 800 }, 100, { 300, 100 }, { 100, 100 }, { 100, 100 } },
        // one-pixel sides never become 0
        { { 5000, 1 }, 100, { 100, 100 }, { 100, 1 }, { 100, 1 } },
        { { 1, 5000 }, 100, { 50, 100 }, { 1, 100 }, { 1, 100 } },
        { { 1, 1 }, 1, { 1, 1 }, { 1, 1 }, { 1, 1 } },
        // never enlarged: small enough already, exactly the limit, or one side within and one beyond
        { { 640, 480 }, 1600, { 1600, 1200 }, { 640, 480 }, { 640, 480 } },
        { { 1600, 900 }, 1600, { 1600, 900 }, { 1600, 900 }, { 1600, 900 } },
        { { 1000, 200 }, 2000, { 500, 2000 }, { 1000, 200 }, { 500, 100 } },
        // limits that mean nothing keep the size
        { { 640, 480 }, 0, { 0, 100 }, { 640, 480 }, { 640, 480 } },
        { { 0, 480 }, 100, { 100, 100 }, { 0, 480 }, { 0, 480 } },
        // the largest sides: products beyond 32 bits
        { { 65500, 65499 }, 65499, { 65499, 65499 }, { 65499, 65498 }, { 65499, 65498 } },
    };
    for (const TSizeCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.Upright.Width << "x" << c.Upright.Height << " long edge " << c.LongEdge
                                        << ", fit " << c.Box.Width << "x" << c.Box.Height);
        const TPixelSize byLongEdge = LongEdgeSize(c.Upright, c.LongEdge);
        EXPECT_EQ(byLongEdge.Width, c.ByLongEdge.Width);
        EXPECT_EQ(byLongEdge.Height, c.ByLongEdge.Height);
        const TPixelSize byFit = FitSize(c.Upright, c.Box);
        EXPECT_EQ(byFit.Width, c.ByFit.Width);
        EXPECT_EQ(byFit.Height, c.ByFit.Height);
    }
}

} // namespace
} // namespace vellumar
