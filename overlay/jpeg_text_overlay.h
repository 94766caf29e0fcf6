#pragma once

#include <QString>

#include "imaging/bitmap.h"
#include "imaging/errors.h"
#include "imaging/file_io.h"
#include "imaging/jpeg_image.h"
#include "imaging/jpeg_metadata.h"
#include "overlay/overlay_settings.h"

namespace vellumar
{

/** The overlay renderer's error: a message only. */
class EOverlayException : public Exception
{
    using Exception::Exception;
};

/**
 * Puts the overlay text onto one JPEG file: decodes the source into a 24-bit bitmap of the same size,
 * draws the overlay on it (DrawOverlay) and encodes the result again at Quality. One renderer serves
 * one image: fill in the fields, call ProcessFile once.
 */
class TJPEGTextOverlay
{
public:
    TJPEGTextOverlay();
    ~TJPEGTextOverlay();
    TJPEGTextOverlay(const TJPEGTextOverlay &) = delete;
    TJPEGTextOverlay &operator=(const TJPEGTextOverlay &) = delete;

    /**
     * Reads SourceFile, draws the overlay and, with SaveOutput, writes OutputFile. True when a file then
     * exists at OutputFile (without SaveOutput: when the output image has a height).
     * Throws EOverlayException "Error opening <source> - Error: <cause>" when the source cannot be
     * read or has no JPEG header; a stream that fails while decoding passes its EJPEG unwrapped.
     */
    bool ProcessFile();
    /**
     * Draws the overlay on the working bitmap, which already holds the picture, and saves it as
     * ProcessFile does. Throws EOverlayException "Error saving <output> - Error: <cause>".
     */
    bool RenderAndSave();

    [[nodiscard]] TBitmap &WorkingBitmap() { return mBitmap; }
    [[nodiscard]] const TJPEGImage &OutputImage() const { return mOutputImage; }
    /** Markers written with the output; ProcessFile sets them from the source. */
    void SetOutputMarkers(TJpegMarkers markers) { mOutputMarkers = std::move(markers); }
    /** libjpeg's warnings about the source met by ProcessFile (see TJPEGImage::Warnings). */
    [[nodiscard]] const QStringList &SourceWarnings() const { return mSourceImage.Warnings(); }

    TFileRef SourceFile { QString() };
    /** May name SourceFile: the source is read whole before anything is written. */
    QString OutputFile;
    TOverlaySettings Settings { .Text = {}, .FontName = QStringLiteral("Arial"), .SizeClass = 1 };
    bool SaveOutput = false;
    /** The quality the output is encoded at. */
    int Quality = kOverlayQuality;
    /** Turn the picture upright by the source's EXIF orientation before the text is placed. */
    bool AutoOrient = false;
    /** The source's metadata that goes into the output; its colour profile always does. */
    TMetadataMode Metadata = TMetadataMode::mmNone;
    /** Colours of an RGB profile other than sRGB are converted to sRGB before the text is drawn. */
    bool ToSrgb = false;
    /** Set by ProcessFile when the source's EXIF had to be left out ("EXIF data dropped: ..."); else empty. */
    QString MetadataWarning;

private:
    TBitmap mBitmap;
    TJPEGImage mSourceImage;
    TJPEGImage mOutputImage;
    TJpegMarkers mOutputMarkers;
};

} // namespace vellumar
