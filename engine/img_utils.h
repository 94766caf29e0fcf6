#pragma once

#include <cstdint>
#include <vector>

#include <QString>
#include <QStringList>

#include "engine/pixel_size.h"
#include "overlay/overlay_settings.h"

namespace vellumar
{

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
};

/**
 * The output of reducing the JPEG at source (by scale or as options say) at quality, with overlay drawn
 * on it when given: what ResizeJpegFile writes. Throws as ResizeJpegFile does.
 */
[[nodiscard]] TImageOutput ReduceJpeg(const QString &source,
    int quality,
    double scale,
    const TOverlaySettings *overlay,
    const TResizeOptions &options = {});

/**
 * The output of drawing overlay onto the JPEG at source: what AddOverlayToFile writes to destination
 * (named in the messages only). Throws as AddOverlayToFile does.
 */
[[nodiscard]] TImageOutput
OverlayJpeg(const QString &source, const QString &destination, const TOverlaySettings &overlay);

/**
 * Copies source to destination byte for byte (atomically). False, and nothing written, when the source
 * cannot be read or is empty, or the destination cannot be written; reason (when given) then receives
 * why, as one line. Raises nothing.
 */
[[nodiscard]] bool CopyImageFile(const QString &source, const QString &destination, QString *reason = nullptr);

/**
 * Reduces the JPEG at source by scale (0 < scale < 1; each side becomes the whole part of its exact
 * product with scale) and writes it to destination at quality. With addOverlay the reduced photo is
 * encoded at quality, decoded again and overlaid in memory, and only the result (at quality 90) is
 * written: the bytes of writing the reduction and overlaying that file, without a file that lacks its
 * text on any failure. Returns whether a file exists at destination at the end, and
 * sets reported (the target rectangle, one more than the written size where the overhang occurs).
 * False without touching anything when there is no file at source or scale is out of range.
 * Throws the codec's and the file layer's errors, an Exception when a side would become 0 pixels
 * (nothing is written then), and EOverlayException from the overlay. The codec's warnings about the
 * source (damaged data it decoded around) are added to warnings when given.
 */
[[nodiscard]] bool ResizeJpegFile(const QString &source,
    const QString &destination,
    int quality,
    double scale,
    bool addOverlay,
    const TOverlaySettingsProvider &overlay,
    TReportedSize &reported,
    QStringList *warnings = nullptr);

/**
 * ResizeJpegFile with options: the default options are exactly that reduction. Otherwise the written size
 * is ReducedSize of the picture (scale counts only by percent, and must then be in range), the pixels are
 * taken with options.Filter, and reported is the written size. A picture already small enough for a long
 * edge or a fit is written again at its own size and quality (not copied). made, when given, receives the
 * written output's sizes (its bytes are not kept).
 */
[[nodiscard]] bool ResizeJpegFile(const QString &source,
    const QString &destination,
    int quality,
    double scale,
    bool addOverlay,
    const TOverlaySettingsProvider &overlay,
    TReportedSize &reported,
    QStringList *warnings,
    const TResizeOptions &options,
    TImageOutput *made = nullptr);

/**
 * Draws the overlay (settings read now from overlay) onto source and writes destination at quality 90.
 * Does nothing when destination's folder does not exist. Throws EOverlayException for files that
 * cannot be opened or saved, and the codec's error for a stream that fails while decoding. The codec's
 * warnings about the source are added to warnings when given; made receives the output's sizes.
 */
void AddOverlayToFile(const QString &source,
    const QString &destination,
    const TOverlaySettingsProvider &overlay,
    QStringList *warnings = nullptr,
    TImageOutput *made = nullptr);

} // namespace vellumar
