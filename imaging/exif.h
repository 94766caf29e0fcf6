#pragma once

// The few EXIF rules the program needs: where the picture's upright is, and how to copy the camera data
// without the parts that would contradict or expose more than the user wants. Every read is bounds-checked
// against the segment; nothing is ever written outside it and a segment never grows.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "imaging/orientation.h"

namespace vellumar
{

/** An EXIF APP1 segment's payload begins with these six bytes, then a TIFF header. */
inline constexpr std::uint8_t kExifSignature[6] = { 'E', 'x', 'i', 'f', 0, 0 };

/** True when payload (an APP1 segment without its marker and length) starts with kExifSignature. */
[[nodiscard]] bool IsExifPayload(std::span<const std::uint8_t> payload);

/**
 * The Orientation tag of an EXIF APP1 payload: Normal when the payload is not EXIF, is malformed, has no such
 * tag or holds a value outside 1 to 8. Never throws.
 */
[[nodiscard]] TOrientation ExifOrientation(std::span<const std::uint8_t> payload);

/** The camera's words about a photo, as stored (ASCII, without the closing NUL); empty when absent. */
struct TExifFacts {
    /** DateTimeOriginal: "YYYY:MM:DD HH:MM:SS". */
    std::string DateTimeOriginal;
    /** Model: the camera's name. */
    std::string Model;
};

/** The Model of IFD0 and the DateTimeOriginal of the Exif directory; empty ones when malformed. Never throws. */
[[nodiscard]] TExifFacts ExifFacts(std::span<const std::uint8_t> payload);

/**
 * What RewriteExif changes beyond what it always does: the thumbnail (IFD1, its picture, and thumbnail or
 * Photoshop-resource entries in any directory) always goes, as it would show the old picture, and an
 * Orientation no reader can use (0, above 8, not one SHORT) always says 1.
 */
struct TExifEdit {
    /** Set the Orientation tag to 1 (the pixels have been turned upright). */
    bool ResetOrientation = false;
    /**
     * Drop every GPS pointer (and the XMP packet a TIFF directory may hold) from every directory kept, and
     * clear the GPS directories with their values where nothing kept shares their bytes.
     */
    bool RemoveGps = false;
};

/**
 * A copy of an EXIF APP1 payload with edit applied, in the source's byte order: never longer than payload.
 * Only the directories a reader keeps (IFD0 and those its Exif and interoperability pointers reach) are
 * edited, in place, so that maker notes and every other offset keep working; dropped bytes are zeroed where
 * nothing kept reaches them, and cut off when they end the segment. Throws EInvalidGraphic "Malformed EXIF
 * data (<reason>)" when payload is not EXIF, its TIFF header or IFD0 does not fit inside it, or an edit would
 * change bytes that another kept part shares; a directory pointing outside the payload is simply not followed.
 */
[[nodiscard]] std::vector<std::uint8_t> RewriteExif(std::span<const std::uint8_t> payload, const TExifEdit &edit);

} // namespace vellumar
