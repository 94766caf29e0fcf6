#pragma once

#include <array>
#include <optional>

#include <QLatin1String>
#include <QString>
#include <QStringList>

#include "imaging/canvas.h"
#include "imaging/graphic.h"

namespace vellumar
{

/** What text to draw onto an image and how. */
struct TOverlaySettings {
    /** Lines separated by CR LF; empty draws nothing. */
    QString Text = QStringLiteral("Sample Overlay Text\r\n");
    /** Face name; empty keeps the default face of a new font. DefaultOverlaySettings() looks up "Arial". */
    QString FontName;
    TColor FontColor = clSilver;
    TFontStyles FontStyle = 0;
    /** Index into kOverlaySizes; -1 (or any other index) means none, which sizes like "Medium". */
    int SizeClass = -1;
    /** Index into kOverlayPositions; -1 (or any other index) means none, which places like "Centre". */
    int TextPosition = 4;
    bool WordWrap = true;

    friend bool operator==(const TOverlaySettings &, const TOverlaySettings &) = default;
};

/**
 * The quality an overlaid photo is written at unless the job says otherwise: the overlay is encoded last,
 * so this, not the job's quality, is the written file's.
 */
inline constexpr int kOverlayQuality = 90;

struct TOverlaySizeEntry {
    QLatin1String Name;
    int Percent;
};

/** The size classes: the font size in points is Percent of the image's smaller side in pixels. */
inline constexpr std::array<TOverlaySizeEntry, 5> kOverlaySizes { {
    { QLatin1String("Small"), 4 },
    { QLatin1String("Medium"), 6 },
    { QLatin1String("Large"), 8 },
    { QLatin1String("Larger"), 10 },
    { QLatin1String("Largest"), 12 },
} };

/** The percent of sizeClass; 6 (as "Medium") for any index outside the list, -1 included. */
[[nodiscard]] int SizePercent(int sizeClass);

enum class THorizontalPlacement { Left, Centre, Right };
enum class TVerticalPlacement { Top, Centre, Bottom };

struct TPlacement {
    THorizontalPlacement Horizontal;
    TVerticalPlacement Vertical;
    friend bool operator==(const TPlacement &, const TPlacement &) = default;
};

struct TOverlayPositionEntry {
    QLatin1String Name;
    TPlacement Placement;
};

/** The nine positions, in the order of their indexes. */
inline constexpr std::array<TOverlayPositionEntry, 9> kOverlayPositions { {
    { QLatin1String("Top Left"), { THorizontalPlacement::Left, TVerticalPlacement::Top } },
    { QLatin1String("Top Center"), { THorizontalPlacement::Centre, TVerticalPlacement::Top } },
    { QLatin1String("Top Right"), { THorizontalPlacement::Right, TVerticalPlacement::Top } },
    { QLatin1String("Centre Left"), { THorizontalPlacement::Left, TVerticalPlacement::Centre } },
    { QLatin1String("Centre"), { THorizontalPlacement::Centre, TVerticalPlacement::Centre } },
    { QLatin1String("Centre Right"), { THorizontalPlacement::Right, TVerticalPlacement::Centre } },
    { QLatin1String("Bottom Left"), { THorizontalPlacement::Left, TVerticalPlacement::Bottom } },
    { QLatin1String("Bottom Centre"), { THorizontalPlacement::Centre, TVerticalPlacement::Bottom } },
    { QLatin1String("Bottom Right"), { THorizontalPlacement::Right, TVerticalPlacement::Bottom } },
} };

/** The placement of textPosition. An index outside 0 to 8 (no entry selected) is placed like "Centre". */
[[nodiscard]] TPlacement PositionPlacement(int textPosition);

struct TOverlayColorEntry {
    QLatin1String Name;
    TColor Color;
};

/**
 * The colours offered for the text. "Custom" stands for the colour last chosen in a colour chooser; its
 * value here is the one it has until then.
 */
inline constexpr std::array<TOverlayColorEntry, 18> kOverlayColors { {
    { QLatin1String("Default"), clSilver },
    { QLatin1String("Black"), 0x000000 },
    { QLatin1String("Maroon"), 0x000080 },
    { QLatin1String("Green"), 0x008000 },
    { QLatin1String("Olive"), 0x008080 },
    { QLatin1String("Navy"), 0x800000 },
    { QLatin1String("Purple"), 0x800080 },
    { QLatin1String("Teal"), 0x808000 },
    { QLatin1String("Gray"), 0x808080 },
    { QLatin1String("Silver"), 0xC0C0C0 },
    { QLatin1String("Red"), 0x0000FF },
    { QLatin1String("Lime"), 0x00FF00 },
    { QLatin1String("Yellow"), 0x00FFFF },
    { QLatin1String("Blue"), 0xFF0000 },
    { QLatin1String("Fuchsia"), 0xFF00FF },
    { QLatin1String("Aqua"), 0xFFFF00 },
    { QLatin1String("White"), 0xFFFFFF },
    { QLatin1String("Custom"), 0x000000 },
} };

/**
 * A colour from text: a name of kOverlayColors other than "Custom", without regard to case, or "#RRGGBB"
 * in hexadecimal (returned as 0x00BBGGRR). Surrounding blanks are ignored; anything else is nullopt.
 */
[[nodiscard]] std::optional<TColor> ParseOverlayColor(QStringView text);

/** The family of families that is "Arial" without regard to case, spelt as listed; empty if none. */
[[nodiscard]] QString DefaultFontName(const QStringList &families);

/** The defaults, with FontName looked up in the system's font families (needs a QGuiApplication). */
[[nodiscard]] TOverlaySettings DefaultOverlaySettings();

/** Whatever holds the overlay settings (the overlay dialog, a command line) offers them through this. */
class TOverlaySettingsProvider
{
public:
    TOverlaySettingsProvider() = default;
    virtual ~TOverlaySettingsProvider() = default;
    TOverlaySettingsProvider(const TOverlaySettingsProvider &) = delete;
    TOverlaySettingsProvider &operator=(const TOverlaySettingsProvider &) = delete;

    /** The settings as they stand at the moment of the call. */
    [[nodiscard]] virtual TOverlaySettings CurrentOverlaySettings() const = 0;
};

/** Whatever holds the overlay settings and lets them be changed as a whole (a preset applied). */
class TOverlaySettingsHolder : public TOverlaySettingsProvider
{
public:
    /** From now on CurrentOverlaySettings() gives settings (a font that is not installed gives none). */
    virtual void SetOverlaySettings(const TOverlaySettings &settings) = 0;
};

/** The defaults, as taken when it was made, until they are changed. */
class TDefaultOverlaySettingsProvider : public TOverlaySettingsHolder
{
public:
    TDefaultOverlaySettingsProvider()
        : mSettings(DefaultOverlaySettings())
    {
    }
    [[nodiscard]] TOverlaySettings CurrentOverlaySettings() const override { return mSettings; }
    void SetOverlaySettings(const TOverlaySettings &settings) override { mSettings = settings; }

private:
    TOverlaySettings mSettings;
};

} // namespace vellumar
