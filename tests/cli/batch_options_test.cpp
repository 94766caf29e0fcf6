#include <map>

#include <gtest/gtest.h>

#include "cli/options.h"

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
        { "FILE", "r.txt" },
        { "K/N", "1/2" },
        { "OUT", "all.json" },
        { "MIB", "64" } };
    QStringList listed;
    for (const QString &line : BatchUsage().split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("  --")))
            listed << line.left(22).trimmed();
    }
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
        "--no-auto-orient --metadata=keep-no-gps --report=r.txt --report-json=r.json --report-csv=r.csv "
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

} // namespace
} // namespace vellumar
