#pragma once

#include <cstdint>

#include <QString>

#include "imaging/bitmap.h"
#include "imaging/canvas.h"
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
 * draws the text with a black drop shadow and encodes the result again at quality 90. One renderer
 * serves one image: fill in the fields, call ProcessFile once.
 */
class TJPEGTextOverlay
{
public:
    TJPEGTextOverlay();
    ~TJPEGTextOverlay();
    TJPEGTextOverlay(const TJPEGTextOverlay &) = delete;
    TJPEGTextOverlay &operator=(const TJPEGTextOverlay &) = delete;

    /**
     * Reads SourceFile, draws the text and, with SaveOutput, writes the output file. True when a file
     * then exists at the output path (without SaveOutput: when the output image has a height).
     * Throws EOverlayException "Error opening <source> - Error: <cause>" when the source cannot be
     * read or has no JPEG header; a stream that fails while decoding passes its EJPEG unwrapped.
     */
    bool ProcessFile();
    /** Draws the text on the working bitmap, which already holds the picture, and saves it. */
    bool RenderAndSave();
    /** Lays out the text in rect, placed vertically against height, and draws it with its shadow. */
    void DrawTextBlock(int height, TRect rect, THorizontalPlacement horizontal, TVerticalPlacement vertical);
    /** Draws the text twice: black in rect, then the colour |Height| div 12 pixels up and left. */
    void DrawShadowedText(TRect rect, unsigned flags);

    [[nodiscard]] TBitmap &WorkingBitmap() { return mBitmap; }
    [[nodiscard]] const TJPEGImage &OutputImage() const { return mOutputImage; }
    /** libjpeg's warnings about the source met by ProcessFile (see TJPEGImage::Warnings). */
    [[nodiscard]] const QStringList &SourceWarnings() const { return mSourceImage.Warnings(); }

    QString SourceFile;
    QString OutputFile;
    QString OutputFolder;
    QString Text;
    QString FontName = QStringLiteral("Arial");
    TColor FontColor = clSilver;
    TFontStyles FontStyle = 0;
    /** A byte, as the settings narrow it: -1 (no size chosen) becomes 255. */
    std::uint8_t SizeClass = 1;
    std::uint8_t TextPosition = 4;
    bool WordWrap = true;
    bool SaveOutput = false;

private:
    [[nodiscard]] QString OutputPath() const;

    TBitmap mBitmap;
    TJPEGImage mSourceImage;
    TJPEGImage mOutputImage;
};

} // namespace vellumar
