#pragma once

// The codec's own interface to libjpeg: plain bytes and bitmaps in, plain bytes and bitmaps out.
// No libjpeg type crosses this header; jpeg_bridge.cpp is the only file that includes jpeglib.h.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include <QStringList>

#include "imaging/bitmap.h"

namespace vellumar
{

/**
 * Largest image (width times height) that is decoded: 8192 x 8192 pixels. With the overlay, a photo
 * takes about 9 bytes a pixel at its peak (decoded and working bitmaps, painting, encoding), and a
 * progressive four-component stream up to 11 while decoding: so that a run stays under 1 GiB and
 * a few seconds per image whatever a small file declares.
 */
inline constexpr int kMaxJpegSide = 8192;
inline constexpr std::uint64_t kMaxJpegPixels = std::uint64_t(kMaxJpegSide) * std::uint64_t(kMaxJpegSide);
/** Most scans a stream may hold; more are refused while decoding. */
inline constexpr int kMaxJpegScans = 500;
/**
 * Most 8 x 8 blocks that all scans together may cover: 32 full scans of the largest image. Every
 * scan walks all blocks of its components even when it holds no data, so a few kilobytes of empty
 * scans over a large frame would otherwise keep the decoder busy for minutes.
 */
inline constexpr std::uint64_t kMaxJpegScanBlocks = 32 * kMaxJpegPixels / 64;
/** Most distinct warnings kept for one image; libjpeg may repeat one for every damaged block. */
inline constexpr int kMaxJpegWarnings = 4;
/** Upper bound on libjpeg's own working memory (coefficient and quantiser buffers). */
inline constexpr long kMaxJpegWorkMemory = 1024l * 1024 * 1024;

/** What the header of a stream says. */
struct TJpegHeaderFacts {
    int Width = 0;
    int Height = 0;
    /** The stream's colour space is single-channel gray. */
    bool Grayscale = false;
    /** libjpeg's warnings met while reading the header (such as "Corrupt JPEG data: ..."). */
    QStringList Warnings;
};

/**
 * Reads the header of stream up to its first scan; decodes no pixel.
 * Throws EJPEG "JPEG error #%d: <text>" (libjpeg's message code and text, such as "Not a JPEG file: starts
 * with 0x89 0x50") when it is not a JPEG header, or
 * "JPEG image too large: W x H pixels (the limit is 67108864)" above kMaxJpegPixels.
 */
[[nodiscard]] TJpegHeaderFacts ReadJpegStreamHeader(std::span<const std::uint8_t> stream);

/**
 * Decodes stream at full size (float DCT, block smoothing). The result is 8-bit with a palette of
 * at most 236 colours when eightBit is set or the stream is gray, else 24-bit. Four-component
 * streams (CMYK, YCCK) are converted to 24-bit colour. A truncated stream decodes; the missing
 * part is whatever libjpeg makes of an early end of image, and libjpeg warns "Premature end of JPEG
 * file". An empty stream throws EJPEG.
 * Throws EJPEG for any fatal libjpeg error, a stream above kMaxJpegPixels, one with more than
 * kMaxJpegScans scans ("JPEG stream has too many scans (the limit is 500)"), or one whose scans
 * cover more than kMaxJpegScanBlocks blocks ("JPEG stream has too many scans for its size (the
 * limit is 32 scans of 8192 x 8192 pixels)").
 */
[[nodiscard]] TBitmap DecodeJpegStream(std::span<const std::uint8_t> stream, bool eightBit);

/**
 * DecodeJpegStream that tells when libjpeg holds all of stream: released runs then, at most once, and the
 * caller may free the stream's bytes in it. A multi-scan stream is read whole before its first row, so its
 * bytes need not stay beside the coefficients and the frame; for other streams released never runs (an
 * empty function is allowed). When warnings is not null, libjpeg's warning texts of a successful decode
 * are added to it, each text once and at most kMaxJpegWarnings in all.
 */
[[nodiscard]] TBitmap DecodeJpegStream(std::span<const std::uint8_t> stream,
    bool eightBit,
    const std::function<void()> &released,
    QStringList *warnings = nullptr);

/**
 * The stream's picture stretched over rect onto a new 24-bit bitmap of width x height, where rect starts at
 * (0, 0) and reaches at least to (width, height): byte for byte what DecodeJpegStream followed by the stretch
 * copy (TBitmap::DrawOnto) onto a fresh 24-bit bitmap of that size gives. Every scanline is decoded as
 * there, with the same errors, but only a few rows are held at a time and only the sampled pixels are kept,
 * so the full frame never exists. Throws EInvalidGraphic "Invalid bitmap size" for a rect that does not
 * cover the bitmap or a size below 1. Warnings are added to warnings as for DecodeJpegStream.
 */
[[nodiscard]] TBitmap DecodeJpegStreamStretched(std::span<const std::uint8_t> stream,
    bool eightBit,
    int width,
    int height,
    const TRect &rect,
    QStringList *warnings = nullptr);

/**
 * The stream's picture reduced smoothly to a new 24-bit bitmap of width x height (at least 1 and at most the
 * stream's size on each side): libjpeg decodes straight to the smallest DCT scale of n/8 that is at least twice
 * the target (full size when none is); TResampler then takes that to the exact size, row by row, so the full
 * frame never exists. YCbCr and gray streams are resampled component by component as stored (chroma at its
 * own resolution) and converted to colour at the target size; gray comes out as exact grays, without a
 * palette. Throws EInvalidGraphic "Invalid bitmap size" for a size out of range, and the errors of
 * DecodeJpegStream. Warnings are added to warnings as for DecodeJpegStream.
 */
[[nodiscard]] TBitmap
DecodeJpegStreamSmooth(std::span<const std::uint8_t> stream, int width, int height, QStringList *warnings = nullptr);

/**
 * Encodes the bitmap as a baseline JFIF stream with three components at quality (1..100), with
 * libjpeg's defaults and the float DCT. A bitmap of width or height 0 gives an empty stream.
 * Throws EJPEG for a fatal libjpeg error (such as a side above 65500 pixels).
 */
[[nodiscard]] std::vector<std::uint8_t> EncodeJpegStream(const TBitmap &bitmap, int quality);

} // namespace vellumar
