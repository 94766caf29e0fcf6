#include <map>

#include <gtest/gtest.h>

#include "cli/options.h"
#include "engine/preset.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

// The message of the usage error that parsing arguments gives; empty when they parse.
QString UsageError(const QStringList &arguments)
{
    try {
        (void)ParseBatchOptions(arguments, TOverlaySettings {});
        return {};
    } catch (const EUsageError &error) {
        return error.Message();
    }
}

// --help and parsing come from one table: help lists each option with its argument, in the table's order and
// nothing else, and each option takes a value of the kind its argument names, or none for a flag.
TEST(BatchOptions, HelpListsEveryOptionAndEachTakesItsArgument)
{
    const std::map<QString, QString> samples { { "PERCENT", "50" },
        { "N", "3" },
        { "WxH", "40x30" },
        { "FILTER", "smooth" },
        { "Q", "80" },
        { "TEXT", "t" },
        { "K", "2" },
        { "FAMILY", "Serif" },
        { "COLOUR", "navy" },
        { "SIZE", "large" },
        { "POS", "top-left" },
        { "WHAT", "keep" },
        { "ACTION", "skip" },
        { "FILE", "r.txt" },
        { "K/N", "1/2" },
        { "OUT", "all.json" },
        { "MIB", "64" },
        { "HOW", "optimized" },
        { "BYTES", "150K" },
        { "NAME=SIZE", "thumbs=400" },
        { "TPL", "{n}" } };
    QStringList listed;
    for (const QString &line : BatchUsage().split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("  --")))
            listed << line.left(22).trimmed();
    }
    const test::TTempDir presets;
    QStringList spelled;
    for (const TBatchOption &option : BatchOptionTable()) {
        const QString name = QLatin1String(option.Name);
        QStringList given { name };
        if (option.Argument == nullptr) {
            spelled << name;
            EXPECT_EQ(UsageError({ name + QStringLiteral("=x") }), name + QStringLiteral(" takes no value"));
        } else {
            const QString argument = QLatin1String(option.Argument);
            spelled << name + QLatin1Char(' ') + argument;
            ASSERT_TRUE(samples.contains(argument)) << option.Argument;
            given << samples.at(argument);
            EXPECT_EQ(UsageError({ name }), name + QStringLiteral(" needs a value"));
        }
        if (name == QLatin1String("--filter"))
            given << QStringLiteral("--resize=50");
        if (name == QLatin1String("--min-quality"))
            given << QStringLiteral("--max-size=1M");
        if (name == QLatin1String("--preset"))
            given[1] = presets.WriteText(QStringLiteral("p.json"), PresetJson(TJob {}));
        EXPECT_EQ(UsageError(given + QStringList { "src", "dst" }), QString()) << option.Name;
    }
    EXPECT_EQ(listed.join(QLatin1Char('\n')), spelled.join(QLatin1Char('\n')));
}

// Each option sets its own field, with the spellings the command line allows.
TEST(BatchOptions, EachOptionSetsItsField)
{
    TOverlaySettings defaults;
    defaults.Text = QStringLiteral("default");
    const QStringList arguments = QStringLiteral(
        "--long-edge=300 --filter smooth --quality=80 --rename --prefix=p_ --number=-5 --padding=2 --suffix=_s "
        "--overlay --overlay-quality=70 --text=a\\nb --font=Serif --colour=#102030 --bold --italic --size=LARGE "
        "--position=Top-Center "
        "--no-auto-orient --metadata=keep-no-gps --to-srgb --recursive --existing=rename --report=r.txt "
        "--report-json=r.json "
        "--report-csv=r.csv "
        "--dry-run --shard=2/3 --no-progress --jobs=3 --memory=64 --quiet -- --src dst")
                                      .split(QLatin1Char(' '));
    const TBatchOptions options = ParseBatchOptions(arguments, defaults);
    EXPECT_EQ(options.Source, QStringLiteral("--src"));
    EXPECT_EQ(options.Destination, QStringLiteral("dst"));
    EXPECT_TRUE(options.Job.Resize);
    TResizeOptions resize;
    resize.Filter = TResizeFilter::Smooth;
    resize.Mode = TSizeMode::LongEdge;
    resize.LongEdge = 300;
    EXPECT_EQ(options.Job.ResizeOptions, resize);
    EXPECT_EQ(options.Job.Quality, 80);
    EXPECT_TRUE(options.Job.Rename);
    EXPECT_EQ(options.Job.Namer.Prefix() + QString::number(options.Job.Namer.Number()) + options.Job.Namer.Suffix(),
        QStringLiteral("p_-5_s"));
    EXPECT_EQ(options.Job.Namer.Padding(), 2);
    EXPECT_TRUE(options.Job.Overlay);
    TOverlaySettings overlay;
    overlay.Text = QStringLiteral("a\r\nb");
    overlay.FontName = QStringLiteral("Serif");
    overlay.FontColor = *ParseOverlayColor(u"#102030");
    overlay.FontStyle = fsBold | fsItalic;
    overlay.SizeClass = 2;
    overlay.TextPosition = 1;
    EXPECT_EQ(options.Job.OverlaySettings, overlay);
    EXPECT_EQ(options.Job.OverlayQuality, 70);
    EXPECT_FALSE(options.Job.AutoOrient);
    EXPECT_EQ(options.Job.Metadata, TMetadataMode::mmKeepNoGps);
    EXPECT_TRUE(options.Job.Recursive);
    EXPECT_EQ(options.Job.Existing, TExisting::Rename);
    EXPECT_TRUE(options.Job.ToSrgb);
    EXPECT_EQ(QStringList({ options.ReportFile, options.ReportJson, options.ReportCsv }).join(QLatin1Char(' ')),
        QStringLiteral("r.txt r.json r.csv"));
    EXPECT_TRUE(options.DryRun);
    EXPECT_EQ(options.Shard, (TShard { 2, 3 }));
    EXPECT_TRUE(options.NoProgress);
    EXPECT_EQ(options.Jobs, 3);
    EXPECT_EQ(options.MemoryBudget, 64u << 20);
    EXPECT_TRUE(options.Quiet);

    const TBatchOptions merge = ParseBatchOptions({ "--merge-reports", "all.json", "a.json", "b.json" }, defaults);
    EXPECT_EQ(merge.MergeOutput, QStringLiteral("all.json"));
    EXPECT_EQ(merge.MergeInputs.join(QLatin1Char(' ')), QStringLiteral("a.json b.json"));
    EXPECT_EQ(merge.Job.OverlaySettings, defaults);
    EXPECT_EQ(merge.Job.OverlayQuality, 90);
}

// A preset gives every setting; options after it change them, one before it would be lost and is refused.
TEST(BatchOptions, OptionsAfterPresetWin)
{
    const test::TTempDir folder;
    TJob saved;
    saved.Resize = true;
    saved.ResizeOptions.Mode = TSizeMode::LongEdge;
    saved.ResizeOptions.LongEdge = 800;
    saved.Quality = 60;
    const QString preset = folder.WriteText(QStringLiteral("p.json"), PresetJson(saved));
    const QString newer = folder.WriteText(QStringLiteral("n.json"), R"({"format": 2})");
    const struct {
        QString Arguments;
        int Quality;
        TSizeMode Mode;
        const char *Error;
    } cases[] = {
        { "--preset @P", 60, TSizeMode::LongEdge, "" },
        { "--preset @P --quality 85 --resize 30", 85, TSizeMode::Percent, "" },
        { "--jobs 2 --preset @P --fit 9x9", 60, TSizeMode::Fit, "" },
        { "--quality 85 --preset @P", 0, {}, "--quality before --preset would be replaced by the preset" },
        { "--preset @P --preset @P", 0, {}, "--preset is given twice" },
        { "--preset @N", 0, {}, "newer than this version reads" },
        { "--preset missing.json", 0, {}, "--preset: Cannot open file missing.json" },
    };
    for (const auto &each : cases) {
        QStringList arguments = QString(each.Arguments)
                                    .replace(QLatin1String("@P"), preset)
                                    .replace(QLatin1String("@N"), newer)
                                    .split(QLatin1Char(' '));
        arguments << QStringLiteral("src") << QStringLiteral("dst");
        const QString error = UsageError(arguments);
        EXPECT_TRUE(error.contains(QLatin1String(each.Error)) && (error.isEmpty() == (*each.Error == 0)))
            << each.Arguments.toStdString() << ": " << error.toStdString();
        if (!error.isEmpty())
            continue;
        const TBatchOptions options = ParseBatchOptions(arguments, TOverlaySettings {});
        EXPECT_EQ(options.Job.Quality, each.Quality) << each.Arguments.toStdString();
        EXPECT_EQ(options.Job.ResizeOptions.Mode, each.Mode) << each.Arguments.toStdString();
    }
}

} // namespace
} // namespace vellumar

namespace vellumar
{
namespace
{

TEST(BatchOptions, WebOutputOptionsAndTheirUsageErrors)
{
    const TBatchOptions options = ParseBatchOptions(
        QStringLiteral("--coding=progressive --max-size=150K --min-quality=55 --name-template={date}_{n} "
                       "--overlay --text={camera} --overlay-tokens --variant=thumbs=400 --variant=web=800x600@75 s d")
            .split(QLatin1Char(' ')),
        TOverlaySettings {});
    EXPECT_EQ(options.Job.Coding, TJpegCoding::Progressive);
    EXPECT_EQ(options.Job.MaxBytes, 150 * 1024);
    EXPECT_EQ(options.Job.MinQuality, 55);
    EXPECT_TRUE(options.Job.Rename);
    EXPECT_EQ(options.Job.NameTemplate, QStringLiteral("{date}_{n}"));
    EXPECT_TRUE(options.Job.OverlayTokens);
    ASSERT_EQ(options.Job.Variants.size(), 2u);
    EXPECT_EQ(OutputVariantText(options.Job.Variants[0]) + u' ' + OutputVariantText(options.Job.Variants[1]),
        QStringLiteral("thumbs=400 web=800x600@75"));
    EXPECT_EQ(options.Job.Variants[1].Size.Mode, TSizeMode::Fit);
    EXPECT_EQ(ParseBatchOptions({ "--max-size", "2M", "s", "d" }, {}).Job.MaxBytes, 2 << 20);
    EXPECT_EQ(ParseBatchOptions({ "--max-size", "5000", "s", "d" }, {}).Job.MaxBytes, 5000);

    const std::map<QString, QString> errors {
        { "--coding=arith", "--coding: \"arith\" is not one of baseline, optimized, progressive" },
        { "--max-size=0", "--max-size: \"0\" is not a size from 1K to 1024M (bytes, or with K or M)" },
        { "--max-size=12G", "--max-size: \"12G\" is not a size from 1K to 1024M (bytes, or with K or M)" },
        { "--max-size=100", "--max-size: \"100\" is not a size from 1K to 1024M (bytes, or with K or M)" },
        { "--min-quality=50", "--min-quality applies to a size cap: give --max-size" },
        { "--name-template={year}",
            "--name-template: unknown token {year} (known: {name} {n} {date} {time} "
            "{camera} {w} {h})" },
        { "--name-template={date", "--name-template: \"{\" at 1 is never closed" },
        { "--name-template=a/{n}", "--name-template: \"a/{n}\" holds \"/\"" },
        { "--name-template=", "--name-template: \"\" is empty" },
        { "--variant=400", "--variant: \"400\" is not NAME=SIZE[@QUALITY] with a folder name NAME" },
        { "--variant=../x=400", "--variant: \"../x=400\" is not NAME=SIZE[@QUALITY] with a folder name NAME" },
        { "--variant=t=0", "--variant: the long edge \"0\" is not a whole number from 1 to 65500" },
        { "--variant=t=4x", "--variant: the height \"\" is not a whole number from 1 to 65500" },
        { "--variant=t=400@101", "--variant: the quality \"101\" is not a whole number from 1 to 100" },
        { "--overlay-tokens --text={nope}",
            "--overlay-tokens: the text has unknown token {nope} (known: {name} "
            "{n} {date} {time} {camera} {w} {h})" },
    };
    for (const auto &[arguments, message] : errors)
        EXPECT_EQ(UsageError(arguments.split(QLatin1Char(' ')) + QStringList { "s", "d" }), message)
            << arguments.toStdString();
    EXPECT_EQ(UsageError({ "--variant=t=400", "--variant=t=800", "s", "d" }), "--variant: \"t\" is given twice");
}

} // namespace
} // namespace vellumar
