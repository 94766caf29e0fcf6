#include "cli/options.h"

#include <array>
#include <limits>

namespace vellumar
{

namespace
{

// The nine positions as the command line spells them, in the order of their indexes.
constexpr std::array<const char *, 9> kPositionNames { "top-left",
    "top-centre",
    "top-right",
    "centre-left",
    "centre",
    "centre-right",
    "bottom-left",
    "bottom-centre",
    "bottom-right" };

std::int64_t ParseWhole(const QString &option, const QString &value, std::int64_t low, std::int64_t high)
{
    bool ok = false;
    const qlonglong number = value.trimmed().toLongLong(&ok);
    if (!ok || number < low || number > high)
        throw EUsageError(
            QStringLiteral("%1: \"%2\" is not a whole number from %3 to %4").arg(option, value).arg(low).arg(high));
    return number;
}

int ParseSize(const QString &value)
{
    for (std::size_t i = 0; i < kOverlaySizes.size(); ++i) {
        if (value.compare(kOverlaySizes[i].Name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    throw EUsageError(QStringLiteral("--size: \"%1\" is not one of small, medium, large, larger, largest").arg(value));
}

int ParsePosition(const QString &value)
{
    QString spelled = value.trimmed().toLower();
    spelled.replace(QStringLiteral("center"), QStringLiteral("centre"));
    for (std::size_t i = 0; i < kPositionNames.size(); ++i) {
        if (spelled == QLatin1String(kPositionNames[i]))
            return int(i);
    }
    throw EUsageError(QStringLiteral("--position: \"%1\" is not a position (top-left ... bottom-right)").arg(value));
}

// The largest side a JPEG can have.
constexpr std::int64_t kMaxSide = 65500;

TPixelSize ParseBox(const QString &option, const QString &value)
{
    const qsizetype cross = value.indexOf(QLatin1Char('x'), 0, Qt::CaseInsensitive);
    if (cross > 0) {
        bool widthOk = false;
        bool heightOk = false;
        const qlonglong width = value.left(cross).trimmed().toLongLong(&widthOk);
        const qlonglong height = value.mid(cross + 1).trimmed().toLongLong(&heightOk);
        if (widthOk && heightOk && width >= 1 && width <= kMaxSide && height >= 1 && height <= kMaxSide)
            return { int(width), int(height) };
    }
    throw EUsageError(
        QStringLiteral("%1: \"%2\" is not WIDTHxHEIGHT with sides from 1 to %3").arg(option, value).arg(kMaxSide));
}

// A "/" would put the file outside the destination folder.
QString NameText(const QString &name, const QString &text)
{
    if (text.contains(QLatin1Char('/')))
        throw EUsageError(QStringLiteral("%1: \"%2\" holds \"/\", which a file name cannot hold").arg(name, text));
    return text;
}

} // namespace

TBatchOptions ParseBatchOptions(const QStringList &arguments, const TOverlaySettings &defaults)
{
    TBatchOptions options;
    options.OverlaySettings = defaults;
    QStringList positional;
    QStringList sizeOptions;
    bool filterGiven = false;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (optionsEnded || !argument.startsWith(QLatin1String("--")) || argument == QLatin1String("-")) {
            positional << argument;
            continue;
        }
        if (argument == QLatin1String("--")) {
            optionsEnded = true;
            continue;
        }
        QString name = argument;
        std::optional<QString> inlineValue;
        if (const qsizetype equals = argument.indexOf(QLatin1Char('=')); equals > 0) {
            name = argument.left(equals);
            inlineValue = argument.mid(equals + 1);
        }
        const auto value = [&]() -> QString {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= arguments.size())
                throw EUsageError(QStringLiteral("%1 needs a value").arg(name));
            return arguments[++i];
        };
        const auto flag = [&](bool &target) {
            if (inlineValue)
                throw EUsageError(QStringLiteral("%1 takes no value").arg(name));
            target = true;
        };
        if (name == QLatin1String("--resize")) {
            sizeOptions << name;
            options.Resize = true;
            options.ResizePercent = int(ParseWhole(name, value(), 1, 99));
        } else if (name == QLatin1String("--long-edge")) {
            sizeOptions << name;
            options.Resize = true;
            options.ResizeOptions.Mode = TSizeMode::LongEdge;
            options.ResizeOptions.LongEdge = int(ParseWhole(name, value(), 1, kMaxSide));
        } else if (name == QLatin1String("--fit")) {
            sizeOptions << name;
            options.Resize = true;
            options.ResizeOptions.Mode = TSizeMode::Fit;
            options.ResizeOptions.Box = ParseBox(name, value());
        } else if (name == QLatin1String("--filter")) {
            filterGiven = true;
            const QString filter = value();
            if (filter == QLatin1String("nearest"))
                options.ResizeOptions.Filter = TResizeFilter::Nearest;
            else if (filter == QLatin1String("smooth"))
                options.ResizeOptions.Filter = TResizeFilter::Smooth;
            else
                throw EUsageError(QStringLiteral("--filter: \"%1\" is neither nearest nor smooth").arg(filter));
        } else if (name == QLatin1String("--quality")) {
            options.Quality = int(ParseWhole(name, value(), 1, 100));
        } else if (name == QLatin1String("--rename")) {
            flag(options.Rename);
        } else if (name == QLatin1String("--prefix")) {
            options.Prefix = NameText(name, value());
        } else if (name == QLatin1String("--number")) {
            options.Number = ParseWhole(name,
                value(),
                std::numeric_limits<std::int64_t>::min() + 1,
                std::numeric_limits<std::int64_t>::max());
        } else if (name == QLatin1String("--padding")) {
            options.Padding = int(ParseWhole(name, value(), 0, 4));
        } else if (name == QLatin1String("--suffix")) {
            options.Suffix = NameText(name, value());
        } else if (name == QLatin1String("--overlay")) {
            flag(options.Overlay);
        } else if (name == QLatin1String("--text")) {
            // A typed backslash-n starts a new line; lines are separated by CR LF as in the dialog.
            options.OverlaySettings.Text = value().replace(QLatin1String("\\n"), QLatin1String("\r\n"));
        } else if (name == QLatin1String("--font")) {
            options.OverlaySettings.FontName = value();
        } else if (name == QLatin1String("--color") || name == QLatin1String("--colour")) {
            const QString text = value();
            const std::optional<TColor> color = ParseOverlayColor(text);
            if (!color)
                throw EUsageError(QStringLiteral("%1: \"%2\" is neither a colour name nor #RRGGBB").arg(name, text));
            options.OverlaySettings.FontColor = *color;
        } else if (name == QLatin1String("--bold")) {
            bool bold = false;
            flag(bold);
            options.OverlaySettings.FontStyle |= fsBold;
        } else if (name == QLatin1String("--italic")) {
            bool italic = false;
            flag(italic);
            options.OverlaySettings.FontStyle |= fsItalic;
        } else if (name == QLatin1String("--size")) {
            options.OverlaySettings.SizeClass = ParseSize(value());
        } else if (name == QLatin1String("--position")) {
            options.OverlaySettings.TextPosition = ParsePosition(value());
        } else if (name == QLatin1String("--no-auto-orient")) {
            bool off = false;
            flag(off);
            options.AutoOrient = false;
        } else if (name == QLatin1String("--metadata")) {
            const QString text = value();
            if (text == QLatin1String("none"))
                options.Metadata = TMetadataMode::mmNone;
            else if (text == QLatin1String("keep"))
                options.Metadata = TMetadataMode::mmKeep;
            else if (text == QLatin1String("keep-no-gps"))
                options.Metadata = TMetadataMode::mmKeepNoGps;
            else
                throw EUsageError(QStringLiteral("--metadata: \"%1\" is not one of none, keep, keep-no-gps").arg(text));
        } else if (name == QLatin1String("--memory")) {
            // In MiB, from 64 MiB to 1 TiB.
            options.MemoryBudget = std::uint64_t(ParseWhole(name, value(), 64, std::int64_t(1) << 20)) << 20;
        } else if (name == QLatin1String("--report")) {
            options.ReportFile = value();
        } else if (name == QLatin1String("--report-json")) {
            options.ReportJson = value();
        } else if (name == QLatin1String("--report-csv")) {
            options.ReportCsv = value();
        } else if (name == QLatin1String("--dry-run")) {
            flag(options.DryRun);
        } else if (name == QLatin1String("--no-progress")) {
            flag(options.NoProgress);
        } else if (name == QLatin1String("--shard")) {
            const QString text = value();
            options.Shard = ParseShard(text);
            if (!options.Shard)
                throw EUsageError(QStringLiteral("--shard: \"%1\" is not K/N with 1 <= K <= N").arg(text));
        } else if (name == QLatin1String("--merge-reports")) {
            options.MergeOutput = value();
            if (options.MergeOutput.isEmpty())
                throw EUsageError(QStringLiteral("--merge-reports needs an output file name"));
        } else if (name == QLatin1String("--jobs")) {
            options.Jobs = int(ParseWhole(name, value(), 1, 256));
        } else if (name == QLatin1String("--quiet")) {
            flag(options.Quiet);
        } else if (name == QLatin1String("--help")) {
            flag(options.Help);
        } else if (name == QLatin1String("--version")) {
            flag(options.Version);
        } else {
            throw EUsageError(QStringLiteral("unknown option %1").arg(name));
        }
    }
    if (options.Help || options.Version)
        return options;
    if (!options.MergeOutput.isEmpty()) {
        if (positional.isEmpty())
            throw EUsageError(QStringLiteral("--merge-reports OUT needs the reports to merge"));
        options.MergeInputs = positional;
        return options;
    }
    if (sizeOptions.size() > 1)
        throw EUsageError(QStringLiteral("%1 and %2: give one size, by percent, long edge or fit")
                              .arg(sizeOptions[0], sizeOptions[1]));
    if (filterGiven && !options.Resize)
        throw EUsageError(QStringLiteral("--filter applies to a reduction: give --resize, --long-edge or --fit"));
    if (positional.size() != 2)
        throw EUsageError(QStringLiteral("expected SOURCE and DEST, got %1 folder name(s)").arg(positional.size()));
    // An empty folder argument (an unset variable) would mean the working directory.
    for (const QString &folder : positional)
        if (folder.isEmpty())
            throw EUsageError(QStringLiteral("SOURCE and DEST must not be empty"));
    options.Source = positional[0];
    options.Destination = positional[1];
    return options;
}

QString BatchUsage()
{
    return QStringLiteral(
        "Usage: vellumar-batch [options] SOURCE DEST\n"
        "       vellumar-batch --merge-reports OUT REPORT.json...\n"
        "Prepares every JPEG of the folder SOURCE for publishing and writes the results into DEST.\n"
        "The status log goes to standard output, line by line, as the window would show it.\n"
        "\n"
        "Reduce:\n"
        "  --resize PERCENT    reduce every photo by PERCENT (1 to 99)\n"
        "  --long-edge N       or: reduce every photo so that its longer side is N pixels\n"
        "  --fit WxH           or: reduce every photo to fit inside W x H pixels\n"
        "                      (aspect kept, never enlarged: a smaller photo is written at its own size)\n"
        "  --filter FILTER     nearest (default: exact, one source pixel each) or smooth (filtered)\n"
        "  --quality Q         JPEG quality of reduced photos (1 to 100, default 90)\n"
        "Rename:\n"
        "  --rename            give every photo a new name: PREFIX NUMBER SUFFIX .jpg\n"
        "  --prefix TEXT       text before the number\n"
        "  --number N          the first number (default 1)\n"
        "  --padding K         at least K+1 digits, zero-filled (0 to 4, default 0)\n"
        "  --suffix TEXT       text after the number\n"
        "Overlay:\n"
        "  --overlay           draw a text with a drop shadow onto every photo (written at quality 90)\n"
        "  --text TEXT         the text; \\n starts a new line (default \"Sample Overlay Text\")\n"
        "  --font FAMILY       the font family (default Arial where installed)\n"
        "  --color COLOUR      a colour name (black, maroon, green, olive, navy, purple, teal, gray,\n"
        "                      silver, red, lime, yellow, blue, fuchsia, aqua, white) or #RRGGBB\n"
        "  --bold, --italic    the font style\n"
        "  --size SIZE         small, medium, large, larger or largest (default medium)\n"
        "  --position POS      top-left, top-centre, top-right, centre-left, centre, centre-right,\n"
        "                      bottom-left, bottom-centre or bottom-right (default centre)\n"
        "Photos:\n"
        "  --no-auto-orient    keep reduced and overlaid photos as stored; by default they are turned\n"
        "                      upright as the camera's orientation tag says\n"
        "  --metadata WHAT     none (default), keep, or keep-no-gps: the camera data (EXIF, without its\n"
        "                      thumbnail), XMP and IPTC that reduced and overlaid photos keep; their\n"
        "                      colour profile is always kept; a plain copy keeps every byte\n"
        "Run:\n"
        "  --report FILE       also save the status log as FILE\n"
        "  --report-json FILE  save what was done to each photo as JSON (also when stopped)\n"
        "  --report-csv FILE   the same per-photo records as CSV\n"
        "  --dry-run           write nothing; print each photo's output name, sizes and what it would\n"
        "                      replace, then the clashes that would refuse the run (exit 2 if any)\n"
        "  --shard K/N         process only photos K, K+N, K+2N ... of the listing, numbered as in the\n"
        "                      whole run, so that N shards on N machines make the files of one run\n"
        "  --merge-reports OUT merge the JSON reports of the N shards of a run into OUT\n"
        "  --no-progress       no progress bar (it is drawn only when standard error is a terminal)\n"
        "  --jobs N            process N photos at once (default: the number of processors)\n"
        "  --memory MIB        start a photo only while the photos in hand fit in MIB mebibytes, as\n"
        "                      estimated from their headers (default: half the memory, at most 2048)\n"
        "  --quiet             print no status log\n"
        "  --help              show this help\n"
        "  --version           show the version\n"
        "\n"
        "Exit status: 0 all photos done, 1 a photo failed, 2 usage error, 3 a folder cannot be read,\n"
        "130 stopped by Ctrl-C, 143 by SIGTERM, 129 by SIGHUP.\n");
}

} // namespace vellumar
