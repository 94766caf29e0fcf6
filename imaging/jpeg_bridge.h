#pragma once

// The codec's own interface to libjpeg: plain bytes and bitmaps in, plain bytes and bitmaps out.
// No libjpeg type crosses this header; jpeg_bridge.cpp is the only file that includes jpeglib.h.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include <QStringList>

#include "imaging/bitmap.h"
#include "imaging/orientation.h"

namespace vellumar
{

/**
 * Largest image (width times height) that is decoded: 268,435,456 pixels (2^28), and libjpeg's own 65,500 per
 * side. A reduction decodes row by row and holds only its output frame; the overlay and turning a picture
 * upright hold the whole frame at 3 bytes a pixel (768 MiB at this limit), which the run's memory admission
 * accounts for.
 */
inline constexpr std::uint64_t kMaxJpegPixels = std::uint64_t(1) << 28;
/**
 * Frames above this many pixels must bring at least one byte of stream for every kMinPixelsPerByte pixels. A
 * real photo of that size takes megabytes; a few hundred bytes declaring it would only make the decoder invent
 * hundreds of megabytes of grey.
 */
inline constexpr std::uint64_t kMaxSparsePixels = std::uint64_t(8192) * 8192;
inline constexpr std::uint64_t kMinPixelsPerByte = 1024;
/** Most scans a stream may hold; more are refused while decoding. */
inline constexpr int kMaxJpegScans = 500;
/**
 * Most 8 x 8 blocks that all scans together may cover: 32 scans of 8192 x 8192 pixels, or 16 full scans of the
 * frame when that is more (a progressive photo takes about 8). Every scan walks all blocks of its components
 * even when it holds no data, so a few kilobytes of empty scans over a large frame would otherwise keep the
 * decoder busy for minutes.
 */
inline constexpr std::uint64_t kMaxJpegScanBlocks = 32 * kMaxSparsePixels / 64;
inline constexpr std::uint64_t kMaxJpegFrameScans = 16;
/** Most distinct warnings kept for one image; libjpeg may repeat one for every damaged block. */
inline constexpr int kMaxJpegWarnings = 4;
/** Upper bound on libjpeg's own working memory (coefficient and quantiser buffers). */
inline constexpr long kMaxJpegWorkMemory = 1024l * 1024 * 1024;

/** How many decodes of pixels have started in this process, for tests that count them. */
[[nodiscard]] std::uint64_t JpegDecodesStarted();

/** What the header of a stream says. */
struct TJpegHeaderFacts {
    int Width = 0;
    int Height = 0;
    /** The stream's colour space is single-channel gray. */
    bool Grayscale = false;
    /** Colour components stored (1 gray, 3 YCbCr or RGB, 4 CMYK or YCCK). */
    int Components = 0;
    /** Four components: CMYK or YCCK, converted to colour when decoded. */
    bool FourComponents = false;
    /** The frame is coded progressively. */
    bool Progressive = false;
    /** Bytes libjpeg holds for the coefficients of the whole picture while decoding a multi-scan stream; else 0. */
    std::uint64_t CoefficientBytes = 0;
    /** libjpeg's warnings met while reading the header (such as "Corrupt JPEG data: ..."). */
    QStringList Warnings;
};

struct TJpegMarkers;

/**
 * Reads the header of stream up to its first scan; decodes no pixel. When markers is not null, the stream's ICC
 * profile and its APP1 and APP13 segments are read into it in the same pass (see ReadJpegStreamMarkers).
 * Throws EJPEG "JPEG error #%d: <text>" (libjpeg's message code and text, such as "Not a JPEG file: starts
 * with 0x89 0x50") when it is not a JPEG header, "JPEG image too large: W x H pixels (the limit is 268435456)"
 * above kMaxJpegPixels, or "JPEG image too large for its data: W x H pixels from N bytes" for a frame above
 * kMaxSparsePixels with too few bytes.
 */
[[nodiscard]] TJpegHeaderFacts ReadJpegStreamHeader(std::span<const std::uint8_t> stream,
    TJpegMarkers *markers = nullptr);

/**
 * Decodes stream at full size (float DCT, block smoothing). The result is 8-bit with a palette of
 * at most 236 colours when eightBit is set or the stream is gray, else 24-bit. Four-component
 * streams (CMYK, YCCK) are converted to 24-bit colour. A truncated stream decodes; the missing
 * part is whatever libjpeg makes of an early end of image, and libjpeg warns "Premature end of JPEG
 * file". An empty stream throws EJPEG.
 * Throws EJPEG for any fatal libjpeg error, a stream above kMaxJpegPixels, one with more than
 * kMaxJpegScans scans ("JPEG stream has too many scans (the limit is 500)"), or one whose scans
 * cover more blocks than kMaxJpegScanBlocks and kMaxJpegFrameScans allow ("JPEG stream has too many scans
 * for its size (the limit is 32 scans of 8192 x 8192 pixels, or 16 of the frame)").
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
 * How an encoding lays out its entropy-coded data; all three decode to the same pixels. Baseline uses the
 * standard Huffman tables; Optimized computes tables for the image (a second pass over its coefficients);
 * Progressive writes libjpeg's usual progressive scans, with computed tables.
 */
enum class TJpegCoding { Baseline, Optimized, Progressive };

/**
 * Encodes the bitmap as a baseline JFIF stream with three components at quality (1..100), with
 * libjpeg's defaults and the float DCT. A bitmap of width or height 0 gives an empty stream.
 * Throws EJPEG for a fatal libjpeg error (such as a side above 65500 pixels).
 */
[[nodiscard]] std::vector<std::uint8_t> EncodeJpegStream(const TBitmap &bitmap, int quality);

/** One application segment as stored: its marker (0xE0 + n for APPn) and its payload, without marker and length. */
struct TJpegSegment {
    int Marker = 0;
    std::vector<std::uint8_t> Payload;
};

/** What a stream carries beside its pixels, and what an encoding writes beside them. */
struct TJpegMarkers {
    /** The ICC profile joined from its APP2 chunks; empty when there is none or its chunks do not add up. */
    std::vector<std::uint8_t> IccProfile;
    /** APP1 (EXIF, XMP) and APP13 (IPTC) segments, in stream order. */
    std::vector<TJpegSegment> Segments;
    /** Colour components of the stream they were read from (1, 3 or 4), which the profile describes; 0: unknown. */
    int Components = 0;
};

/** Largest payload of one segment: its length field (two bytes) counts itself. */
inline constexpr std::size_t kMaxSegmentPayload = 65533;

/**
 * Reads the stream's header and returns its ICC profile and its APP1 and APP13 segments; decodes no pixel.
 * Throws as ReadJpegStreamHeader.
 */
[[nodiscard]] TJpegMarkers ReadJpegStreamMarkers(std::span<const std::uint8_t> stream);

/**
 * EncodeJpegStream that also writes markers: the segments in their order after the JFIF header, then the ICC
 * profile in as many APP2 chunks as it needs, with the entropy coding of coding. An EXIF segment goes first,
 * straight after SOI and before the JFIF header, where cameras put it: maker notes may count their offsets
 * from the start of the file. A segment above kMaxSegmentPayload throws EJPEG.
 */
[[nodiscard]] std::vector<std::uint8_t> EncodeJpegStream(const TBitmap &bitmap,
    int quality,
    const TJpegMarkers &markers,
    TJpegCoding coding = TJpegCoding::Baseline);

/**
 * DecodeJpegStream turned upright by orientation while the rows are read, so that only the upright frame is
 * ever held; width and height are swapped when the orientation swaps sides. Warnings as there.
 */
[[nodiscard]] TBitmap DecodeJpegStreamUpright(std::span<const std::uint8_t> stream,
    bool eightBit,
    TOrientation orientation,
    const std::function<void()> &released,
    QStringList *warnings = nullptr);

/**
 * The stream's picture for a look at it, not for writing: decoded at the smallest DCT scale n/8 whose upright
 * size reaches minWidth x minHeight (full size when none does), without block smoothing, 24-bit and turned
 * upright by orientation while the rows are read. A scaled decode skips most of the inverse DCT's work, so a
 * large photo shown small costs a fraction of its full decode. Throws as DecodeJpegStream.
 */
[[nodiscard]] TBitmap DecodeJpegStreamReduced(std::span<const std::uint8_t> stream,
    int minWidth,
    int minHeight,
    TOrientation orientation,
    QStringList *warnings = nullptr);

} // namespace vellumar
