#include <cstdint>
#include <limits>

#include <QStringList>

#include <gtest/gtest.h>

#include "engine/job_settings.h"

namespace vellumar
{
namespace
{

struct TFormatCase {
    int Padding;
    const char *Format;
    const char *Zero;
    const char *Seven;
    const char *FortyTwo;
    const char *OneTwoThree;
    const char *MinusFive;
};

class NumberFormat : public ::testing::TestWithParam<TFormatCase>
{
};

TEST_P(NumberFormat, FollowsThePaddingTable)
{
    const TFormatCase &c = GetParam();
    EXPECT_EQ(TOutputNamer::DisplayFormat(c.Padding), QString::fromLatin1(c.Format));
    EXPECT_EQ(TOutputNamer::FormatNumber(0, c.Padding), QString::fromLatin1(c.Zero));
    EXPECT_EQ(TOutputNamer::FormatNumber(7, c.Padding), QString::fromLatin1(c.Seven));
    EXPECT_EQ(TOutputNamer::FormatNumber(42, c.Padding), QString::fromLatin1(c.FortyTwo));
    EXPECT_EQ(TOutputNamer::FormatNumber(123, c.Padding), QString::fromLatin1(c.OneTwoThree));
    EXPECT_EQ(TOutputNamer::FormatNumber(-5, c.Padding), QString::fromLatin1(c.MinusFive));
}

INSTANTIATE_TEST_SUITE_P(Paddings,
    NumberFormat,
    ::testing::Values(TFormatCase { 0, "#", "", "7", "42", "123", "-5" },
        TFormatCase { 1, "0#", "00", "07", "42", "123", "-05" },
        TFormatCase { 2, "00#", "000", "007", "042", "123", "-005" },
        TFormatCase { 3, "000#", "0000", "0007", "0042", "0123", "-0005" },
        TFormatCase { 4, "0000#", "00000", "00007", "00042", "00123", "-00005" },
        TFormatCase { -1, "#", "", "7", "42", "123", "-5" },
        TFormatCase { 5, "#", "", "7", "42", "123", "-5" }));

TEST(OutputNamer, LongNumbersAreNeverCut)
{
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(TOutputNamer::FormatNumber(123456, 4), QStringLiteral("123456"));
    EXPECT_EQ(TOutputNamer::FormatNumber(kMax, 4), QStringLiteral("9223372036854775807"));
    EXPECT_EQ(TOutputNamer::FormatNumber(kMin, 0), QStringLiteral("-9223372036854775808"));
}

// Runs n renamed images and returns their names.
QStringList RunNames(TOutputNamer &namer, int n)
{
    QStringList names;
    for (int i = 0; i < n; ++i) {
        names.append(namer.OutputName(QStringLiteral("IMG_01.JPEG"), true));
        namer.Advance();
    }
    return names;
}

TEST(OutputNamer, NumbersAdvanceThroughARun)
{
    TOutputNamer namer;
    EXPECT_EQ(namer.SampleName(), QStringLiteral("1.jpg"));
    EXPECT_EQ(namer.OutputName(QStringLiteral("IMG_01.JPEG"), false), QStringLiteral("IMG_01.JPEG"));

    namer.SetPrefix(QStringLiteral("beach"));
    namer.SetPadding(2);
    namer.SetNumber(7);
    namer.SetSuffix(QStringLiteral("_web"));
    EXPECT_EQ(RunNames(namer, 3), (QStringList { "beach007_web.jpg", "beach008_web.jpg", "beach009_web.jpg" }));
    EXPECT_EQ(namer.NumberText(), QStringLiteral("010"));
    EXPECT_EQ(namer.SampleName(), QStringLiteral("beach010_web.jpg"));

    TOutputNamer grows;
    grows.SetPadding(1);
    grows.SetNumber(99);
    EXPECT_EQ(RunNames(grows, 3), (QStringList { "99.jpg", "100.jpg", "101.jpg" }));

    TOutputNamer negative;
    negative.SetPrefix(QStringLiteral("p"));
    negative.SetNumber(-2);
    EXPECT_EQ(RunNames(negative, 4), (QStringList { "p-2.jpg", "p-1.jpg", "p.jpg", "p1.jpg" }));

    TOutputNamer top;
    top.SetNumber(std::numeric_limits<std::int64_t>::max());
    top.Advance();
    EXPECT_EQ(top.Number(), std::numeric_limits<std::int64_t>::max());
}

TEST(OutputNamer, ParsesNumberFieldText)
{
    EXPECT_EQ(TOutputNamer::ParseNumber(u""), 0);
    EXPECT_EQ(TOutputNamer::ParseNumber(u"-"), 0);
    EXPECT_EQ(TOutputNamer::ParseNumber(u"+"), 0);
    EXPECT_EQ(TOutputNamer::ParseNumber(u"007"), 7);
    EXPECT_EQ(TOutputNamer::ParseNumber(u"+12"), 12);
    EXPECT_EQ(TOutputNamer::ParseNumber(u"-005"), -5);
    EXPECT_EQ(TOutputNamer::ParseNumber(u"(12)"), -12);
    EXPECT_EQ(TOutputNamer::ParseNumber(u"4-2"), -42);
    EXPECT_EQ(TOutputNamer::ParseNumber(u"1a2 b3"), 123);
    // Only ASCII digits count: Arabic-Indic digits are not read.
    EXPECT_EQ(TOutputNamer::ParseNumber(u"\u0661\u0662"), 0);
    EXPECT_EQ(TOutputNamer::ParseNumber(u"9223372036854775807"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(TOutputNamer::ParseNumber(u"99999999999999999999999"), std::numeric_limits<std::int64_t>::max());
    EXPECT_EQ(TOutputNamer::ParseNumber(u"-99999999999999999999999"), -std::numeric_limits<std::int64_t>::max());
    for (const std::int64_t value : { std::int64_t(0), std::int64_t(5), std::int64_t(-5), std::int64_t(1234567) }) {
        for (int padding = 0; padding <= 4; ++padding)
            EXPECT_EQ(TOutputNamer::ParseNumber(TOutputNamer::FormatNumber(value, padding)), value);
    }
}

} // namespace
} // namespace vellumar
