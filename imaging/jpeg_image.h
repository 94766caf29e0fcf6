#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <QStringList>

#include "imaging/bitmap.h"
#include "imaging/file_io.h"
#include "imaging/graphic.h"
#include "imaging/jpeg_bridge.h"

namespace vellumar
{

enum class TJPEGPixelFormat { jf24Bit, jf8Bit };

/** A JPEG stream's bytes and the facts read from its header; shared between copied images. */
struct TJPEGData {
    std::vector<std::uint8_t> Data;
    int Width = 0;
    int Height = 0;
    bool Grayscale = false;
};

/**
 * A JPEG file's compressed bytes and/or its pixels, converted lazily through libjpeg: loading reads the
 * file and its header only; the pixels are decoded on first need and kept; pixels taken from a bitmap
 * are encoded only when saved. Errors: EFOpenError, EReadError, EFCreateError, EWriteError, EJPEG
 * ("JPEG error #%d: <text>" with libjpeg's message code and text, or a refusal that names the exceeded
 * limit). Damage that libjpeg decodes around is not an error: see Warnings().
 */
class TJPEGImage : public TGraphic
{
public:
    TJPEGImage();
    ~TJPEGImage() override;
    TJPEGImage(const TJPEGImage &other);
    TJPEGImage &operator=(const TJPEGImage &other);

    /** True when there is no compressed-data buffer and no non-empty decoded bitmap. */
    [[nodiscard]] bool Empty() const override;
    [[nodiscard]] int Width() const override { return ImageWidth(); }
    [[nodiscard]] int Height() const override { return ImageHeight(); }
    void DrawOnto(TCanvas &canvas, const TRect &rect) override;
    void LoadFromFile(const QString &path) override;

    /**
     * Reads the whole file and its header (size, gray flag, scans); decodes nothing. When markers is not null,
     * the stream's markers are read into it in the same pass (as ReadJpegStreamMarkers; left empty for an empty file).
     */
    void LoadJpegFile(const TFileRef &file, TJpegMarkers *markers = nullptr);
    /** Builds the compressed data if there is none, then writes it atomically in one piece. */
    void SaveJpegFile(const QString &path);

    [[nodiscard]] int ImageWidth() const;
    [[nodiscard]] int ImageHeight() const;
    /** Decodes once and keeps the result; later calls return the same bitmap. */
    TBitmap &DecodedBitmap();
    /**
     * Hands the decoded bitmap over (decoding it first when needed) and leaves this image empty, also when
     * decoding fails. When no copy of this image shares the compressed data, the data is freed as soon as
     * libjpeg has read it all, so a progressive stream's bytes never sit beside its coefficients and frame.
     */
    [[nodiscard]] TBitmap TakeBitmap();
    /**
     * TakeBitmap turned upright by orientation as it is decoded, so that only the upright frame is held. An
     * already decoded bitmap is turned after the fact.
     */
    [[nodiscard]] TBitmap TakeUprightBitmap(TOrientation orientation);
    /**
     * The picture stretched over rect onto a new 24-bit bitmap of width x height: exactly the pixels of
     * drawing it into rect on a fresh bitmap of that size. When rect starts at (0, 0) and covers the
     * bitmap and nothing is decoded yet, the stream is decoded row by row keeping only the sampled pixels
     * (no decoded bitmap is kept then); otherwise it is decoded whole and stretch-copied.
     */
    [[nodiscard]] TBitmap StretchedBitmap(int width, int height, const TRect &rect);
    /**
     * The picture reduced smoothly to width x height (each side at least 1, at most the picture's): low-pass
     * filtered, not sampled. Nothing decoded yet: libjpeg decodes at a reduced DCT scale and the rows are
     * resampled as they come (no decoded bitmap is kept); otherwise the decoded bitmap is resampled.
     * Throws EInvalidGraphic "Invalid bitmap size" for a size out of range, and the decoding errors.
     */
    [[nodiscard]] TBitmap SmoothBitmap(int width, int height);
    /** Drops compressed data and takes a copy (shared pixels) of bitmap as the decoded bitmap. */
    void AssignBitmap(const TBitmap &bitmap);
    /** Builds the compressed data from the decoded bitmap, with the markers; empty when there is no pixel. */
    void EncodeJpeg();
    /**
     * Builds the compressed data from the decoded bitmap at the highest quality from 100 down to minQuality whose
     * stream takes at most maxBytes, found by bisection over encodings in memory, and returns that quality
     * (also set as Quality()). Throws EJPEG "... even at quality Q: N bytes" naming the smallest stream
     * reached when none fits.
     */
    int EncodeJpegWithin(std::int64_t maxBytes, int minQuality);
    /** Markers (colour profile, metadata segments) that every later encoding writes beside the pixels. */
    void SetMarkers(TJpegMarkers markers) { mMarkers = std::move(markers); }

    [[nodiscard]] TJpegCoding Coding() const { return mCoding; }
    void SetCoding(TJpegCoding coding) { mCoding = coding; }
    [[nodiscard]] int Quality() const { return mQuality; }
    void SetQuality(int quality) { mQuality = std::uint8_t(quality); }
    [[nodiscard]] TJPEGPixelFormat OutputFormat() const { return mOutputFormat; }
    /** A different value discards the decoded bitmap. */
    void SetOutputFormat(TJPEGPixelFormat format);

    /** The compressed bytes (none before a load or an encoding). */
    [[nodiscard]] const std::vector<std::uint8_t> &CompressedData() const;
    [[nodiscard]] bool Grayscale() const;
    /**
     * libjpeg's warnings about the loaded stream, met while reading its header and decoding it (for
     * example "Premature end of JPEG file" or "Corrupt JPEG data: 52 extraneous bytes before marker
     * 0xd9"): each text once, at most kMaxJpegWarnings, in the order met. The picture still decodes.
     * Cleared by a new load or an assigned bitmap; kept when the bitmap is taken.
     */
    [[nodiscard]] const QStringList &Warnings() const { return mWarnings; }

private:
    std::shared_ptr<TJPEGData> mData; // null: no buffer at all
    std::unique_ptr<TBitmap> mBitmap;
    TJpegMarkers mMarkers;
    std::uint8_t mQuality = 90;
    TJpegCoding mCoding = TJpegCoding::Baseline;
    TJPEGPixelFormat mOutputFormat = TJPEGPixelFormat::jf24Bit;
    QStringList mWarnings;
};

} // namespace vellumar
