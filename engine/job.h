#pragma once

#include <QString>
#include <QStringList>

#include "engine/job_settings.h"
#include "engine/pixel_size.h"
#include "imaging/jpeg_metadata.h"
#include "overlay/overlay_settings.h"

namespace vellumar
{

/**
 * Everything a run, a plan, a dry run, a preview and a report read of a job, as one plain value. The window
 * makes one from its controls, the command line from its options, a test by hand.
 */
struct TJob {
    QString SourceFolder;
    /** The listing, in its order; a run takes it once, at Start. */
    QStringList SourceNames;
    /** Used as given; a "/" is put between it and a name when it does not end in one. */
    QString DestinationFolder;
    bool Resize = false;
    int ResizePercent = 50;
    /** Filter and size mode of a reduction; the defaults are the exact reduction by percent. */
    TResizeOptions ResizeOptions;
    int Quality = 90;
    bool Rename = false;
    /** The naming rule; its number is the one the first listed photo gets. */
    TOutputNamer Namer;
    /**
     * The name the first listed photo gets when renamed, as the window shows it (its fields' texts as they
     * were at the last refresh of the sample); empty: the naming rule's name.
     */
    QString ShownSample;
    bool Overlay = false;
    TOverlaySettings OverlaySettings;
    /** The quality an overlaid photo is written at (the overlay is encoded last). */
    int OverlayQuality = kOverlayQuality;
    /** Re-encoded photos are turned upright by their EXIF orientation. */
    bool AutoOrient = true;
    /** Which of a photo's metadata a re-encoded photo keeps (its colour profile always). */
    TMetadataMode Metadata = TMetadataMode::mmNone;
};

} // namespace vellumar
