#include "engine/job_options.h"

#include <array>
#include <limits>

#include "engine/name_template.h"
#include "engine/output_variant.h"

namespace vellumar
{

namespace
{

// The nine positions as they are spelled, in the order of their indexes.
constexpr std::array<const char *, 9> kPositionNames { "top-left",
    "top-centre",
    "top-right",
    "centre-left",
    "centre",
    "centre-right",
    "bottom-left",
    "bottom-centre",
    "bottom-right" };

// The largest side a JPEG can have.
constexpr std::int64_t kMaxSide = 65500;

using TApply = std::function<void(TJob &, const QString &, const QString &)>;
using TWrite = std::function<std::optional<QString>(const TJob &)>;

bool ParseFlag(const QString &label, const QString &value)
{
    if (value.isEmpty() || value == QLatin1String("true"))
        return true;
    if (value == QLatin1String("false"))
        return false;
    throw EUsageError(QStringLiteral("%1: \"%2\" is neither true nor false").arg(label, value));
}

QString FlagText(bool on)
{
    return on ? QStringLiteral("true") : QStringLiteral("false");
}

int ParseSize(const QString &label, const QString &value)
{
    for (std::size_t i = 0; i < kOverlaySizes.size(); ++i) {
        if (value.compare(kOverlaySizes[i].Name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    throw EUsageError(
        QStringLiteral("%1: \"%2\" is not one of small, medium, large, larger, largest").arg(label, value));
}

int ParsePosition(const QString &label, const QString &value)
{
    QString spelled = value.trimmed().toLower();
    spelled.replace(QStringLiteral("center"), QStringLiteral("centre"));
    for (std::size_t i = 0; i < kPositionNames.size(); ++i) {
        if (spelled == QLatin1String(kPositionNames[i]))
            return int(i);
    }
    throw EUsageError(QStringLiteral("%1: \"%2\" is not a position (top-left ... bottom-right)").arg(label, value));
}

TPixelSize ParseBox(const QString &label, const QString &value)
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
        QStringLiteral("%1: \"%2\" is not WIDTHxHEIGHT with sides from 1 to %3").arg(label, value).arg(kMaxSide));
}

// A "/" would put the file outside the destination folder.
QString NameText(const QString &label, const QString &text)
{
    if (text.contains(QLatin1Char('/')))
        throw EUsageError(QStringLiteral("%1: \"%2\" holds \"/\", which a file name cannot hold").arg(label, text));
    return text;
}

// One of a few exact spellings, each a value by its name; expected says which, in the error message.
template<typename TChoice>
struct TChoices {
    std::vector<std::pair<const char *, TChoice>> Spellings;
    const char *Expected;

    [[nodiscard]] TChoice Parse(const QString &label, const QString &value) const
    {
        for (const auto &[spelled, choice] : Spellings) {
            if (value == QLatin1String(spelled))
                return choice;
        }
        throw EUsageError(QStringLiteral("%1: \"%2\" %3").arg(label, value, QLatin1String(Expected)));
    }
    [[nodiscard]] QStringList Names() const
    {
        QStringList names;
        for (const auto &spelling : Spellings)
            names << QLatin1String(spelling.first);
        return names;
    }
    [[nodiscard]] QString Name(TChoice choice) const
    {
        for (const auto &[spelled, each] : Spellings) {
            if (each == choice)
                return QLatin1String(spelled);
        }
        return QLatin1String(Spellings.front().first);
    }
};

const TChoices<TResizeFilter> kFilters { { { "nearest", TResizeFilter::Nearest }, { "smooth", TResizeFilter::Smooth } },
    "is neither nearest nor smooth" };
const TChoices<TMetadataMode> kMetadataModes { { { "none", TMetadataMode::mmNone },
                                                   { "keep", TMetadataMode::mmKeep },
                                                   { "keep-no-gps", TMetadataMode::mmKeepNoGps } },
    "is not one of none, keep, keep-no-gps" };

const TChoices<TJpegCoding> kCodings { { { "baseline", TJpegCoding::Baseline },
                                           { "optimized", TJpegCoding::Optimized },
                                           { "progressive", TJpegCoding::Progressive } },
    "is not one of baseline, optimized, progressive" };
const TChoices<TExisting> kExistingChoices {
    { { "replace", TExisting::Replace }, { "skip", TExisting::Skip }, { "rename", TExisting::Rename } },
    "is not one of replace, skip, rename"
};

// A size in bytes, or with K or M, from 1K to 1024M.
std::int64_t ParseBytes(const QString &label, const QString &value)
{
    QString digits = value.trimmed();
    std::int64_t unit = 1;
    if (digits.endsWith(QLatin1Char('K'), Qt::CaseInsensitive))
        unit = 1024;
    else if (digits.endsWith(QLatin1Char('M'), Qt::CaseInsensitive))
        unit = 1024 * 1024;
    if (unit > 1)
        digits.chop(1);
    bool ok = false;
    const qlonglong number = digits.toLongLong(&ok);
    constexpr std::int64_t kLow = 1024;
    constexpr std::int64_t kHigh = std::int64_t(1) << 30;
    if (!ok || number < 1 || number > kHigh / unit || number * unit < kLow)
        throw EUsageError(
            QStringLiteral("%1: \"%2\" is not a size from 1K to 1024M (bytes, or with K or M)").arg(label, value));
    return number * unit;
}

void SetNameTemplate(TJob &job, const QString &label, const QString &value)
{
    if (const QString problem = TemplateProblem(value); !problem.isEmpty())
        throw EUsageError(QStringLiteral("%1: %2").arg(label, problem));
    // Only the tokens may vary: the text around them is part of every name.
    const QString fixed = FillTokens(value, TTokenValues {}, true);
    if (fixed.contains(QLatin1Char('/')) || value.trimmed().isEmpty())
        throw EUsageError(
            QStringLiteral("%1: \"%2\" %3")
                .arg(label,
                    value,
                    fixed.contains(QLatin1Char('/')) ? QStringLiteral("holds \"/\"") : QStringLiteral("is empty")));
    job.Rename = true;
    job.NameTemplate = value;
}

void AddVariant(TJob &job, const QString &label, const QString &value)
{
    TOutputVariant variant;
    try {
        variant = ParseOutputVariant(value);
    } catch (const Exception &error) {
        throw EUsageError(QStringLiteral("%1: %2").arg(label, error.Message()));
    }
    for (const TOutputVariant &other : job.Variants)
        if (other.Name == variant.Name)
            throw EUsageError(QStringLiteral("%1: \"%2\" is given twice").arg(label, variant.Name));
    job.Variants.push_back(std::move(variant));
}

std::optional<QString> VariantsText(const TJob &job)
{
    if (job.Variants.empty())
        return std::nullopt;
    QStringList lines;
    for (const TOutputVariant &variant : job.Variants)
        lines << OutputVariantText(variant);
    return lines.join(QLatin1Char('\n'));
}

TApply SetFlag(bool TJob::*member, bool whenOn = true)
{
    return [member, whenOn](TJob &job, const QString &label, const QString &value) {
        job.*member = ParseFlag(label, value) == whenOn;
    };
}

TWrite WriteFlag(bool TJob::*member, bool whenOn = true)
{
    return [member, whenOn](const TJob &job) {
        return FlagText(job.*member == whenOn);
    };
}

TApply SetStyle(TFontStyle style)
{
    return [style](TJob &job, const QString &label, const QString &value) {
        TFontStyles &styles = job.OverlaySettings.FontStyle;
        styles = ParseFlag(label, value) ? TFontStyles(styles | style) : TFontStyles(styles & ~style);
    };
}

TWrite WriteStyle(TFontStyle style)
{
    return [style](const TJob &job) {
        return FlagText((job.OverlaySettings.FontStyle & style) != 0);
    };
}

TApply NamePart(void (TOutputNamer::*set)(const QString &))
{
    return [set](TJob &job, const QString &label, const QString &value) {
        (job.Namer.*set)(NameText(label, value));
    };
}

// The size option that says the job's reduction, when it has one by mode.
TWrite WriteSize(TSizeMode mode, std::function<QString(const TJob &)> text)
{
    return [mode, text = std::move(text)](const TJob &job) -> std::optional<QString> {
        if (!job.Resize || job.ResizeOptions.Mode != mode)
            return std::nullopt;
        return text(job);
    };
}

void SetColour(TJob &job, const QString &label, const QString &value)
{
    const std::optional<TColor> color = ParseOverlayColor(value);
    if (!color)
        throw EUsageError(QStringLiteral("%1: \"%2\" is neither a colour name nor #RRGGBB").arg(label, value));
    job.OverlaySettings.FontColor = *color;
}

// A colour by its name where one has it, else as #RRGGBB.
QString ColourText(TColor color)
{
    for (const TOverlayColorEntry &entry : kOverlayColors) {
        if (entry.Color == color && entry.Name != QLatin1String("Default") && entry.Name != QLatin1String("Custom"))
            return QString(entry.Name).toLower();
    }
    return QStringLiteral("#%1%2%3")
        .arg(color & 0xFFu, 2, 16, QLatin1Char('0'))
        .arg((color >> 8) & 0xFFu, 2, 16, QLatin1Char('0'))
        .arg((color >> 16) & 0xFFu, 2, 16, QLatin1Char('0'))
        .toUpper();
}

QStringList PositionNames()
{
    QStringList names;
    for (const char *name : kPositionNames)
        names << QLatin1String(name);
    return names;
}

QStringList SizeNames()
{
    QStringList names;
    for (const TOverlaySizeEntry &entry : kOverlaySizes)
        names << QString(entry.Name).toLower();
    return names;
}

// The names ParseOverlayColor takes, as ColourText writes them.
QStringList ColourNames()
{
    QStringList names;
    for (const TOverlayColorEntry &entry : kOverlayColors) {
        if (entry.Name != QLatin1String("Custom"))
            names << QString(entry.Name).toLower();
    }
    return names;
}

std::vector<TJobOption> MakeJobOptionTable()
{
    using V = TOptionValue;
    // One option to a row: group, name, argument (nullptr: a flag), help (a '\n' continues it), the kind of
    // value, what it sets, and how the job's setting is written back.
    // clang-format off
    return {
        { "Reduce", "resize", "PERCENT", "reduce every photo by PERCENT (1 to 99)", V::Whole,
            [](TJob &job, const QString &label, const QString &value) {
                job.Resize = true;
                job.ResizeOptions.Mode = TSizeMode::Percent;
                job.ResizePercent = int(ParseWholeOption(label, value, 1, 99));
            },
            WriteSize(TSizeMode::Percent, [](const TJob &job) { return QString::number(job.ResizePercent); }) },
        { "Reduce", "long-edge", "N", "or: reduce every photo so that its longer side is N pixels", V::Whole,
            [](TJob &job, const QString &label, const QString &value) {
                job.Resize = true;
                job.ResizeOptions.Mode = TSizeMode::LongEdge;
                job.ResizeOptions.LongEdge = int(ParseWholeOption(label, value, 1, kMaxSide));
            },
            WriteSize(TSizeMode::LongEdge,
                [](const TJob &job) { return QString::number(job.ResizeOptions.LongEdge); }) },
        { "Reduce", "fit", "WxH", "or: reduce every photo to fit inside W x H pixels\n"
                                  "(aspect kept, never enlarged: a smaller photo is written at its own size)", V::Text,
            [](TJob &job, const QString &label, const QString &value) {
                job.Resize = true;
                job.ResizeOptions.Mode = TSizeMode::Fit;
                job.ResizeOptions.Box = ParseBox(label, value);
            },
            WriteSize(TSizeMode::Fit, [](const TJob &job) {
                return QStringLiteral("%1x%2").arg(job.ResizeOptions.Box.Width).arg(job.ResizeOptions.Box.Height);
            }) },
        { "Reduce", "filter", "FILTER", "nearest (default: exact, one source pixel each) or smooth (filtered)", V::Text,
            [](TJob &job, const QString &label, const QString &value) {
                job.ResizeOptions.Filter = kFilters.Parse(label, value);
            },
            [](const TJob &job) { return kFilters.Name(job.ResizeOptions.Filter); }, kFilters.Names() },
        { "Reduce", "quality", "Q", "JPEG quality of reduced photos (1 to 100, default 90)", V::Whole,
            [](TJob &job, const QString &label, const QString &value) {
                job.Quality = int(ParseWholeOption(label, value, 1, 100));
            },
            [](const TJob &job) { return QString::number(job.Quality); } },
        { "Rename", "rename", nullptr, "give every photo a new name: PREFIX NUMBER SUFFIX .jpg", V::Flag,
            SetFlag(&TJob::Rename), WriteFlag(&TJob::Rename) },
        { "Rename", "prefix", "TEXT", "text before the number", V::Text,
            NamePart(&TOutputNamer::SetPrefix), [](const TJob &job) { return job.Namer.Prefix(); } },
        { "Rename", "number", "N", "the first number (default 1)", V::Whole,
            [](TJob &job, const QString &label, const QString &value) {
                job.Namer.SetNumber(ParseWholeOption(label, value, std::numeric_limits<std::int64_t>::min() + 1,
                    std::numeric_limits<std::int64_t>::max()));
            },
            [](const TJob &job) { return QString::number(job.Namer.Number()); } },
        { "Rename", "padding", "K", "at least K+1 digits, zero-filled (0 to 4, default 0)", V::Whole,
            [](TJob &job, const QString &label, const QString &value) {
                job.Namer.SetPadding(int(ParseWholeOption(label, value, 0, 4)));
            },
            [](const TJob &job) { return QString::number(job.Namer.Padding()); } },
        { "Rename", "suffix", "TEXT", "text after the number", V::Text,
            NamePart(&TOutputNamer::SetSuffix), [](const TJob &job) { return job.Namer.Suffix(); } },
        { "Rename", "name-template", "TPL",
            "rename by TPL + .jpg instead: {name} the photo's name, {n} the number\n"
            "(with --number, --padding), {date} {time} the date taken (YYYY-MM-DD,\n"
            "HHMMSS; the file's time without one), {camera}, {w} {h} the written size", V::Text,
            SetNameTemplate,
            [](const TJob &job) -> std::optional<QString> {
                if (job.NameTemplate.isEmpty())
                    return std::nullopt;
                return job.NameTemplate;
            } },
        { "Overlay", "overlay", nullptr, "draw a text with a drop shadow onto every photo",
            V::Flag, SetFlag(&TJob::Overlay), WriteFlag(&TJob::Overlay) },
        { "Overlay", "overlay-quality", "Q", "JPEG quality of overlaid photos, which replaces --quality for them\n"
                                             "(1 to 100, default 90)", V::Whole,
            [](TJob &job, const QString &label, const QString &value) {
                job.OverlayQuality = int(ParseWholeOption(label, value, 1, 100));
            },
            [](const TJob &job) { return QString::number(job.OverlayQuality); } },
        { "Overlay", "text", "TEXT", "the text; \\n starts a new line (default \"Sample Overlay Text\")", V::Text,
            [](TJob &job, const QString &, const QString &value) {
                // A typed backslash-n starts a new line; lines are separated by CR LF as in the dialog.
                job.OverlaySettings.Text = QString(value).replace(QLatin1String("\\n"), QLatin1String("\r\n"));
            },
            [](const TJob &job) {
                return QString(job.OverlaySettings.Text).replace(QLatin1String("\r\n"), QLatin1String("\\n"));
            } },
        { "Overlay", "font", "FAMILY", "the font family (default Arial where installed)", V::Text,
            [](TJob &job, const QString &, const QString &value) { job.OverlaySettings.FontName = value; },
            [](const TJob &job) { return job.OverlaySettings.FontName; } },
        { "Overlay", "color", "COLOUR", "a colour name (black, maroon, green, olive, navy, purple, teal, gray,\n"
                                        "silver, red, lime, yellow, blue, fuchsia, aqua, white) or #RRGGBB", V::Text,
            SetColour, [](const TJob &job) { return ColourText(job.OverlaySettings.FontColor); }, ColourNames() },
        { "Overlay", "colour", "COLOUR", "the same as --color", V::Text,
            SetColour, [](const TJob &) { return std::optional<QString>(); }, ColourNames() },
        { "Overlay", "bold", nullptr, "a bold font", V::Flag, SetStyle(fsBold), WriteStyle(fsBold) },
        { "Overlay", "italic", nullptr, "an italic font", V::Flag, SetStyle(fsItalic), WriteStyle(fsItalic) },
        { "Overlay", "size", "SIZE", "small, medium, large, larger or largest (default medium)", V::Text,
            [](TJob &job, const QString &label, const QString &value) {
                job.OverlaySettings.SizeClass = ParseSize(label, value);
            },
            // No size chosen sizes like medium, and is what a job without this option has.
            [](const TJob &job) -> std::optional<QString> {
                const int size = job.OverlaySettings.SizeClass;
                if (size < 0 || size >= int(kOverlaySizes.size()))
                    return std::nullopt;
                return QString(kOverlaySizes[std::size_t(size)].Name).toLower();
            }, SizeNames() },
        { "Overlay", "position", "POS", "top-left, top-centre, top-right, centre-left, centre, centre-right,\n"
                                        "bottom-left, bottom-centre or bottom-right (default centre)", V::Text,
            [](TJob &job, const QString &label, const QString &value) {
                job.OverlaySettings.TextPosition = ParsePosition(label, value);
            },
            [](const TJob &job) -> std::optional<QString> {
                const int position = job.OverlaySettings.TextPosition;
                if (position < 0 || position >= int(kPositionNames.size()))
                    return std::nullopt;
                return QLatin1String(kPositionNames[std::size_t(position)]);
            }, PositionNames() },
        { "Overlay", "overlay-tokens", nullptr,
            "fill the tokens of --name-template in the text (off: braces are drawn)", V::Flag,
            SetFlag(&TJob::OverlayTokens), WriteFlag(&TJob::OverlayTokens) },
        { "Photos", "no-auto-orient", nullptr,
            "keep reduced and overlaid photos as stored; by default they are turned\n"
            "upright as the camera's orientation tag says", V::Flag,
            SetFlag(&TJob::AutoOrient, false), WriteFlag(&TJob::AutoOrient, false) },
        { "Photos", "metadata", "WHAT",
            "none (default), keep, or keep-no-gps: the camera data (EXIF, without its\n"
            "thumbnail), XMP and IPTC that reduced and overlaid photos keep; their\n"
            "colour profile is always kept; a plain copy keeps every byte", V::Text,
            [](TJob &job, const QString &label, const QString &value) {
                job.Metadata = kMetadataModes.Parse(label, value);
            },
            [](const TJob &job) { return kMetadataModes.Name(job.Metadata); }, kMetadataModes.Names() },
        { "Photos", "to-srgb", nullptr,
            "convert reduced and overlaid photos with a wider RGB profile (Adobe RGB,\n"
            "Display P3) to sRGB and write the sRGB profile, for services that drop\n"
            "profiles; CMYK and gray photos with a profile are always converted", V::Flag,
            SetFlag(&TJob::ToSrgb), WriteFlag(&TJob::ToSrgb) },
        { "Output", "coding", "HOW",
            "baseline (default), optimized (Huffman tables made for each photo) or\n"
            "progressive (progressive scans, optimized tables): smaller files with\n"
            "the same pixels; a plain copy keeps its bytes", V::Text,
            [](TJob &job, const QString &label, const QString &value) { job.Coding = kCodings.Parse(label, value); },
            [](const TJob &job) { return kCodings.Name(job.Coding); }, kCodings.Names() },
        { "Output", "max-size", "BYTES",
            "write each output at the highest quality, from 100 down to --min-quality,\n"
            "that keeps it within BYTES (or K, M); this quality replaces --quality\n"
            "and the overlay's 90; a copy larger than SIZE is encoded again; a photo\n"
            "that does not fit even at the minimum fails", V::Text,
            [](TJob &job, const QString &label, const QString &value) { job.MaxBytes = ParseBytes(label, value); },
            [](const TJob &job) -> std::optional<QString> {
                if (job.MaxBytes <= 0)
                    return std::nullopt;
                return QString::number(job.MaxBytes);
            } },
        { "Output", "min-quality", "Q", "the lowest quality --max-size may choose (1 to 100, default 40)", V::Whole,
            [](TJob &job, const QString &label, const QString &value) {
                job.MinQuality = int(ParseWholeOption(label, value, 1, 100));
            },
            [](const TJob &job) -> std::optional<QString> {
                if (job.MaxBytes <= 0)
                    return std::nullopt;
                return QString::number(job.MinQuality);
            } },
        { "Output", "variant", "NAME=SIZE",
            "also write every photo into DEST/NAME/ at SIZE (a long edge 1600 or a box\n"
            "800x600, smooth, never enlarged); NAME=SIZE@Q at quality Q (default\n"
            "--quality); the same name and overlay; repeatable; decoded once", V::List,
            AddVariant, VariantsText },
        { "Folders", "recursive", nullptr,
            "also the photos of SOURCE's subfolders (not hidden ones, not links), each\n"
            "written to the same subfolder of DEST, made as needed; numbered across", V::Flag,
            SetFlag(&TJob::Recursive), WriteFlag(&TJob::Recursive) },
        { "Folders", "existing", "ACTION",
            "replace (default), skip, or rename: what to do where an output exists;\n"
            "skip leaves it untouched (to resume a run), rename writes NAME-2.jpg ...", V::Text,
            [](TJob &job, const QString &label, const QString &value) {
                job.Existing = kExistingChoices.Parse(label, value);
            },
            [](const TJob &job) { return kExistingChoices.Name(job.Existing); }, kExistingChoices.Names() },
    };
    // clang-format on
}

} // namespace

std::int64_t ParseWholeOption(const QString &label, const QString &value, std::int64_t low, std::int64_t high)
{
    bool ok = false;
    const qlonglong number = value.trimmed().toLongLong(&ok);
    if (!ok || number < low || number > high)
        throw EUsageError(
            QStringLiteral("%1: \"%2\" is not a whole number from %3 to %4").arg(label, value).arg(low).arg(high));
    return number;
}

const std::vector<TJobOption> &JobOptionTable()
{
    static const std::vector<TJobOption> table = MakeJobOptionTable();
    return table;
}

const TJobOption *FindJobOption(const QString &name)
{
    for (const TJobOption &option : JobOptionTable()) {
        if (name == QLatin1String(option.Name))
            return &option;
    }
    return nullptr;
}

bool IsSizeOption(const QString &name)
{
    return name == QLatin1String("resize") || name == QLatin1String("long-edge") || name == QLatin1String("fit");
}

} // namespace vellumar
