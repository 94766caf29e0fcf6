#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellumar::test
{

/** Marks found in the EXIF that MakeExif builds, to tell which of its parts survived a rewrite. */
inline const std::string kExifCameraMark = "VellumarCam";
inline const std::string kExifGpsMark = "GPSGPSGPSGPSGPSGPSGPSGPS";
inline const std::string kExifThumbnailMark = "THUMBNAIL";

struct TExifOptions {
    bool BigEndian = false;
    /** 0 writes no Orientation tag. */
    int Orientation = 1;
    bool Gps = true;
    bool Thumbnail = true;
};

/**
 * An EXIF APP1 payload ("Exif\0\0" + TIFF) written by hand: IFD0 with Make (kExifCameraMark), Orientation and
 * the GPS pointer; a GPS IFD whose latitude holds kExifGpsMark; IFD1 locating a thumbnail that holds
 * kExifThumbnailMark at the end of the segment.
 */
[[nodiscard]] std::vector<std::uint8_t> MakeExif(const TExifOptions &options);

/** An ICC_PROFILE APP2 chunk payload: the signature, number (from 1), count and the chunk's bytes. */
[[nodiscard]] std::vector<std::uint8_t>
IccChunk(int number, int count, const std::vector<std::uint8_t>::const_iterator first, std::size_t length);

struct TSegment {
    int Marker = 0;
    std::vector<std::uint8_t> Payload;
};

/** jpeg with segments inserted right after its start-of-image marker, in order. */
[[nodiscard]] std::vector<std::uint8_t> WithSegments(const std::vector<std::uint8_t> &jpeg,
    const std::vector<TSegment> &segments);

/** The payloads of jpeg's segments with marker, in order (up to its first scan). */
[[nodiscard]] std::vector<std::vector<std::uint8_t>> SegmentsOf(const std::vector<std::uint8_t> &jpeg, int marker);

/** True when bytes contain text. */
[[nodiscard]] bool ContainsText(const std::vector<std::uint8_t> &bytes, const std::string &text);

} // namespace vellumar::test
