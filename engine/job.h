#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include <QString>
#include <QStringList>

#include "engine/job_settings.h"
#include "engine/output_variant.h"
#include "engine/pixel_size.h"
#include "imaging/jpeg_bridge.h"
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
    /** The quality an overlaid photo is written at (the overlay is encoded last). */
    int OverlayQuality = kOverlayQuality;
    /** Re-encoded photos are turned upright by their EXIF orientation. */
    bool AutoOrient = true;
    /** Which of a photo's metadata a re-encoded photo keeps (its colour profile always). */
    TMetadataMode Metadata = TMetadataMode::mmNone;
    /** The entropy coding of re-encoded photos; a plain copy keeps its bytes. */
    TJpegCoding Coding = TJpegCoding::Baseline;
    /** Most bytes of a re-encoded output (the quality then comes down as far as MinQuality); 0: no cap. */
    std::int64_t MaxBytes = 0;
    int MinQuality = 40;
    /**
     * A renamed photo's name from tokens ({name}, {n}, {date}, {time}, {camera}, {w}, {h}) instead of the
     * naming rule's prefix and suffix ({n} takes its number and padding); empty: the rule.
     */
    QString NameTemplate;
    /** The overlay's text fills the same tokens; off, braces are drawn as typed. */
    bool OverlayTokens = false;
    std::vector<TOutputVariant> Variants;
    /** Photos with an RGB profile other than sRGB are converted to sRGB and carry the sRGB profile. */
    bool ToSrgb = false;
};

} // namespace vellumar
