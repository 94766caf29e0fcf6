#pragma once

// The one planner: what a job does with one listed photo. The run, the clash check, the dry run and the plan
// view, the preview, the memory estimate and the report all take a photo's work from here.

#include <functional>

#include "engine/batch_run.h"
#include "engine/job.h"
#include "imaging/photo_facts.h"

namespace vellumar
{

/**
 * Whether an output's place is taken: a file is there, or another output of the run is planned there. The
 * planner asks it only for a job whose Existing is not Replace.
 */
using TTakenPlace = std::function<bool(const QString &destinationPath)>;

/**
 * The task of the photo at listing position (0-based in the whole listing) of job: its switches and settings;
 * its output name, renamed with the running number job.Namer's number plus the renamed positions before it;
 * its source and output paths; from facts (when read) the upright source size, the written size and whether
 * it is turned upright; and the refusal of a name holding "/" or of a missing destination folder. A listed
 * name in a subfolder ("a/b/x.jpg") keeps its folder: the output goes to the same folder under the
 * destination, renamed there. Where taken says the output's place is taken, job.Existing decides: Skip
 * marks the task skipped, Rename moves it to the first free NAME-2.jpg, NAME-3.jpg, ... (refused after
 * NAME-9999.jpg). Reads nothing from disk itself; the run's own fields (folders, written files, new
 * outputs) are left empty.
 */
[[nodiscard]] TImageTask
PlanImageTask(const TJob &job, int position, const TPhotoFacts &facts = {}, const TTakenPlace &taken = {});

/** Reads a photo's facts from its source path (ReadPhotoFacts, or a stand-in). */
using TFactsReader = std::function<TPhotoFacts(const QString &sourcePath)>;

/**
 * PlanImageTask with the facts that read gives for the task's source, asked only when the task decodes it
 * and is not skipped.
 */
[[nodiscard]] TImageTask
PlanImageTask(const TJob &job, int position, const TFactsReader &read, const TTakenPlace &taken = {});

/** The folder part of a listed or output name, "a/b/" for "a/b/x.jpg"; empty for a name in the folder itself. */
[[nodiscard]] QString FolderPart(const QString &name);

/** A listed or output name without its folder part. */
[[nodiscard]] QString LeafName(const QString &name);

/** The job's output names depend on what the photos' files say (a name template with their date, camera or size). */
[[nodiscard]] bool NamesReadPhotos(const TJob &job);

} // namespace vellumar
