#include "overlay/jpeg_text_overlay.h"

#include <utility>

#include "imaging/canvas.h"
#include "imaging/colour_profile.h"
#include "imaging/file_io.h"
#include "imaging/orientation.h"
#include "overlay/draw_overlay.h"

namespace vellumar
{

TJPEGTextOverlay::TJPEGTextOverlay() = default;

TJPEGTextOverlay::~TJPEGTextOverlay() = default;

bool TJPEGTextOverlay::ProcessFile()
{
    TJpegMarkers markers;
    if (!SourceFile.Path.isEmpty()) {
        try {
            mSourceImage.LoadJpegFile(SourceFile);
            if (!mSourceImage.CompressedData().empty())
                markers = ReadJpegStreamMarkers(mSourceImage.CompressedData());
        } catch (const std::exception &error) {
            throw EOverlayException(WrapMessage("Error opening ", SourceFile.Path, error));
        }
    }
    const TOrientation orientation = AutoOrient ? MarkersOrientation(markers) : TOrientation::Normal;
    mOutputMarkers = OutputMarkers(markers, Metadata, orientation != TOrientation::Normal, MetadataWarning, ToSrgb);
    // The text's colour is an sRGB colour, so the picture is converted before it is drawn.
    const bool toSrgb = ToSrgb && ColourRoute(markers.Components, markers.IccProfile, true).ConvertToSrgb;
    const bool swap = OrientationSwapsSides(orientation);
    const int width = swap ? mSourceImage.ImageHeight() : mSourceImage.ImageWidth();
    const int height = swap ? mSourceImage.ImageWidth() : mSourceImage.ImageHeight();
    mBitmap.SetPixelFormat24();
    if (mSourceImage.Empty()) {
        mBitmap.SetBitmapWidth(width);
        mBitmap.SetBitmapHeight(height);
        return RenderAndSave();
    }
    // Decodes the source, upright when asked; a stream that fails here passes its codec error on unwrapped.
    // The source lets go of its pixels and bytes, so that one frame is held and the text drawn into it
    // copies nothing.
    TBitmap picture = mSourceImage.TakeUprightBitmap(orientation);
    if (picture.PixelFormat() == TPixelFormat::pf24bit && picture.Width() == width && picture.Height() == height) {
        // Copying every pixel of an equal 24-bit picture at (0, 0) is taking its pixels.
        mBitmap = std::move(picture);
    } else {
        mBitmap.SetBitmapWidth(width);
        mBitmap.SetBitmapHeight(height);
        mBitmap.Canvas().DrawAt(0, 0, &picture);
    }
    if (toSrgb)
        (void)ConvertBitmapToSrgb(mBitmap, markers.IccProfile);
    return RenderAndSave();
}

bool TJPEGTextOverlay::RenderAndSave()
{
    DrawOverlay(mBitmap, Settings);
    const QString outputPath = SaveOutput ? OutputFile : QString();
    try {
        mOutputImage.SetOutputFormat(TJPEGPixelFormat::jf24Bit);
        mOutputImage.SetQuality(Quality);
        mOutputImage.SetMarkers(mOutputMarkers);
        mOutputImage.AssignBitmap(mBitmap);
        if (!SaveOutput)
            return mOutputImage.ImageHeight() != 0;
        mOutputImage.SaveJpegFile(outputPath);
        return FileExists(outputPath);
    } catch (const std::exception &error) {
        throw EOverlayException(WrapMessage("Error saving ", outputPath, error));
    }
}

} // namespace vellumar
