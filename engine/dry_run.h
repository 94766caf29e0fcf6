#pragma once

#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "engine/batch_run.h"
#include "engine/pixel_size.h"
#include "engine/run_plan.h"
#include "engine/shard.h"

namespace vellumar
{

/** What writing a photo's output would replace. */
enum class TReplaces { Nothing, ExistingFile, OwnSource };

/** One listed photo as a run with the current settings would treat it. Nothing is written to find out. */
struct TPlanRow {
    int Position = 0;
    QString SourceName;
    /** Empty when nothing would be written (no operation chosen). */
    QString OutputName;
    /** Empty when the photo's header cannot be read (the run would log an error for it). */
    std::optional<TPixelSize> SourceSize;
    /** The written picture's size; the source's for a copy or the overlay alone. */
    std::optional<TPixelSize> PlannedSize;
    TReplaces Replaces = TReplaces::Nothing;
    /** The output exists and the job skips existing outputs: nothing would be read or written. */
    bool Skipped = false;
    /** Why the photo would fail (an unreadable header), empty otherwise. */
    QString Problem;
    /** The variants it would write beside the output: their paths and sizes. */
    std::vector<TVariantTask> Variants;
};

/** The plan of a whole run: a row per listed photo and the clashes that would refuse it. */
struct TDryRun {
    QString DestinationFolder;
    std::vector<TPlanRow> Rows;
    /** One text per clash; a run with any is refused before the first write. */
    QStringList Clashes;
};

struct TJob;

/**
 * What Start would do with job's settings as they stand, for the photos of shard: output names (with the
 * whole run's numbers), sizes read from each photo's header, what each write would replace, and the
 * clashes of the whole run, those of the other files it would write (its reports) last. Writes nothing.
 */
[[nodiscard]] TDryRun PlanDryRun(const TJob &job, TShard shard = {}, const std::vector<TOtherOutput> &others = {});

/** What the plan says of a photo whose output exists and is skipped. */
[[nodiscard]] QString SkippedText();

/** "an existing file", "its own source", or empty. */
[[nodiscard]] QString ReplacesText(TReplaces replaces);

} // namespace vellumar
