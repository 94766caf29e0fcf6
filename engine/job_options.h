#pragma once

#include <functional>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "engine/job.h"
#include "imaging/errors.h"

namespace vellumar
{

/** A usage error: an unknown option or setting, a missing or out-of-range value. The message is one line. */
class EUsageError : public Exception
{
    using Exception::Exception;
};

/**
 * How an option's value is spelled: none (a flag, on or off), a whole number, text, or a list of texts (an option
 * given once for each, which a preset stores as an array).
 */
enum class TOptionValue { Flag, Whole, Text, List };

/**
 * One setting of a job, as the command line spells it and a preset stores it: its name (without "--"),
 * its --help line, how a value text sets it, and how a job's setting is written back as that text.
 * Everything that reads or writes a job's settings by name goes through the one table of these.
 */
struct TJobOption {
    /** The heading --help lists it under. */
    const char *Group;
    /** As typed after "--", and a preset's key. */
    const char *Name;
    /** The value's name in --help; nullptr for a flag. */
    const char *Argument;
    /** A '\n' starts a further line of the help. */
    const char *Help;
    TOptionValue Value;
    /**
     * Sets the job's setting from value: a flag takes "" or "true" (on) and "false" (off). label names
     * the option in error messages ("--quality", or a preset's key). Throws EUsageError.
     */
    std::function<void(TJob &job, const QString &label, const QString &value)> Apply;
    /**
     * The job's setting as the value text that Apply reads back to it ("true"/"false" for a flag; a list's
     * items one to a line, each applied in turn); nullopt when this option is not how the job says it
     * (another size option, a second spelling, a setting that is off).
     */
    std::function<std::optional<QString>(const TJob &job)> Write;
    /**
     * The values Apply accepts, spelled as a user types them, when it accepts only a few (a colour also
     * takes #RRGGBB); empty when any text or number of the option's kind may do. Completions offer them.
     */
    QStringList Choices = {};
};

/** Every job option, in the order --help lists them. */
[[nodiscard]] const std::vector<TJobOption> &JobOptionTable();

/** The option named name (without "--"); nullptr for none. */
[[nodiscard]] const TJobOption *FindJobOption(const QString &name);

/** The options that choose a reduction's size; a job is given one at the most. */
[[nodiscard]] bool IsSizeOption(const QString &name);

/** value as a whole number from low to high; EUsageError naming label otherwise. */
[[nodiscard]] std::int64_t
ParseWholeOption(const QString &label, const QString &value, std::int64_t low, std::int64_t high);

} // namespace vellumar
