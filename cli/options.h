#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "engine/job.h"
#include "engine/job_options.h"
#include "engine/pixel_size.h"
#include "engine/shard.h"
#include "imaging/errors.h"
#include "imaging/jpeg_metadata.h"
#include "overlay/overlay_settings.h"

namespace vellumar
{

/** What the command line asks for. */
struct TBatchOptions {
    QString Source;
    QString Destination;
    /**
     * The job the options describe (settings, naming rule, overlay); its folders and listing are the
     * caller's to fill in. --long-edge and --fit also switch Resize on.
     */
    TJob Job;
    /** --preset: the preset the settings were taken from. */
    QString Preset;
    /** --save-preset: where to save the settings as a preset. */
    QString SavePreset;
    QString ReportFile;
    QString ReportJson;
    QString ReportCsv;
    bool DryRun = false;
    bool NoProgress = false;
    std::optional<TShard> Shard;
    /** --merge-reports OUT: the positional arguments are then the reports to merge. */
    QString MergeOutput;
    QStringList MergeInputs;
    int Jobs = 0; // 0: the number of processors
    std::uint64_t MemoryBudget = 0; // bytes; 0: half of physical memory, at most 2 GiB
    bool Quiet = false;
    bool Help = false;
    bool Version = false;
};

/**
 * One option of vellumar-batch: how it is spelled, its --help line, and what it does to the options.
 * Parsing and --help both read one table of these, so neither can list an option the other lacks; the
 * job's settings come into it from the job options' table.
 */
struct TBatchOption {
    /** The heading --help lists it under. */
    const char *Group;
    const char *Name;
    /** The value's name in --help; nullptr for a flag, which takes no value. */
    const char *Argument;
    /** A '\n' starts a further line of the help. */
    const char *Help;
    /** Sets options from value (empty for a flag); name is the option as typed, for error messages. */
    std::function<void(TBatchOptions &options, const QString &name, const QString &value)> Apply;
    /** The few values it takes, for completions; empty when any may do (see TJobOption::Choices). */
    QStringList Choices = {};
};

/** Every option, in the order --help lists them. */
[[nodiscard]] const std::vector<TBatchOption> &BatchOptionTable();

/**
 * Parses the arguments (without the program name). defaults supplies the overlay defaults (the
 * dialog's). --preset reads its file here, over the defaults. Throws EUsageError naming the offending
 * option or value.
 */
[[nodiscard]] TBatchOptions ParseBatchOptions(const QStringList &arguments, const TOverlaySettings &defaults);

/** The --help text, one line per option of the table. */
[[nodiscard]] QString BatchUsage();

} // namespace vellumar
