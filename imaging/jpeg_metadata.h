#pragma once

// Which of a source photo's metadata reaches a re-encoded file. A colour profile always does, one that fits the
// written RGB pixels: without it they would be read as sRGB. Camera data, XMP and IPTC go along only when the
// user asks for them.

#include <QString>

#include "imaging/jpeg_bridge.h"
#include "imaging/orientation.h"

namespace vellumar
{

enum class TMetadataMode {
    /** Only the colour profile. */
    mmNone,
    /** The profile, EXIF (without its thumbnail), XMP and IPTC (the IPTC-IIM resource of APP13 only). */
    mmKeep,
    /**
     * As mmKeep, without the GPS directories of EXIF, without an XMP packet that names a place (an element or
     * attribute name holding gps, latitude, longitude or location) and without extended XMP.
     */
    mmKeepNoGps,
};

/** Which kinds of metadata a photo's markers hold. */
struct TMetadataPresent {
    bool Icc = false;
    bool Exif = false;
    /** A main XMP packet. */
    bool Xmp = false;
    /** An APP13 Photoshop block (where IPTC-IIM lives). */
    bool Iptc = false;
};

[[nodiscard]] TMetadataPresent MetadataPresent(const TJpegMarkers &markers);

/** The EXIF Orientation of the first EXIF segment of markers; Normal when there is none. */
[[nodiscard]] TOrientation MarkersOrientation(const TJpegMarkers &markers);

/**
 * The markers to write with a picture re-encoded from a source with source's markers. The profile is the one
 * ColourRoute chooses for source's components and profile with toSrgb: the source's, sRGB's or none. turnedUpright
 * tells that the pixels were turned by the source's orientation: the Orientation tags (EXIF and XMP) then say 1.
 * Segments never grow beyond kMaxSegmentPayload. The rules are allow-lists: what is not known to be safe for
 * the mode is left out. A malformed EXIF segment is left out and warning gets a text for the log
 * ("EXIF data dropped: ..."); otherwise warning is left empty. Throws nothing.
 */
[[nodiscard]] TJpegMarkers OutputMarkers(const TJpegMarkers &source,
    TMetadataMode mode,
    bool turnedUpright,
    QString &warning,
    bool toSrgb = false);

} // namespace vellumar
