#include "cli/options.h"

#include <algorithm>
#include <array>
#include <cstring>
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

using TApply = std::function<void(TBatchOptions &, const QString &, const QString &)>;

// The part of the options a member belongs to: the run's own, or the job's.
TBatchOptions &PartOf(TBatchOptions &options, TBatchOptions *)
{
    return options;
}
TJob &PartOf(TBatchOptions &options, TJob *)
{
    return options.Job;
}

template<typename TPart>
TApply Flag(bool TPart::*member, bool value = true)
{
    return [member, value](TBatchOptions &options, const QString &, const QString &) {
        PartOf(options, static_cast<TPart *>(nullptr)).*member = value;
    };
}

template<typename TPart, typename TWhole>
TApply Whole(TWhole TPart::*member, std::int64_t low, std::int64_t high)
{
    return [member, low, high](TBatchOptions &options, const QString &name, const QString &value) {
        PartOf(options, static_cast<TPart *>(nullptr)).*member = TWhole(ParseWhole(name, value, low, high));
    };
}

TApply Text(QString TBatchOptions::*member)
{
    return [member](TBatchOptions &options, const QString &, const QString &value) {
        options.*member = value;
    };
}

TApply NamePart(void (TOutputNamer::*set)(const QString &))
{
    return [set](TBatchOptions &options, const QString &name, const QString &value) {
        (options.Job.Namer.*set)(NameText(name, value));
    };
}

// One of a few exact spellings; expected says which, after the value, in the error message.
template<typename TChoice>
TChoice Choose(const QString &name,
    const QString &value,
    std::initializer_list<std::pair<const char *, TChoice>> choices,
    const char *expected)
{
    for (const auto &[spelled, choice] : choices) {
        if (value == QLatin1String(spelled))
            return choice;
    }
    throw EUsageError(QStringLiteral("%1: \"%2\" %3").arg(name, value, QLatin1String(expected)));
}

void SetColour(TBatchOptions &options, const QString &name, const QString &value)
{
    const std::optional<TColor> color = ParseOverlayColor(value);
    if (!color)
        throw EUsageError(QStringLiteral("%1: \"%2\" is neither a colour name nor #RRGGBB").arg(name, value));
    options.Job.OverlaySettings.FontColor = *color;
}

TApply FontStyle(TFontStyle style)
{
    return [style](TBatchOptions &options, const QString &, const QString &) {
        options.Job.OverlaySettings.FontStyle |= style;
    };
}

// The options that choose the size; one at the most.
constexpr std::array<const char *, 3> kSizeOptions { "--resize", "--long-edge", "--fit" };

// What --help says before and after the options, and the column where the options' descriptions start.
constexpr const char *kUsageStart =
    "Usage: vellumar-batch [options] SOURCE DEST\n"
    "       vellumar-batch --merge-reports OUT REPORT.json...\n"
    "Prepares every JPEG of the folder SOURCE for publishing and writes the results into DEST.\n"
    "The status log goes to standard output, line by line, as the window would show it.\n"
    "\n";
constexpr const char *kUsageEnd =
    "\n"
    "Exit status: 0 all photos done, 1 a photo failed, 2 usage error, 3 a folder cannot be read,\n"
    "130 stopped by Ctrl-C, 143 by SIGTERM, 129 by SIGHUP.\n";
constexpr qsizetype kHelpColumn = 22;

std::vector<TBatchOption> MakeBatchOptionTable()
{
    // One option to a row: group, name, argument (nullptr: a flag), help (a '\n' continues it), what it sets.
    // clang-format off
    return {
        { "Reduce", "--resize", "PERCENT", "reduce every photo by PERCENT (1 to 99)",
            [](TBatchOptions &options, const QString &name, const QString &value) {
                options.Job.Resize = true;
                options.Job.ResizePercent = int(ParseWhole(name, value, 1, 99));
            } },
        { "Reduce", "--long-edge", "N", "or: reduce every photo so that its longer side is N pixels",
            [](TBatchOptions &options, const QString &name, const QString &value) {
                options.Job.Resize = true;
                options.Job.ResizeOptions.Mode = TSizeMode::LongEdge;
                options.Job.ResizeOptions.LongEdge = int(ParseWhole(name, value, 1, kMaxSide));
            } },
        { "Reduce", "--fit", "WxH", "or: reduce every photo to fit inside W x H pixels\n"
                                    "(aspect kept, never enlarged: a smaller photo is written at its own size)",
            [](TBatchOptions &options, const QString &name, const QString &value) {
                options.Job.Resize = true;
                options.Job.ResizeOptions.Mode = TSizeMode::Fit;
                options.Job.ResizeOptions.Box = ParseBox(name, value);
            } },
        { "Reduce", "--filter", "FILTER", "nearest (default: exact, one source pixel each) or smooth (filtered)",
            [](TBatchOptions &options, const QString &name, const QString &value) {
                options.Job.ResizeOptions.Filter = Choose<TResizeFilter>(name, value,
                    { { "nearest", TResizeFilter::Nearest }, { "smooth", TResizeFilter::Smooth } },
                    "is neither nearest nor smooth");
            } },
        { "Reduce", "--quality", "Q", "JPEG quality of reduced photos (1 to 100, default 90)",
            Whole(&TJob::Quality, 1, 100) },
        { "Rename", "--rename", nullptr, "give every photo a new name: PREFIX NUMBER SUFFIX .jpg",
            Flag(&TJob::Rename) },
        { "Rename", "--prefix", "TEXT", "text before the number", NamePart(&TOutputNamer::SetPrefix) },
        { "Rename", "--number", "N", "the first number (default 1)",
            [](TBatchOptions &options, const QString &name, const QString &value) {
                options.Job.Namer.SetNumber(ParseWhole(name, value, std::numeric_limits<std::int64_t>::min() + 1,
                    std::numeric_limits<std::int64_t>::max()));
            } },
        { "Rename", "--padding", "K", "at least K+1 digits, zero-filled (0 to 4, default 0)",
            [](TBatchOptions &options, const QString &name, const QString &value) {
                options.Job.Namer.SetPadding(int(ParseWhole(name, value, 0, 4)));
            } },
        { "Rename", "--suffix", "TEXT", "text after the number", NamePart(&TOutputNamer::SetSuffix) },
        { "Overlay", "--overlay", nullptr, "draw a text with a drop shadow onto every photo",
            Flag(&TJob::Overlay) },
        { "Overlay", "--overlay-quality", "Q", "JPEG quality of overlaid photos, which replaces --quality for them\n"
                                               "(1 to 100, default 90)",
            Whole(&TJob::OverlayQuality, 1, 100) },
        { "Overlay", "--text", "TEXT", "the text; \\n starts a new line (default \"Sample Overlay Text\")",
            [](TBatchOptions &options, const QString &, const QString &value) {
                // A typed backslash-n starts a new line; lines are separated by CR LF as in the dialog.
                options.Job.OverlaySettings.Text = QString(value).replace(QLatin1String("\\n"), QLatin1String("\r\n"));
            } },
        { "Overlay", "--font", "FAMILY", "the font family (default Arial where installed)",
            [](TBatchOptions &options, const QString &, const QString &value) {
                options.Job.OverlaySettings.FontName = value;
            } },
        { "Overlay", "--color", "COLOUR", "a colour name (black, maroon, green, olive, navy, purple, teal, gray,\n"
                                          "silver, red, lime, yellow, blue, fuchsia, aqua, white) or #RRGGBB",
            SetColour },
        { "Overlay", "--colour", "COLOUR", "the same as --color", SetColour },
        { "Overlay", "--bold", nullptr, "a bold font", FontStyle(fsBold) },
        { "Overlay", "--italic", nullptr, "an italic font", FontStyle(fsItalic) },
        { "Overlay", "--size", "SIZE", "small, medium, large, larger or largest (default medium)",
            [](TBatchOptions &options, const QString &, const QString &value) {
                options.Job.OverlaySettings.SizeClass = ParseSize(value);
            } },
        { "Overlay", "--position", "POS", "top-left, top-centre, top-right, centre-left, centre, centre-right,\n"
                                          "bottom-left, bottom-centre or bottom-right (default centre)",
            [](TBatchOptions &options, const QString &, const QString &value) {
                options.Job.OverlaySettings.TextPosition = ParsePosition(value);
            } },
        { "Photos", "--no-auto-orient", nullptr,
            "keep reduced and overlaid photos as stored; by default they are turned\n"
            "upright as the camera's orientation tag says",
            Flag(&TJob::AutoOrient, false) },
        { "Photos", "--metadata", "WHAT",
            "none (default), keep, or keep-no-gps: the camera data (EXIF, without its\n"
            "thumbnail), XMP and IPTC that reduced and overlaid photos keep; their\n"
            "colour profile is always kept; a plain copy keeps every byte",
            [](TBatchOptions &options, const QString &name, const QString &value) {
                options.Job.Metadata = Choose<TMetadataMode>(name, value,
                    { { "none", TMetadataMode::mmNone }, { "keep", TMetadataMode::mmKeep },
                        { "keep-no-gps", TMetadataMode::mmKeepNoGps } },
                    "is not one of none, keep, keep-no-gps");
            } },
        { "Run", "--report", "FILE", "also save the status log as FILE", Text(&TBatchOptions::ReportFile) },
        { "Run", "--report-json", "FILE", "save what was done to each photo as JSON (also when stopped)",
            Text(&TBatchOptions::ReportJson) },
        { "Run", "--report-csv", "FILE", "the same per-photo records as CSV", Text(&TBatchOptions::ReportCsv) },
        { "Run", "--dry-run", nullptr,
            "write nothing; print each photo's output name, sizes and what it would\n"
            "replace, then the clashes that would refuse the run (exit 2 if any)",
            Flag(&TBatchOptions::DryRun) },
        { "Run", "--shard", "K/N",
            "process only photos K, K+N, K+2N ... of the listing, numbered as in the\n"
            "whole run, so that N shards on N machines make the files of one run",
            [](TBatchOptions &options, const QString &, const QString &value) {
                options.Shard = ParseShard(value);
                if (!options.Shard)
                    throw EUsageError(QStringLiteral("--shard: \"%1\" is not K/N with 1 <= K <= N").arg(value));
            } },
        { "Run", "--merge-reports", "OUT", "merge the JSON reports of the N shards of a run into OUT",
            [](TBatchOptions &options, const QString &, const QString &value) {
                if (value.isEmpty())
                    throw EUsageError(QStringLiteral("--merge-reports needs an output file name"));
                options.MergeOutput = value;
            } },
        { "Run", "--no-progress", nullptr, "no progress bar (it is drawn only when standard error is a terminal)",
            Flag(&TBatchOptions::NoProgress) },
        { "Run", "--jobs", "N", "process N photos at once (default: the number of processors)",
            Whole(&TBatchOptions::Jobs, 1, 256) },
        { "Run", "--memory", "MIB",
            "start a photo only while the photos in hand fit in MIB mebibytes, as\n"
            "estimated from their headers (default: half the memory, at most 2048)",
            [](TBatchOptions &options, const QString &name, const QString &value) {
                // In MiB, from 64 MiB to 1 TiB.
                options.MemoryBudget = std::uint64_t(ParseWhole(name, value, 64, std::int64_t(1) << 20)) << 20;
            } },
        { "Run", "--quiet", nullptr, "print no status log", Flag(&TBatchOptions::Quiet) },
        { "Run", "--help", nullptr, "show this help", Flag(&TBatchOptions::Help) },
        { "Run", "--version", nullptr, "show the version", Flag(&TBatchOptions::Version) },
    };
    // clang-format on
}

const TBatchOption *FindOption(const QString &name)
{
    for (const TBatchOption &option : BatchOptionTable()) {
        if (name == QLatin1String(option.Name))
            return &option;
    }
    return nullptr;
}

} // namespace

const std::vector<TBatchOption> &BatchOptionTable()
{
    static const std::vector<TBatchOption> table = MakeBatchOptionTable();
    return table;
}

TBatchOptions ParseBatchOptions(const QStringList &arguments, const TOverlaySettings &defaults)
{
    TBatchOptions options;
    options.Job.OverlaySettings = defaults;
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
        const TBatchOption *option = FindOption(name);
        if (option == nullptr)
            throw EUsageError(QStringLiteral("unknown option %1").arg(name));
        QString value;
        if (option->Argument == nullptr) {
            if (inlineValue)
                throw EUsageError(QStringLiteral("%1 takes no value").arg(name));
        } else if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            throw EUsageError(QStringLiteral("%1 needs a value").arg(name));
        }
        option->Apply(options, name, value);
        if (std::find(kSizeOptions.begin(), kSizeOptions.end(), name) != kSizeOptions.end())
            sizeOptions << name;
        filterGiven = filterGiven || name == QLatin1String("--filter");
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
    if (filterGiven && !options.Job.Resize)
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
    QString usage = QLatin1String(kUsageStart);
    const QString indent = QLatin1Char('\n') + QString(kHelpColumn, QLatin1Char(' '));
    const char *group = nullptr;
    for (const TBatchOption &option : BatchOptionTable()) {
        if (group == nullptr || std::strcmp(group, option.Group) != 0)
            usage += QLatin1String(option.Group) + QStringLiteral(":\n");
        group = option.Group;
        QString spelled = QLatin1String(option.Name);
        if (option.Argument != nullptr)
            spelled += QLatin1Char(' ') + QLatin1String(option.Argument);
        usage += (QStringLiteral("  ") + spelled).leftJustified(kHelpColumn - 1) + QLatin1Char(' ')
            + QLatin1String(option.Help).toString().replace(QLatin1Char('\n'), indent) + QLatin1Char('\n');
    }
    return usage + QLatin1String(kUsageEnd);
}

} // namespace vellumar
