#pragma once

#include <QString>

#include "imaging/bitmap.h"
#include "imaging/errors.h"
#include "imaging/jpeg_image.h"
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
 * draws the overlay on it (DrawOverlay) and encodes the result again at quality 90. One renderer serves
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
    /** libjpeg's warnings about the source met by ProcessFile (see TJPEGImage::Warnings). */
    [[nodiscard]] const QStringList &SourceWarnings() const { return mSourceImage.Warnings(); }

    QString SourceFile;
    /** May name SourceFile: the source is read whole before anything is written. */
    QString OutputFile;
    TOverlaySettings Settings { .Text = {}, .FontName = QStringLiteral("Arial"), .SizeClass = 1 };
    bool SaveOutput = false;

private:
    TBitmap mBitmap;
    TJPEGImage mSourceImage;
    TJPEGImage mOutputImage;
};

} // namespace vellumar
