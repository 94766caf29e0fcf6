#pragma once

#include <array>
#include <optional>

#include <QString>
#include <QStringList>

#include "engine/job_settings.h"
#include "engine/pixel_size.h"
#include "imaging/jpeg_metadata.h"
#include "overlay/overlay_settings.h"

namespace vellumar
{

/** What a run does where a photo's output already exists in the destination. */
enum class TExisting {
    Replace, ///< write over it (atomically, keeping its permissions)
    Skip, ///< leave it untouched and count the photo as skipped: how an interrupted run is resumed
    Rename, ///< write beside it under the first free NAME-2.jpg, NAME-3.jpg, ...
};

/** The names a choice is stored and given by, in TExisting's order: never by its number. */
inline constexpr std::array<const char *, 3> kExistingNames { "replace", "skip", "rename" };

[[nodiscard]] inline QString ExistingName(TExisting existing)
{
    return QString::fromLatin1(kExistingNames.at(std::size_t(existing)));
}

/** The choice named name; none for an unknown name. */
[[nodiscard]] inline std::optional<TExisting> ExistingFromName(QStringView name)
{
    for (std::size_t i = 0; i < kExistingNames.size(); ++i)
        if (name == QLatin1String(kExistingNames[i]))
            return TExisting(i);
    return std::nullopt;
}

/**
 * Everything a run, a plan, a dry run, a preview and a report read of a job, as one plain value. The window
 * makes one from its controls, the command line from its options, a test by hand.
 */
struct TJob {
    QString SourceFolder;
    /**
     * The listing, in its order; a run takes it once, at Start. In a listing of subfolders the names are
     * paths relative to SourceFolder ("2024/june/x.jpg"), and outputs go to the same relative folders.
     */
    QStringList SourceNames;
    /** The listing walks the subfolders (TSourceList::SetRecursive); SourceNames already holds the result. */
    bool Recursive = false;
    TExisting Existing = TExisting::Replace;
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
    /** Re-encoded photos are turned upright by their EXIF orientation. */
    bool AutoOrient = true;
    /** Which of a photo's metadata a re-encoded photo keeps (its colour profile always). */
    TMetadataMode Metadata = TMetadataMode::mmNone;
};

} // namespace vellumar
