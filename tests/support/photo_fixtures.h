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

/** One entry of a directory that MakeTiffExif writes; the helpers below make the usual kinds. */
struct TTiffEntry {
    std::uint16_t Tag = 0;
    /** TIFF field type: 2 ASCII, 3 SHORT, 4 LONG, 5 RATIONAL, 7 UNDEFINED. */
    std::uint16_t Type = 0;
    std::uint32_t Count = 0;
    /** The values' bytes, little-endian; placed after the directory when longer than four bytes. */
    std::string Value;
    /** When 0 or more: a LONG holding the offset of that directory (by index), and Value is ignored. */
    int Target = -1;
};

[[nodiscard]] TTiffEntry AsciiEntry(std::uint16_t tag, const std::string &text);
[[nodiscard]] TTiffEntry ShortEntry(std::uint16_t tag, std::uint16_t value);
[[nodiscard]] TTiffEntry RationalEntry(std::uint16_t tag, const std::vector<std::uint32_t> &numerators);
[[nodiscard]] TTiffEntry UndefinedEntry(std::uint16_t tag, const std::string &bytes);
[[nodiscard]] TTiffEntry PointerEntry(std::uint16_t tag, int directory);

struct TTiffDirectory {
    std::vector<TTiffEntry> Entries;
    /** The next directory's index (IFD0's next is IFD1); -1 for none. */
    int Next = -1;
};

/**
 * An EXIF APP1 payload with a little-endian TIFF whose directories lie in order (the first is IFD0), each
 * followed by its values: pointers may go anywhere, loops and shared directories included.
 */
[[nodiscard]] std::vector<std::uint8_t> MakeTiffExif(const std::vector<TTiffDirectory> &directories);

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
