#include "cli/options.h"

#include <algorithm>
#include <cstring>
#include <deque>

#include "engine/name_template.h"
#include "engine/preset.h"

namespace vellumar
{

namespace
{

using TApply = std::function<void(TBatchOptions &, const QString &, const QString &)>;

TApply Flag(bool TBatchOptions::*member)
{
    return [member](TBatchOptions &options, const QString &, const QString &) {
        options.*member = true;
    };
}

TApply Whole(int TBatchOptions::*member, std::int64_t low, std::int64_t high)
{
    return [member, low, high](TBatchOptions &options, const QString &name, const QString &value) {
        options.*member = int(ParseWholeOption(name, value, low, high));
    };
}

TApply Text(QString TBatchOptions::*member)
{
    return [member](TBatchOptions &options, const QString &, const QString &value) {
        options.*member = value;
    };
}

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

// The job options as the command line spells them: "--" before each name, applied to the options' job.
void AddJobOptions(std::vector<TBatchOption> &table)
{
    // The spellings live as long as the table, which lives until the program ends.
    static std::deque<QByteArray> spellings;
    for (const TJobOption &option : JobOptionTable()) {
        spellings.push_back(QByteArray("--") + option.Name);
        table.push_back({ option.Group,
            spellings.back().constData(),
            option.Argument,
            option.Help,
            [&option](TBatchOptions &options, const QString &name, const QString &value) {
                option.Apply(options.Job, name, value);
            },
            option.Choices });
    }
}

std::vector<TBatchOption> MakeBatchOptionTable()
{
    std::vector<TBatchOption> table;
    AddJobOptions(table);
    // The command line's own options, one to a row: group, name, argument (nullptr: a flag), help (a '\n'
    // continues it), what it sets.
    // clang-format off
    const std::vector<TBatchOption> own {
        { "Presets", "--preset", "FILE",
            "take every setting above from the preset FILE; options after it change\n"
            "them, and a setting given before it is refused as it would be lost",
            [](TBatchOptions &options, const QString &, const QString &value) { options.Preset = value; } },
        { "Presets", "--save-preset", "FILE",
            "save the settings above, as given, as the preset FILE; without SOURCE\n"
            "and DEST nothing else is done",
            Text(&TBatchOptions::SavePreset) },
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
                options.MemoryBudget = std::uint64_t(ParseWholeOption(name, value, 64, std::int64_t(1) << 20)) << 20;
            } },
        { "Run", "--quiet", nullptr, "print no status log", Flag(&TBatchOptions::Quiet) },
        { "Run", "--help", nullptr, "show this help", Flag(&TBatchOptions::Help) },
        { "Run", "--version", nullptr, "show the version", Flag(&TBatchOptions::Version) },
    };
    // clang-format on
    table.insert(table.end(), own.begin(), own.end());
    return table;
}

// The preset's settings over the defaults; a preset that cannot be read is a usage error like a bad value.
TJob LoadPreset(const QString &path, const TJob &defaults)
{
    try {
        return LoadPresetFile(path, defaults);
    } catch (const EUsageError &) {
        throw;
    } catch (const Exception &error) {
        throw EUsageError(QStringLiteral("--preset: ") + error.Message());
    }
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
    const TJob defaultJob = options.Job;
    QStringList jobOptionsGiven;
    QStringList positional;
    QStringList sizeOptions;
    bool filterGiven = false;
    bool minQualityGiven = false;
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
        if (name == QLatin1String("--preset")) {
            // The preset holds every setting: one given before it would silently be lost.
            if (!jobOptionsGiven.isEmpty())
                throw EUsageError(
                    QStringLiteral("%1 before --preset would be replaced by the preset: give it after --preset")
                        .arg(jobOptionsGiven.constFirst()));
            if (!options.Preset.isEmpty())
                throw EUsageError(QStringLiteral("--preset is given twice"));
            options.Job = LoadPreset(value, defaultJob);
        }
        option->Apply(options, name, value);
        if (FindJobOption(name.mid(2)) != nullptr)
            jobOptionsGiven << name;
        if (IsSizeOption(name.mid(2)))
            sizeOptions << name;
        filterGiven = filterGiven || name == QLatin1String("--filter");
        minQualityGiven = minQualityGiven || name == QLatin1String("--min-quality");
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
    if (options.Job.OverlayTokens) {
        if (const QString problem = TemplateProblem(options.Job.OverlaySettings.Text); !problem.isEmpty())
            throw EUsageError(QStringLiteral("--overlay-tokens: the text has %1").arg(problem));
    }
    if (options.Job.MaxBytes == 0 && minQualityGiven)
        throw EUsageError(QStringLiteral("--min-quality applies to a size cap: give --max-size"));
    // Saving a preset alone needs no folders.
    if (positional.isEmpty() && !options.SavePreset.isEmpty())
        return options;
    // A preset saved with its folders gives them when none are typed.
    if (positional.isEmpty() && !options.Job.SourceFolder.isEmpty() && !options.Job.DestinationFolder.isEmpty())
        positional = { options.Job.SourceFolder, options.Job.DestinationFolder };
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
