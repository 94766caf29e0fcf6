#include <QFontDatabase>

#include <gtest/gtest.h>

#include "overlay/overlay_settings.h"

namespace vellumar
{
namespace
{

TEST(OverlaySettings, DefaultsAreThoseOfAnUntouchedDialog)
{
    const TOverlaySettings settings = DefaultOverlaySettings();
    EXPECT_EQ(settings.Text, QStringLiteral("Sample Overlay Text\r\n"));
    EXPECT_EQ(settings.FontName, DefaultFontName(QFontDatabase::families()));
    EXPECT_EQ(settings.FontColor, 0xC0C0C0u);
    EXPECT_EQ(settings.FontStyle, 0);
    EXPECT_EQ(settings.SizeClass, -1);
    EXPECT_EQ(settings.TextPosition, 4);
    EXPECT_TRUE(settings.WordWrap);
    EXPECT_EQ(TDefaultOverlaySettingsProvider().CurrentOverlaySettings(), settings);

    EXPECT_EQ(DefaultFontName({ "DejaVu Sans", "arial", "Arial Black" }), QStringLiteral("arial"));
    EXPECT_EQ(DefaultFontName({ "DejaVu Sans", "Arial Black" }), QString());
}

TEST(OverlaySettings, SizePercents)
{
    const int expected[] = { 4, 6, 8, 10, 12 };
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(SizePercent(i), expected[i]);
    EXPECT_EQ(kOverlaySizes[1].Name, QLatin1String("Medium"));
    for (const int outside : { -1, 5, 255, -32768 })
        EXPECT_EQ(SizePercent(outside), 6) << outside;
}

TEST(OverlaySettings, PositionPlacements)
{
    using H = THorizontalPlacement;
    using V = TVerticalPlacement;
    EXPECT_EQ(PositionPlacement(0), (TPlacement { H::Left, V::Top }));
    EXPECT_EQ(PositionPlacement(1), (TPlacement { H::Centre, V::Top }));
    EXPECT_EQ(PositionPlacement(5), (TPlacement { H::Right, V::Centre }));
    EXPECT_EQ(PositionPlacement(6), (TPlacement { H::Left, V::Bottom }));
    EXPECT_EQ(PositionPlacement(8), (TPlacement { H::Right, V::Bottom }));
    EXPECT_EQ(kOverlayPositions[1].Name, QLatin1String("Top Center"));
    EXPECT_EQ(kOverlayPositions[7].Name, QLatin1String("Bottom Centre"));
    for (const int outside : { -1, 9, 255 })
        EXPECT_EQ(PositionPlacement(outside), PositionPlacement(4)) << outside;
}

TEST(OverlaySettings, ColourNamesAndHexValues)
{
    EXPECT_EQ(kOverlayColors.front().Name, QLatin1String("Default"));
    EXPECT_EQ(kOverlayColors.back().Name, QLatin1String("Custom"));
    EXPECT_EQ(ParseOverlayColor(u"red"), TColor(0x0000FF));
    EXPECT_EQ(ParseOverlayColor(u" NAVY "), TColor(0x800000));
    EXPECT_EQ(ParseOverlayColor(u"Default"), TColor(0xC0C0C0));
    EXPECT_EQ(ParseOverlayColor(u"#FF8000"), TColor(0x0080FF));
    EXPECT_EQ(ParseOverlayColor(u"#00ff00"), TColor(0x00FF00));
    for (const char16_t *bad : { u"", u"Custom", u"redd", u"#FF80", u"#FF80001", u"#GG0000", u"#+F0000", u"FF0000" })
        EXPECT_EQ(ParseOverlayColor(bad), std::nullopt) << QString::fromUtf16(bad).toStdString();
}

} // namespace
} // namespace vellumar
