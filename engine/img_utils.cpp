#include "engine/img_utils.h"

#include <QFileInfo>

#include "engine/job_settings.h"
#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/errors.h"
#include "imaging/file_io.h"
#include "imaging/jpeg_image.h"
#include "overlay/jpeg_text_overlay.h"

namespace vellumar
{

bool CopyImageFile(const QString &source, const QString &destination)
{
    try {
        const std::vector<std::uint8_t> bytes = ReadWholeFile(source);
        if (bytes.empty())
            return false;
        WriteFileAtomic(destination, bytes);
        return true;
    } catch (const std::exception &) {
        // The copy reports failure as its result; the run logs nothing for it.
        return false;
    }
}

bool ResizeJpegFile(const QString &source,
    const QString &destination,
    int quality,
    double scale,
    bool addOverlay,
    const TOverlaySettingsProvider &overlay,
    TReportedSize &reported)
{
    if (!FileExists(source) || !(scale > 0.0 && scale < 1.0))
        return false;
    TBitmap bitmap;
    {
        TJPEGImage image;
        image.LoadJpegFile(source);
        const TRect target { 0,
            0,
            FloorTimesScale(image.ImageWidth() + 1, scale),
            FloorTimesScale(image.ImageHeight() + 1, scale) };
        reported = TReportedSize { target.Bottom, target.Right };
        // The target may overhang the bitmap by a pixel; the bitmap's bounds clip it. A reduction is
        // decoded row by row, keeping only the sampled pixels.
        bitmap = image.StretchedBitmap(FloorTimesScale(image.ImageWidth(), scale),
            FloorTimesScale(image.ImageHeight(), scale),
            target);
        // A side of 0 pixels would give an empty file that looks like a reduced photo.
        if (bitmap.Empty())
            throw Exception(QStringLiteral("Cannot reduce %1 x %2 pixels: the result would be %3 x %4 pixels")
                                .arg(image.ImageWidth())
                                .arg(image.ImageHeight())
                                .arg(bitmap.BitmapWidth())
                                .arg(bitmap.BitmapHeight()));
    }
    TJPEGImage output;
    output.SetQuality(quality);
    output.AssignBitmap(bitmap);
    output.SaveJpegFile(destination);
    if (addOverlay)
        AddOverlayToFile(destination, destination, overlay);
    return FileExists(destination);
}

void AddOverlayToFile(const QString &source, const QString &destination, const TOverlaySettingsProvider &overlay)
{
    const QString folder = QFileInfo(destination).path();
    if (!folder.isEmpty() && !DirectoryExists(folder))
        return;
    TJPEGTextOverlay renderer;
    renderer.SaveOutput = true;
    renderer.OutputFile = destination;
    renderer.SourceFile = source;
    renderer.Settings = overlay.CurrentOverlaySettings();
    (void)renderer.ProcessFile();
}

} // namespace vellumar
