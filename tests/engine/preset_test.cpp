#include <gtest/gtest.h>

#include "engine/preset.h"

namespace vellumar
{
namespace
{

// Every setting a preset keeps, side by side; the folders and the listing are not among them.
void ExpectSameSettings(const TJob &actual, const TJob &expected)
{
    EXPECT_EQ(actual.Resize, expected.Resize);
    EXPECT_EQ(actual.ResizePercent, expected.ResizePercent);
    EXPECT_EQ(actual.ResizeOptions, expected.ResizeOptions);
    EXPECT_EQ(actual.Quality, expected.Quality);
    EXPECT_EQ(actual.Rename, expected.Rename);
    EXPECT_EQ(actual.Namer.Prefix(), expected.Namer.Prefix());
    EXPECT_EQ(actual.Namer.Number(), expected.Namer.Number());
    EXPECT_EQ(actual.Namer.Padding(), expected.Namer.Padding());
    EXPECT_EQ(actual.Namer.Suffix(), expected.Namer.Suffix());
    EXPECT_EQ(actual.Overlay, expected.Overlay);
    EXPECT_EQ(actual.OverlaySettings, expected.OverlaySettings);
    EXPECT_EQ(actual.AutoOrient, expected.AutoOrient);
    EXPECT_EQ(actual.Metadata, expected.Metadata);
}

TJob EverySettingChanged()
{
    TJob job;
    job.Resize = true;
    job.ResizePercent = 37;
    job.ResizeOptions.Filter = TResizeFilter::Smooth;
    job.Quality = 71;
    job.Rename = true;
    job.Namer.SetPrefix(QStringLiteral("trip \"ä\" "));
    job.Namer.SetNumber(-(std::int64_t(1) << 60)); // beyond a double's exact whole numbers
    job.Namer.SetPadding(3);
    job.Namer.SetSuffix(QStringLiteral("_web"));
    job.Overlay = true;
    job.OverlaySettings = { QStringLiteral("one\r\ntwo"),
        QStringLiteral("DejaVu Sans"),
        0x800000,
        fsBold | fsItalic,
        4,
        8,
        true };
    job.AutoOrient = false;
    job.Metadata = TMetadataMode::mmKeepNoGps;
    return job;
}

// Applied over the defaults, a job's preset gives that job's settings back, whatever the size mode, a
// colour without a name, or an overlay with no size chosen.
TEST(Preset, GivesEverySettingBack)
{
    TJob longEdge = EverySettingChanged();
    longEdge.ResizePercent = 50;
    longEdge.ResizeOptions.Mode = TSizeMode::LongEdge;
    longEdge.ResizeOptions.LongEdge = 777;
    TJob fit = longEdge;
    fit.ResizeOptions.Mode = TSizeMode::Fit;
    fit.ResizeOptions.LongEdge = 1600;
    fit.ResizeOptions.Box = { 640, 480 };
    fit.OverlaySettings.FontColor = 0x563412;
    fit.OverlaySettings.SizeClass = -1;
    TJob plain;
    plain.OverlaySettings.FontName = QStringLiteral("Serif");
    for (const TJob &job : { EverySettingChanged(), longEdge, fit, plain }) {
        const QByteArray json = PresetJson(job);
        ExpectSameSettings(ApplyPresetJson(json, TJob {}, QStringLiteral("p")), job);
        // The folders only when asked for; a preset without them keeps the defaults'.
        TJob base;
        base.SourceFolder = QStringLiteral("/in");
        EXPECT_EQ(ApplyPresetJson(json, base, QStringLiteral("p")).SourceFolder, QStringLiteral("/in"));
        TJob placed = job;
        placed.SourceFolder = QStringLiteral("/photos/trip");
        placed.DestinationFolder = QStringLiteral("/photos/web/");
        const TJob back = ApplyPresetJson(PresetJson(placed, true), base, QStringLiteral("p"));
        EXPECT_EQ(back.SourceFolder + back.DestinationFolder, QStringLiteral("/photos/trip/photos/web/"));
        // Written twice alike, so that a saved preset does not change by being loaded and saved again.
        EXPECT_EQ(PresetJson(ApplyPresetJson(json, TJob {}, QStringLiteral("p"))), json);
    }
    // Choices by their names, never by a number that a new choice could shift.
    const QByteArray json = PresetJson(EverySettingChanged());
    for (const char *pair : { "\"metadata\": \"keep-no-gps\"",
             "\"position\": \"bottom-right\"",
             "\"size\": \"largest\"",
             "\"color\": \"navy\"",
             "\"filter\": \"smooth\"",
             "\"number\": \"-1152921504606846976\"" })
        EXPECT_TRUE(json.contains(pair)) << pair << "\n" << json.constData();
    EXPECT_TRUE(PresetJson(fit).contains("\"color\": \"#123456\""));
}

// What is not a preset of this version is refused whole, with a message that says why.
TEST(Preset, RefusesWhatItCannotRead)
{
    const struct {
        const char *Json;
        const char *Message;
    } cases[] = {
        { R"({"format": 2, "quality": 80})", "p: the preset is of format 2, newer than this version reads (1)" },
        { R"({"format": 1, "quality": 80, "sharpen": 3})", "p: unknown setting \"sharpen\": nothing was applied" },
        { R"({"quality": 80})", "p: not a preset: \"format\" must be a whole number from 1" },
        { R"({"format": "1"})", "p: not a preset: \"format\" must be a whole number from 1" },
        { R"({"format": 0})", "p: not a preset: \"format\" must be a whole number from 1" },
        { R"([1])", "p: not a preset: not a JSON object" },
        { R"({"format": 1,)", "p: not a preset: " },
        { R"({"format": 1, "rename": "yes"})", "p: \"rename\" must be true or false" },
        { R"({"format": 1, "quality": 80.5})", "p: \"quality\" must be a whole number" },
        { R"({"format": 1, "quality": 101})", "p: \"quality\": \"101\" is not a whole number from 1 to 100" },
        { R"({"format": 1, "metadata": 1})", "p: \"metadata\" must be text" },
        { R"({"format": 1, "metadata": "all"})", "p: \"metadata\": \"all\" is not one of none, keep, keep-no-gps" },
        { R"({"format": 1, "resize": 30, "fit": "9x9"})", "a preset holds one size" },
        { R"({"format": 1, "prefix": "a/b"})", "holds \"/\"" },
        { R"({"format": 1, "source": ""})", "p: \"source\" must be a folder's path" },
    };
    for (const auto &each : cases) {
        try {
            (void)ApplyPresetJson(each.Json, TJob {}, QStringLiteral("p"));
            ADD_FAILURE() << each.Json << " was applied";
        } catch (const EUsageError &error) {
            EXPECT_TRUE(error.Message().contains(QLatin1String(each.Message))) << error.Message().toStdString();
        }
    }
}

} // namespace
} // namespace vellumar
