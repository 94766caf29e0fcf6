#include <array>
#include <cstdint>
#include <cstring>
#include <future>
#include <vector>

#include <QFontInfo>
#include <QFontMetrics>

#include <gtest/gtest.h>

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "tests/support/bitmap_access.h"

namespace vellumar
{
namespace
{

const QString kFamily = QStringLiteral("DejaVu Sans");
using test::kWhite;
using test::Make24;
using test::PixelAt;
using test::TBgr;

// A background in which every pixel differs from its neighbours, so any touched pixel shows.
TBgr Background(int x, int y)
{
    return { std::uint8_t(100 + (x * 7 + y * 3) % 50),
        std::uint8_t(150 + (x + y * 5) % 40),
        std::uint8_t(60 + x % 30) };
}

TBitmap MakeBackground(int width, int height)
{
    TBitmap bitmap = Make24(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const TBgr bgr = Background(x, y);
            std::memcpy(bitmap.MutableImage().scanLine(y) + std::size_t(x) * 3, bgr.data(), 3);
        }
    return bitmap;
}

/** A 24-bit white bitmap whose canvas draws black DejaVu Sans text of height -16 with a clear brush. */
TBitmap MakeTextBitmap(int width, int height)
{
    TBitmap bitmap = Make24(width, height);
    TCanvas &canvas = bitmap.Canvas();
    canvas.Font().SetName(kFamily);
    canvas.Font().SetHeight(-16);
    canvas.Font().SetColor(clBlack);
    canvas.Brush().Style = TBrushStyle::bsClear;
    return bitmap;
}

struct TInk {
    int Left = INT32_MAX;
    int Top = INT32_MAX;
    int Right = -1; // inclusive
    int Bottom = -1;
    int Count = 0;
    [[nodiscard]] bool Any() const { return Count > 0; }
};

// The bounds of every pixel that differs from white inside [x0, x1) x [y0, y1).
TInk InkIn(const TBitmap &bitmap, int x0, int y0, int x1, int y1)
{
    TInk ink;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x)
            if (PixelAt(bitmap, x, y) != kWhite) {
                ink.Left = std::min(ink.Left, x);
                ink.Right = std::max(ink.Right, x);
                ink.Top = std::min(ink.Top, y);
                ink.Bottom = std::max(ink.Bottom, y);
                ++ink.Count;
            }
    return ink;
}

TInk InkOf(const TBitmap &bitmap)
{
    return InkIn(bitmap, 0, 0, bitmap.Width(), bitmap.Height());
}

QFontMetrics Metrics(const TBitmap &bitmap)
{
    return QFontMetrics(const_cast<TBitmap &>(bitmap).Canvas().Font().ToQFont());
}

int LineHeight(const TBitmap &bitmap)
{
    const QFontMetrics metrics = Metrics(bitmap);
    return metrics.ascent() + metrics.descent();
}

TRect CalcRect(TBitmap &bitmap, const QString &text, TRect rect, unsigned flags)
{
    bitmap.Canvas().DrawTextInRect(text, rect, flags | DT_CALCRECT);
    return rect;
}

TEST(Font, SizeAndHeightAreTwoViewsOfOneValue)
{
    ASSERT_EQ(kLayoutPixelsPerInch, 96);
    TFont font;
    font.SetSize(12);
    EXPECT_EQ(font.Height(), -16);
    EXPECT_EQ(font.Size(), 12);
    font.SetSize(10);
    EXPECT_EQ(font.Height(), -13);
    EXPECT_EQ(font.Size(), 10);
    font.SetHeight(-15);
    EXPECT_EQ(font.Size(), 11); // 11.25
}

TEST(Font, ANewFontIsMsSansSerifAt8PointsAndNamesAreCut)
{
    TFont font;
    EXPECT_EQ(font.Name(), QStringLiteral("MS Sans Serif"));
    EXPECT_EQ(font.Size(), 8);
    EXPECT_EQ(font.Height(), -11);
    EXPECT_EQ(font.Color(), clWindowText);
    font.SetName(QString());
    EXPECT_EQ(font.Name(), QStringLiteral("MS Sans Serif"));
    font.SetName(QStringLiteral("An Extraordinarily Long Face Name Indeed"));
    EXPECT_EQ(font.Name(), QStringLiteral("An Extraordinarily Long Face Na"));
    EXPECT_EQ(font.Name().size(), 31);
    // An unknown face still gives a usable font through the platform's substitution.
    TFont fallback;
    EXPECT_GT(QFontMetrics(fallback.ToQFont()).height(), 0);
}

TEST(Font, MapsToAQtFontOfTheRightPixelSizeWeightAndSlant)
{
    TFont font;
    font.SetName(kFamily);
    font.SetHeight(-16);
    QFont qfont = font.ToQFont();
    EXPECT_EQ(qfont.pixelSize(), 16);
    EXPECT_EQ(qfont.weight(), QFont::Normal);
    EXPECT_FALSE(qfont.italic());
    EXPECT_EQ(QFontInfo(qfont).family(), kFamily);

    font.SetStyle(fsBold | fsItalic);
    qfont = font.ToQFont();
    EXPECT_EQ(qfont.weight(), 700);
    EXPECT_TRUE(qfont.italic());

    // A positive height is the cell: ascent + descent as close to it as the font allows, not above.
    font.SetStyle(0);
    font.SetHeight(30);
    qfont = font.ToQFont();
    const QFontMetrics metrics(qfont);
    EXPECT_LE(metrics.ascent() + metrics.descent(), 30);
    EXPECT_GE(metrics.ascent() + metrics.descent(), 28);
    EXPECT_LT(qfont.pixelSize(), 30);

    font.SetHeight(0);
    EXPECT_GT(font.ToQFont().pixelSize(), 0);
}

TEST(CanvasText, CalcRectCountsLinesAndDrawsNothing)
{
    TBitmap bitmap = MakeTextBitmap(200, 100);
    const QImage before = bitmap.Image();
    const int lineHeight = LineHeight(bitmap);
    TRect rect { 10, 20, 150, 25 };
    bitmap.Canvas().DrawTextInRect(QStringLiteral("a\r\nb\r\nc"), rect, DT_CALCRECT | DT_WORDBREAK);
    EXPECT_EQ(rect, (TRect { 10, 20, 150, 20 + 3 * lineHeight }));
    EXPECT_EQ(bitmap.Image(), before);
    EXPECT_EQ(bitmap.Image().constBits(), before.constBits()); // not even detached

    // A lone CR or LF breaks too; a break at the very end adds no line; a blank line counts.
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("a\rb\nc"), rect, 0).Height(), 3 * lineHeight);
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("a\r\n"), rect, 0).Height(), lineHeight);
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("a\r\n\r\nb"), rect, 0).Height(), 3 * lineHeight);
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("a\n\rb"), rect, 0).Height(), 3 * lineHeight);
    EXPECT_EQ(CalcRect(bitmap, QString(), rect, 0).Height(), 0);
    // Short text never pulls the right edge in.
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("a"), rect, DT_WORDBREAK).Right, 150);
}

TEST(CanvasText, AClearBrushChangesOnlyTheLettersOwnPixels)
{
    TBitmap bitmap = MakeBackground(200, 60);
    TCanvas &canvas = bitmap.Canvas();
    canvas.Font().SetName(kFamily);
    canvas.Font().SetHeight(-20);
    canvas.Font().SetColor(0x0000FF); // red
    canvas.Brush().Style = TBrushStyle::bsClear;
    TRect rect { 5, 5, 195, 55 };
    canvas.DrawTextInRect(QStringLiteral("Hi  there"), rect, DT_LEFT);

    const QFontMetrics metrics(canvas.Font().ToQFont());
    const int baseline = 5 + metrics.ascent();
    // Where the letters can be: their ink boxes, one pixel wider for smoothing.
    auto insideALetter = [&](int x, int y) {
        int pen = 5;
        for (const QChar c : QStringLiteral("Hi  there")) {
            const QRect box = metrics.boundingRect(c).translated(pen, baseline).adjusted(-1, -1, 1, 1);
            if (c != u' ' && box.contains(x, y))
                return true;
            pen += metrics.horizontalAdvance(c);
        }
        return false;
    };
    int changed = 0;
    int pureRed = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x) {
            const TBgr now = PixelAt(bitmap, x, y);
            if (now == Background(x, y))
                continue;
            ++changed;
            pureRed += now == TBgr { 0, 0, 255 } ? 1 : 0;
            EXPECT_TRUE(insideALetter(x, y)) << "pixel " << x << "," << y << " changed outside the letters";
        }
    EXPECT_GT(changed, 50);
    EXPECT_GT(pureRed, 20);
}

TEST(CanvasText, ASolidBrushFillsTheLineCellsBehindTheText)
{
    TBitmap bitmap = MakeBackground(200, 80);
    TCanvas &canvas = bitmap.Canvas();
    canvas.Font().SetName(kFamily);
    canvas.Font().SetHeight(-16);
    canvas.Font().SetColor(clWhite);
    canvas.Brush().Color = 0x00FF00; // green
    TRect rect { 10, 10, 190, 70 };
    canvas.DrawTextInRect(QStringLiteral("ab\r\nabcd"), rect, DT_LEFT);

    const QFontMetrics metrics(canvas.Font().ToQFont());
    const int lineHeight = metrics.ascent() + metrics.descent();
    const int second = metrics.horizontalAdvance(QStringLiteral("abcd"));
    // The cell's top row holds no ink: all brush colour, as wide as the line.
    for (int x = 10; x < 10 + second; ++x)
        EXPECT_EQ(PixelAt(bitmap, x, 10 + lineHeight), (TBgr { 0, 255, 0 })) << x;
    // Past the line's end and below the last line the background is untouched.
    EXPECT_EQ(PixelAt(bitmap, 10 + second + 1, 10 + lineHeight), Background(10 + second + 1, 10 + lineHeight));
    EXPECT_EQ(PixelAt(bitmap, 12, 10 + 2 * lineHeight), Background(12, 10 + 2 * lineHeight));
    EXPECT_EQ(PixelAt(bitmap, 9, 12), Background(9, 12));
}

TEST(CanvasText, AlignmentPlacesEachLineBetweenTheEdges)
{
    const TRect area { 20, 10, 180, 40 };
    TBitmap left = MakeTextBitmap(200, 50);
    TBitmap right = MakeTextBitmap(200, 50);
    TBitmap centre = MakeTextBitmap(200, 50);
    const QString text = QStringLiteral("Hamburg");
    TRect rect = area;
    left.Canvas().DrawTextInRect(text, rect, DT_LEFT);
    rect = area;
    right.Canvas().DrawTextInRect(text, rect, DT_RIGHT);
    rect = area;
    centre.Canvas().DrawTextInRect(text, rect, DT_CENTER);

    const QFontMetrics metrics = Metrics(left);
    const TInk leftInk = InkOf(left);
    const TInk rightInk = InkOf(right);
    const TInk centreInk = InkOf(centre);
    ASSERT_TRUE(leftInk.Any() && rightInk.Any() && centreInk.Any());
    EXPECT_NEAR(leftInk.Left, 20 + metrics.leftBearing(u'H'), 1);
    // The line ends at the right edge: the last letter's ink stops where its bearing says.
    EXPECT_NEAR(rightInk.Right + 1, 180 - metrics.rightBearing(u'g'), 1);
    EXPECT_LE(rightInk.Right, 179);
    const int inkWidth = leftInk.Right - leftInk.Left;
    EXPECT_EQ(rightInk.Right - rightInk.Left, inkWidth);
    EXPECT_NEAR((centreInk.Left + centreInk.Right + 1) / 2.0,
        100 + (leftInk.Left + leftInk.Right + 1) / 2.0 - (20 + metrics.horizontalAdvance(text) / 2.0),
        1);
    EXPECT_EQ(leftInk.Top, rightInk.Top);
}

TEST(CanvasText, WordBreakWrapsBetweenWordsAndKeepsLongWordsWhole)
{
    TBitmap bitmap = MakeTextBitmap(300, 200);
    const QFontMetrics metrics = Metrics(bitmap);
    const int lineHeight = LineHeight(bitmap);
    const int twoWords = metrics.horizontalAdvance(QStringLiteral("aaa bbb"));
    TRect rect { 10, 10, 10 + twoWords + 2, 190 };

    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("aaa bbb ccc"), rect, DT_WORDBREAK).Height(), 2 * lineHeight);
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("aaa bbb ccc"), rect, 0).Height(), lineHeight);
    // A CR LF still breaks with word breaking on.
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("aaa bbb ccc\r\nddd"), rect, DT_WORDBREAK).Height(), 3 * lineHeight);

    TRect drawn = rect;
    bitmap.Canvas().DrawTextInRect(QStringLiteral("aaa bbb    ccc"), drawn, DT_WORDBREAK);
    const TInk first = InkIn(bitmap, 0, 10, 300, 10 + lineHeight);
    const TInk second = InkIn(bitmap, 0, 10 + lineHeight, 300, 10 + 2 * lineHeight);
    EXPECT_TRUE(first.Any());
    EXPECT_TRUE(second.Any());
    EXPECT_FALSE(InkIn(bitmap, 0, 10 + 2 * lineHeight, 300, 200).Any());
    // "ccc" starts the second line at the left edge: the blanks before it were dropped.
    EXPECT_EQ(second.Left, first.Left);
    EXPECT_LT(second.Right, first.Right);

    // A word wider than the rectangle stays whole on its own line, and the rectangle grows to hold it.
    const QString longWord = QStringLiteral("Extraordinarily");
    const int longWidth = metrics.horizontalAdvance(longWord);
    TRect narrow { 10, 10, 40, 190 };
    const TRect measured =
        CalcRect(bitmap, QStringLiteral("a ") + longWord + QStringLiteral(" b"), narrow, DT_WORDBREAK);
    EXPECT_EQ(measured.Height(), 3 * lineHeight);
    EXPECT_EQ(measured.Right, 10 + longWidth);
    EXPECT_EQ(measured.Left, 10);

    TBitmap clipped = MakeTextBitmap(300, 200);
    TRect box = narrow;
    clipped.Canvas().DrawTextInRect(longWord, box, DT_WORDBREAK);
    const TInk ink = InkOf(clipped);
    EXPECT_TRUE(ink.Any());
    EXPECT_LE(ink.Bottom, 10 + lineHeight);
    EXPECT_LE(ink.Right, 39);
    EXPECT_GE(ink.Right, 37); // the word runs on to the edge and is cut there
}

TEST(CanvasText, DrawingIsClippedToTheRectangle)
{
    TBitmap bitmap = MakeTextBitmap(200, 100);
    bitmap.Canvas().Brush().Style = TBrushStyle::bsSolid;
    bitmap.Canvas().Brush().Color = 0x808080;
    TRect rect { 30, 30, 70, 40 };
    bitmap.Canvas().DrawTextInRect(QStringLiteral("Clipped text\r\nmore lines\r\nand more"), rect, DT_CENTER);
    const TInk ink = InkOf(bitmap);
    ASSERT_TRUE(ink.Any());
    EXPECT_EQ(ink.Left, 30);
    EXPECT_EQ(ink.Top, 30);
    EXPECT_EQ(ink.Right, 69);
    EXPECT_EQ(ink.Bottom, 39);

    // Rectangles hanging over the bitmap's edges, empty or inverted, are all safe.
    for (const TRect &odd : { TRect { -50, -50, 10, 10 },
             TRect { 190, 90, 400, 400 },
             TRect { 50, 50, 50, 80 },
             TRect { 80, 80, 20, 20 },
             TRect { INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX } }) {
        TRect copy = odd;
        EXPECT_NO_THROW(bitmap.Canvas().DrawTextInRect(QStringLiteral("x y z\r\nw"), copy, DT_WORDBREAK | DT_RIGHT));
    }
    TBitmap empty;
    TRect anywhere { 0, 0, 100, 100 };
    EXPECT_NO_THROW(empty.Canvas().DrawTextInRect(QStringLiteral("x"), anywhere, 0));
}

TEST(CanvasText, AmpersandsFollowThePrefixRule)
{
    TBitmap bitmap = MakeTextBitmap(300, 60);
    const QFontMetrics metrics = Metrics(bitmap);
    const TRect rect { 10, 10, 20, 50 };
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("A&B"), rect, DT_NOPREFIX).Right,
        10 + metrics.horizontalAdvance(QStringLiteral("A&B")));
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("A&B"), rect, 0).Right,
        10 + metrics.horizontalAdvance(QStringLiteral("AB")));
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("A&&B"), rect, 0).Right,
        10 + metrics.horizontalAdvance(QStringLiteral("A&B")));

    // Rows from here down lie below the baseline; "A&B" has no descenders.
    const int baseline = 10 + metrics.ascent();
    // With DT_NOPREFIX the ampersand is drawn and nothing lies below the baseline (no underline).
    TBitmap plain = MakeTextBitmap(300, 60);
    TRect wide { 10, 10, 290, 50 };
    plain.Canvas().DrawTextInRect(QStringLiteral("A&B"), wide, DT_NOPREFIX);
    EXPECT_FALSE(InkIn(plain, 0, baseline, 300, 60).Any());
    const TInk ampersand =
        InkIn(plain, 10 + metrics.horizontalAdvance(u'A'), 0, 10 + metrics.horizontalAdvance(QStringLiteral("A&")), 60);
    EXPECT_GT(ampersand.Count, 20);

    // Without it "&B" underlines the B, and only the B.
    TBitmap marked = MakeTextBitmap(300, 60);
    wide = { 10, 10, 290, 50 };
    marked.Canvas().DrawTextInRect(QStringLiteral("A&B"), wide, 0);
    const TInk underline = InkIn(marked, 0, baseline, 300, 60);
    ASSERT_TRUE(underline.Any());
    EXPECT_EQ(underline.Left, 10 + metrics.horizontalAdvance(u'A'));
    EXPECT_EQ(underline.Right + 1, 10 + metrics.horizontalAdvance(QStringLiteral("AB")));
}

TEST(CanvasText, TabsAdvanceToTheNextStopWithExpandTabs)
{
    TBitmap bitmap = MakeTextBitmap(400, 60);
    const QFontMetrics metrics = Metrics(bitmap);
    const int stop = 8 * metrics.averageCharWidth();
    const TRect rect { 10, 10, 20, 50 };
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("a\tb"), rect, DT_EXPANDTABS).Right,
        10 + stop + metrics.horizontalAdvance(u'b'));
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("a\t\tb"), rect, DT_EXPANDTABS).Right,
        10 + 2 * stop + metrics.horizontalAdvance(u'b'));
    EXPECT_EQ(CalcRect(bitmap, QStringLiteral("a\tb"), rect, 0).Right,
        10 + metrics.horizontalAdvance(QStringLiteral("a b")));

    TRect wide { 10, 10, 390, 50 };
    bitmap.Canvas().DrawTextInRect(QStringLiteral("a\tl"), wide, DT_EXPANDTABS);
    const TInk afterStop = InkIn(bitmap, 10 + stop, 0, 400, 60);
    ASSERT_TRUE(afterStop.Any());
    EXPECT_NEAR(afterStop.Left, 10 + stop + metrics.leftBearing(u'l'), 1);
    EXPECT_FALSE(InkIn(bitmap, 10 + metrics.horizontalAdvance(u'a') + 1, 0, 10 + stop, 60).Any());
}

TEST(CanvasText, TextTakesTheFontColourAndAn8BitBitmapBecomes24Bit)
{
    TBitmap bitmap;
    bitmap.SetIndexed8(100, 40, { qRgb(255, 255, 255) });
    TCanvas &canvas = bitmap.Canvas();
    canvas.Font().SetName(kFamily);
    canvas.Font().SetHeight(-24);
    canvas.Font().SetColor(0xFF0000); // blue
    canvas.Brush().Style = TBrushStyle::bsClear;
    TRect rect { 0, 0, 100, 40 };
    canvas.DrawTextInRect(QStringLiteral("IIII"), rect, 0);
    EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
    int blue = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 100; ++x) {
            const TBgr pixel = PixelAt(bitmap, x, y);
            blue += pixel == TBgr { 255, 0, 0 } ? 1 : 0;
            EXPECT_TRUE(pixel[1] == pixel[2]) << "not a shade between white and blue";
        }
    EXPECT_GT(blue, 40);
}

// Small text is drawn from glyph bitmaps at subpixel offsets; large text drawn afterwards, on any
// thread, must come out exactly as it does on its own.
TEST(CanvasText, LargeTextIsTheSameWhateverWasDrawnBefore)
{
    const auto drawLarge = [] {
        TBitmap bitmap = MakeTextBitmap(400, 100);
        bitmap.Canvas().Font().SetHeight(-80);
        TRect rect { 3, 0, 400, 100 };
        bitmap.Canvas().DrawTextInRect(QStringLiteral("Sample"), rect, DT_LEFT);
        return bitmap.Image();
    };
    const QImage alone = drawLarge();
    std::vector<std::future<int>> workers;
    for (int t = 0; t < 4; ++t) {
        workers.push_back(std::async(std::launch::async, [&, t] {
            int differing = 0;
            for (int i = 0; i < 8; ++i) {
                TBitmap small = MakeTextBitmap(300, 40);
                small.Canvas().Font().SetHeight(-(11 + t + i));
                TRect rect { 0, 0, 300, 40 };
                small.Canvas().DrawTextInRect(QStringLiteral("Sample wavy text"), rect, DT_LEFT);
                differing += drawLarge() == alone ? 0 : 1;
            }
            return differing;
        }));
    }
    for (auto &worker : workers)
        EXPECT_EQ(worker.get(), 0);
}
} // namespace
} // namespace vellumar
