#include "overlay/jpeg_text_overlay.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "imaging/file_io.h"
#include "imaging/orientation.h"

namespace vellumar
{

namespace
{

constexpr int kRightMargin = 10;
constexpr int kShadowDivisor = 12;

} // namespace

TJPEGTextOverlay::TJPEGTextOverlay() = default;

// Nothing to release by hand: detaching the working pixels here would only copy a frame that the output
// image still shares, just before both go away.
TJPEGTextOverlay::~TJPEGTextOverlay() = default;

bool TJPEGTextOverlay::ProcessFile()
{
    TJpegMarkers markers;
    if (!SourceFile.isEmpty()) {
        try {
            mSourceImage.LoadJpegFile(SourceFile);
            if (!mSourceImage.CompressedData().empty())
                markers = ReadJpegStreamMarkers(mSourceImage.CompressedData());
        } catch (const std::exception &error) {
            throw EOverlayException(WrapMessage("Error opening ", SourceFile, error));
        }
    }
    const int orientation = AutoOrient ? MarkersOrientation(markers) : 1;
    mOutputMarkers = OutputMarkers(markers, Metadata, orientation != 1, MetadataWarning);
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
    return RenderAndSave();
}

bool TJPEGTextOverlay::RenderAndSave()
{
    const int percent = SizePercent(SizeClass);
    const TPlacement placement = PositionPlacement(TextPosition);
    mBitmap.SetPixelFormat24();

    TFont &font = mBitmap.Canvas().Font();
    font.SetName(FontName);
    font.SetColor(FontColor);
    font.SetStyle(FontStyle);
    const int width = mBitmap.BitmapWidth();
    const int height = mBitmap.BitmapHeight();
    font.SetSize(std::min(width, height) * percent / 100);

    DrawTextBlock(height, TRect { 0, 0, width - kRightMargin, height }, placement.Horizontal, placement.Vertical);

    const QString outputPath = SaveOutput ? OutputPath() : QString();
    try {
        mOutputImage.SetOutputFormat(TJPEGPixelFormat::jf24Bit);
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

void TJPEGTextOverlay::DrawTextBlock(int height,
    TRect rect,
    THorizontalPlacement horizontal,
    TVerticalPlacement vertical)
{
    TCanvas &canvas = mBitmap.Canvas();
    canvas.Brush().Style = TBrushStyle::bsClear;
    unsigned flags = DT_EXPANDTABS | HorizontalFlag(horizontal);
    if (WordWrap)
        flags |= DT_WORDBREAK;
    if (vertical != TVerticalPlacement::Top) {
        TRect measured = rect;
        canvas.DrawTextInRect(Text, measured, flags | DT_CALCRECT | DT_NOPREFIX);
        const int gap = height - measured.Bottom;
        // Negative when the text is taller than the picture: the block then moves up.
        rect.Offset(0, vertical == TVerticalPlacement::Bottom ? gap : gap / 2);
    }
    DrawShadowedText(rect, flags);
}

void TJPEGTextOverlay::DrawShadowedText(TRect rect, unsigned flags)
{
    flags |= DT_NOPREFIX;
    TCanvas &canvas = mBitmap.Canvas();
    const int shadow = std::abs(canvas.Font().Height()) / kShadowDivisor;
    canvas.Font().SetColor(clBlack);
    canvas.DrawTextInRect(Text, rect, flags);
    canvas.Font().SetColor(FontColor);
    rect.Offset(-shadow, -shadow);
    canvas.DrawTextInRect(Text, rect, flags);
}

QString TJPEGTextOverlay::OutputPath() const
{
    if (!OutputFile.isEmpty())
        return OutputFile;
    QString folder = OutputFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + SourceFile.section(QLatin1Char('/'), -1);
}

} // namespace vellumar
