#include "overlay/overlay_settings.h"

#include <QFontDatabase>

namespace vellumar
{

namespace
{

int HexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

} // namespace

int SizePercent(int sizeClass)
{
    return sizeClass >= 0 && sizeClass < int(kOverlaySizes.size()) ? kOverlaySizes[std::size_t(sizeClass)].Percent : 6;
}

TPlacement PositionPlacement(int textPosition)
{
    constexpr int kCentre = 4;
    if (textPosition < 0 || textPosition >= int(kOverlayPositions.size()))
        textPosition = kCentre;
    return kOverlayPositions[std::size_t(textPosition)].Placement;
}

std::optional<TColor> ParseOverlayColor(QStringView text)
{
    text = text.trimmed();
    if (text.size() == 7 && text.startsWith(QLatin1Char('#'))) {
        TColor rgb = 0;
        for (const QChar c : text.mid(1)) {
            const int digit = HexDigit(c);
            if (digit < 0)
                return std::nullopt;
            rgb = rgb << 4 | TColor(digit);
        }
        // "#RRGGBB" has red first; a colour keeps red in its lowest byte.
        return TColor(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
    }
    for (const TOverlayColorEntry &entry : kOverlayColors) {
        if (entry.Name != QLatin1String("Custom") && text.compare(entry.Name, Qt::CaseInsensitive) == 0)
            return entry.Color;
    }
    return std::nullopt;
}

QString DefaultFontName(const QStringList &families)
{
    for (const QString &family : families) {
        if (family.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0)
            return family;
    }
    return {};
}

TOverlaySettings DefaultOverlaySettings()
{
    TOverlaySettings settings;
    settings.FontName = DefaultFontName(QFontDatabase::families());
    return settings;
}

} // namespace vellumar
