#pragma once

#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

#include "engine/pixel_size.h"
#include "imaging/bitmap.h"
#include "imaging/file_io.h"
#include "imaging/jpeg_bridge.h"
#include "imaging/jpeg_metadata.h"
#include "overlay/overlay_settings.h"

namespace vellumar
{

/** What a re-encoded photo takes from its source beside the pixels, and whether it is turned upright. */
struct TPhotoOptions {
    /** Turn the pixels by the source's EXIF orientation, so that the photo looks as the source did. */
    bool AutoOrient = true;
    /** Metadata kept beside the colour profile, which is always kept. */
    TMetadataMode Metadata = TMetadataMode::mmNone;
    /** The entropy coding of the encoded output. */
    TJpegCoding Coding = TJpegCoding::Baseline;
    /** Most bytes of the output; 0: none, the quality given holds. */
    std::int64_t MaxBytes = 0;
    int MinQuality = 40;
    /** Keep the upright reduced picture, before the overlay, in the output (Picture), for its variants. */
    bool KeepPicture = false;
    /** Colours of an RGB profile other than sRGB are converted to sRGB, and the sRGB profile written. */
    bool ToSrgb = false;
    /** The quality of the written file when the overlay is drawn (it is encoded last). */
    int OverlayQuality = kOverlayQuality;
};

/** The size that a reduction reports for the status line: its target rectangle's extent. */
struct TReportedSize {
    int Height = 0;
    int Width = 0;
};

/** A photo's output made in memory: exactly the bytes a run writes, and what it tells about them. */
struct TImageOutput {
    std::vector<std::uint8_t> Bytes;
    /** A reduction's reported size (see ResizeJpegFile); zero otherwise. */
    TReportedSize Reported;
    TPixelSize SourceSize;
    TPixelSize OutputSize;
    /** libjpeg's warnings about the source (damaged data decoded around). */
    QStringList Warnings;
    /** The quality the output was encoded at. */
    int Quality = 0;
    /** When asked for: the upright reduced picture before the overlay, and the markers written. */
    TBitmap Picture;
    TJpegMarkers Markers;
};

/**
 * The output of reducing the JPEG at source (by scale or as options say) at quality, with overlay drawn
 * on it when given: what ResizeJpegFile writes. Throws as ResizeJpegFile does. photo turns the picture
 * upright (sizes are then those of the upright picture) and chooses the metadata; a malformed EXIF left
 * out is told among the warnings.
 */
[[nodiscard]] TImageOutput ReduceJpeg(const TFileRef &source,
    int quality,
    double scale,
    const TOverlaySettings *overlay,
    const TResizeOptions &options = {},
    const TPhotoOptions &photo = {});

/**
 * A variant of the photo at source, whose upright size is upright: its picture reduced smoothly to
 * ReducedSize(upright, size) and encoded at quality with overlay (when given) drawn on it. The pixels come from
 * picture when it is at least that large (no decoding then), else from source, decoded once at a reduced DCT
 * scale; picture, markers and upright are then replaced by what that decode gives, so that smaller variants
 * after it need no decoding either.
 */
[[nodiscard]] TImageOutput VariantJpeg(const TFileRef &source,
    TBitmap &picture,
    TJpegMarkers &markers,
    TPixelSize &upright,
    const TResizeOptions &size,
    int quality,
    const TOverlaySettings *overlay,
    const TPhotoOptions &photo);

/** Writes an output of source (atomically) with the permission bits the rule below gives. */
void WriteOutputFile(const TFileRef &source, const TFileRef &destination, const std::vector<std::uint8_t> &bytes);

/**
 * A capped copy of the JPEG at source: the bytes as they are when they take at most photo.MaxBytes, else the
 * picture (upright, with the metadata photo keeps) encoded under the cap (quality in the output, 0 for the bytes
 * as they are). Throws as ReduceJpeg.
 */
[[nodiscard]] TImageOutput CappedCopy(const TFileRef &source, const TPhotoOptions &photo);

/**
 * The output of drawing overlay onto the JPEG at source: what AddOverlayToFile writes to destination
 * (named in the messages only). Throws as AddOverlayToFile does.
 */
[[nodiscard]] TImageOutput OverlayJpeg(const TFileRef &source,
    const QString &destination,
    const TOverlaySettings &overlay,
    const TPhotoOptions &photo = {});

/**
 * The bytes a plain copy of source writes: the whole file. Only a JPEG is copied, so that a link put in
 * a photo's place never publishes another file: throws Exception "<path> is empty (0 bytes); it is not
 * copied" or "<path> is not a JPEG file" (it does not begin with the SOI marker FF D8 FF), and the
 * errors of ReadWholeFile.
 */
[[nodiscard]] std::vector<std::uint8_t> CopiedBytes(const TFileRef &source);

/**
 * Copies source to destination byte for byte (atomically), as CopiedBytes says. False, and nothing
 * written, when the source cannot be read or is not a JPEG, or the destination cannot be written; reason
 * (when given) then receives why, as one line. Raises nothing.
 *
 * Every output written by this file's functions is a new file with the permission bits of its source
 * (less the umask), or replaces a file and keeps that file's bits, owner and group (WriteFileAtomic).
 */
[[nodiscard]] bool CopyImageFile(const TFileRef &source, const TFileRef &destination, QString *reason = nullptr);

/**
 * Reduces the JPEG at source by scale (0 < scale < 1; each side becomes the whole part of its exact
 * product with scale) and writes it to destination at quality. With addOverlay the reduced photo is
 * encoded at quality, decoded again and overlaid in memory, and only the result (at photo.OverlayQuality) is
 * written: the bytes of writing the reduction and overlaying that file, without a file that lacks its
 * text on any failure. Returns whether a file exists at destination at the end, and
 * sets reported (the target rectangle, one more than the written size where the overhang occurs).
 * False without touching anything when there is no file at source or scale is out of range.
 * Throws the codec's and the file layer's errors, an Exception when a side would become 0 pixels
 * (nothing is written then), and EOverlayException from the overlay. The codec's warnings about the
 * source (damaged data it decoded around), and a malformed EXIF left out, are added to warnings when given.
 * photo turns the picture upright (the reported size is then the upright one) and chooses the metadata.
 *
 * With options other than the default (which is exactly the reduction above), the written size
 * is ReducedSize of the picture (scale counts only by percent, and must then be in range), the pixels are
 * taken with options.Filter, and reported is the written size. A picture already small enough for a long
 * edge or a fit is written again at its own size and quality (not copied). made, when given, receives the
 * written output's sizes (its bytes are not kept). Sizes are those of the upright picture when photo turns it.
 */
[[nodiscard]] bool ResizeJpegFile(const TFileRef &source,
    const TFileRef &destination,
    int quality,
    double scale,
    bool addOverlay,
    const TOverlaySettingsProvider &overlay,
    TReportedSize &reported,
    QStringList *warnings = nullptr,
    const TResizeOptions &options = {},
    TImageOutput *made = nullptr,
    const TPhotoOptions &photo = {});

/**
 * Draws the overlay (settings read now from overlay) onto source and writes destination at
 * photo.OverlayQuality.
 * Does nothing when destination is a path whose folder does not exist. Throws EOverlayException for files that
 * cannot be opened or saved, and the codec's error for a stream that fails while decoding. The codec's
 * warnings about the source, and a malformed EXIF left out, are added to warnings when given; made receives
 * the output's sizes. The text is placed on the picture as photo turns it.
 */
void AddOverlayToFile(const TFileRef &source,
    const TFileRef &destination,
    const TOverlaySettingsProvider &overlay,
    QStringList *warnings = nullptr,
    TImageOutput *made = nullptr,
    const TPhotoOptions &photo = {});

} // namespace vellumar
