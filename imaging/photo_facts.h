#pragma once

// What a photo's header and markers say, read once per photo from the start of its file, before any pixel is
// decoded: what planning, the memory estimate and the plan view need to know of it.

#include <cstdint>

#include <QString>

#include "imaging/exif.h"
#include "imaging/file_io.h"
#include "imaging/jpeg_bridge.h"
#include "imaging/jpeg_metadata.h"
#include "imaging/orientation.h"

namespace vellumar
{

/** One photo's facts. A default value knows nothing of the photo (Read false, no Problem). */
struct TPhotoFacts {
    /** The header was read; Header, Orientation and Present hold. */
    bool Read = false;
    /** Why the file or its header could not be read (the error a decode of it would give); empty otherwise. */
    QString Problem;
    /** The file's size; -1 when it could not be opened as a regular file. */
    std::int64_t FileBytes = -1;
    /** Sizes as stored, components, coding, libjpeg's coefficient memory and header warnings. */
    TJpegHeaderFacts Header;
    /** The EXIF orientation as stored (Normal when there is none or it is out of range). */
    TOrientation Orientation = TOrientation::Normal;
    TMetadataPresent Present;
    /** EXIF DateTimeOriginal and Model, when present. */
    TExifFacts Exif;
    /** The file's modification time in seconds since 1970; 0 when not known. */
    std::int64_t ModifiedSeconds = 0;

    /** True when turning the photo upright swaps its sides. */
    [[nodiscard]] bool SwapsSides() const;
};

/**
 * The facts of the photo at file, from its first kPhotoHeadBytes (the whole file when its header lies further
 * on). Opens only a regular file, without blocking on anything else. Throws nothing: a failure is told in
 * Problem, with the texts of reading the file and its header (an empty file has no header).
 */
[[nodiscard]] TPhotoFacts ReadPhotoFacts(const TFileRef &file);

/** Enough for the markers before the frame header of any photo, most of which are a few kilobytes. */
inline constexpr std::size_t kPhotoHeadBytes = std::size_t(4) << 20;

} // namespace vellumar
