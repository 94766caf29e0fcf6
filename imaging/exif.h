#pragma once

// The few EXIF rules the program needs: where the picture's upright is, and how to copy the camera data
// without the parts that would contradict or expose more than the user wants. Every read is bounds-checked
// against the segment; nothing is ever written outside it and a segment never grows.

#include <cstdint>
#include <span>
#include <vector>

namespace vellumar
{

/** An EXIF APP1 segment's payload begins with these six bytes, then a TIFF header. */
inline constexpr std::uint8_t kExifSignature[6] = { 'E', 'x', 'i', 'f', 0, 0 };

/** True when payload (an APP1 segment without its marker and length) starts with kExifSignature. */
[[nodiscard]] bool IsExifPayload(std::span<const std::uint8_t> payload);

/**
 * The Orientation tag (1 to 8) of an EXIF APP1 payload: 1 when the payload is not EXIF, is malformed,
 * has no such tag or holds a value outside 1 to 8. Never throws.
 */
[[nodiscard]] int ExifOrientation(std::span<const std::uint8_t> payload);

/** What RewriteExif changes. The thumbnail (IFD1 and its data) always goes: it would show the old picture. */
struct TExifEdit {
    /** Set the Orientation tag to 1 (the pixels have been turned upright). */
    bool ResetOrientation = false;
    /** Drop the GPS IFD pointer from IFD0 and blank the GPS IFD with its values. */
    bool RemoveGps = false;
};

/**
 * A copy of an EXIF APP1 payload with edit applied, in the source's byte order: never longer than payload
 * (dropped parts are zeroed, and cut off when they end the segment). Throws EInvalidGraphic "Malformed EXIF
 * data (<reason>)" when payload is not EXIF or its TIFF header or IFD0 does not fit inside it; a GPS IFD or
 * IFD1 pointing outside the payload is simply dropped.
 */
[[nodiscard]] std::vector<std::uint8_t> RewriteExif(std::span<const std::uint8_t> payload, const TExifEdit &edit);

} // namespace vellumar
