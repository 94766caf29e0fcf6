#include "engine/img_utils.h"

#include <limits>

#include <QFileInfo>

#include "engine/job_settings.h"
#include "imaging/bitmap.h"
#include "imaging/canvas.h"
#include "imaging/colour_profile.h"
#include "imaging/errors.h"
#include "imaging/file_io.h"
#include "imaging/jpeg_bridge.h"
#include "imaging/jpeg_image.h"
#include "imaging/native_name.h"
#include "imaging/orientation.h"
#include "imaging/resampler.h"
#include "overlay/jpeg_text_overlay.h"

namespace vellumar
{

namespace
{

void KeepWarnings(const QStringList &found, QStringList *warnings)
{
    if (warnings != nullptr)
        *warnings += found;
}

// A new output is no more readable than its photo, as a copy by hand would be.
TWriteOptions OutputOptions(const TFileRef &source)
{
    const std::optional<TFileFacts> facts = StatFile(source);
    return TWriteOptions { .NewFileMode = facts ? facts->Permissions : 0666u };
}

// A photo loaded for re-encoding, with what every output made from it needs: its turn, the markers the output
// carries (and why some were left out), whether its colours go to sRGB and from which profile, its upright size.
struct TLoadedPhoto {
    TJPEGImage Image;
    TOrientation Orientation = TOrientation::Normal;
    TJpegMarkers Markers;
    QString MetadataWarning;
    std::vector<std::uint8_t> Profile;
    bool ToSrgb = false;
    TPixelSize Upright;

    TLoadedPhoto(const TFileRef &source, const TPhotoOptions &photo)
    {
        TJpegMarkers read;
        Image.LoadJpegFile(source, &read);
        Orientation = photo.AutoOrient ? MarkersOrientation(read) : TOrientation::Normal;
        Profile = read.IccProfile;
        ToSrgb = photo.ToSrgb && ColourRoute(read.Components, Profile, true).ConvertToSrgb;
        Markers =
            OutputMarkers(read, photo.Metadata, Orientation != TOrientation::Normal, MetadataWarning, photo.ToSrgb);
        const TPixelSize stored { Image.ImageWidth(), Image.ImageHeight() };
        Upright = Swaps() ? TPixelSize { stored.Height, stored.Width } : stored;
    }

    // Sizes are chosen for the upright picture (a box to fit has a width and a height); the stored picture is
    // decoded at the same size with its sides swapped for a quarter turn, and turned afterwards.
    [[nodiscard]] bool Swaps() const { return OrientationSwapsSides(Orientation); }
    [[nodiscard]] TPixelSize Stored(TPixelSize upright) const
    {
        return Swaps() ? TPixelSize { upright.Height, upright.Width } : upright;
    }

    // Only the reduced picture is turned, and converted: both cost little on the small frame.
    [[nodiscard]] TBitmap Finished(const TBitmap &decoded) const
    {
        TBitmap bitmap = OrientBitmap(decoded, Orientation);
        if (ToSrgb)
            (void)ConvertBitmapToSrgb(bitmap, Profile);
        return bitmap;
    }
};

// A side of 0 pixels would give an empty file that looks like a reduced photo.
[[noreturn]] void ThrowNothingLeft(TPixelSize upright, TPixelSize size)
{
    throw Exception(QStringLiteral("Cannot reduce %1 x %2 pixels: the result would be %3 x %4 pixels")
                        .arg(upright.Width)
                        .arg(upright.Height)
                        .arg(size.Width)
                        .arg(size.Height));
}

// The output's bytes from its picture: encoded at quality, or under the cap, with overlay drawn on it when given
// (on the picture as written at quality, so the encoding's loss is kept; then at the overlay's quality).
void EncodeOutput(TImageOutput &made,
    const TBitmap &bitmap,
    int quality,
    const TJpegMarkers &markers,
    const TOverlaySettings *overlay,
    const TPhotoOptions &photo)
{
    TJPEGImage output;
    output.SetQuality(quality);
    output.SetCoding(photo.Coding);
    output.SetMarkers(markers);
    output.AssignBitmap(bitmap);
    if (overlay != nullptr) {
        output.EncodeJpeg();
        TJPEGTextOverlay renderer;
        renderer.Settings = *overlay;
        renderer.Quality = photo.OverlayQuality;
        renderer.WorkingBitmap() = DecodeJpegStream(output.CompressedData(), false);
        renderer.SetOutputMarkers(markers);
        (void)renderer.RenderAndSave();
        output = renderer.OutputImage();
        output.SetCoding(photo.Coding);
    }
    // Under a cap the cap decides the quality, the overlay's included.
    if (photo.MaxBytes > 0)
        made.Quality = output.EncodeJpegWithin(photo.MaxBytes, photo.MinQuality);
    else {
        output.EncodeJpeg();
        made.Quality = output.Quality();
    }
    made.Bytes = output.CompressedData();
}

} // namespace

std::vector<std::uint8_t> CopiedBytes(const TFileRef &source)
{
    std::vector<std::uint8_t> bytes = ReadWholeFile(source);
    if (bytes.empty())
        throw Exception(QStringLiteral("%1 is empty (0 bytes); it is not copied").arg(source.Path));
    if (bytes.size() < 3 || bytes[0] != 0xFF || bytes[1] != 0xD8 || bytes[2] != 0xFF)
        throw Exception(QStringLiteral("%1 is not a JPEG file").arg(source.Path));
    return bytes;
}

bool CopyImageFile(const TFileRef &source, const TFileRef &destination, QString *reason)
{
    try {
        WriteFileAtomic(destination, CopiedBytes(source), OutputOptions(source));
        return true;
    } catch (const std::exception &error) {
        // The copy reports failure as its result; the caller decides whether to log the reason.
        if (reason != nullptr)
            *reason = PathFromNative(error.what());
        return false;
    }
}

TImageOutput ReduceJpeg(const TFileRef &source,
    int quality,
    double scale,
    const TOverlaySettings *overlay,
    const TResizeOptions &options,
    const TPhotoOptions &photo)
{
    TImageOutput made;
    TBitmap bitmap;
    TJpegMarkers markers;
    QString metadataWarning;
    {
        TLoadedPhoto loaded(source, photo);
        TJPEGImage &image = loaded.Image;
        markers = std::move(loaded.Markers);
        metadataWarning = std::move(loaded.MetadataWarning);
        made.SourceSize = loaded.Upright;
        const TPixelSize size = ReducedSize(made.SourceSize, options, scale);
        const TPixelSize decoded = loaded.Stored(size);
        const bool swap = loaded.Swaps();
        if (options == TResizeOptions {}) {
            // The exact reduction: the target may overhang the bitmap by a pixel, which the bitmap's bounds
            // clip, and the status line reports the target. Decoded row by row, keeping the sampled pixels.
            const TRect target { 0,
                0,
                FloorTimesScale(image.ImageWidth() + 1, scale),
                FloorTimesScale(image.ImageHeight() + 1, scale) };
            made.Reported =
                swap ? TReportedSize { target.Right, target.Bottom } : TReportedSize { target.Bottom, target.Right };
            bitmap = image.StretchedBitmap(decoded.Width, decoded.Height, target);
        } else if (size.Width >= 1 && size.Height >= 1) {
            made.Reported = TReportedSize { size.Height, size.Width };
            bitmap = options.Filter == TResizeFilter::Smooth
                ? image.SmoothBitmap(decoded.Width, decoded.Height)
                : image.StretchedBitmap(decoded.Width, decoded.Height, TRect { 0, 0, decoded.Width, decoded.Height });
        }
        if (bitmap.Empty())
            ThrowNothingLeft(made.SourceSize, size);
        made.Warnings = image.Warnings();
        bitmap = loaded.Finished(bitmap);
    }
    if (!metadataWarning.isEmpty())
        made.Warnings << metadataWarning;
    made.OutputSize = TPixelSize { bitmap.BitmapWidth(), bitmap.BitmapHeight() };
    EncodeOutput(made, bitmap, quality, markers, overlay, photo);
    if (photo.KeepPicture) {
        made.Picture = std::move(bitmap);
        made.Markers = std::move(markers);
    }
    return made;
}

TImageOutput VariantJpeg(const TFileRef &source,
    TBitmap &picture,
    TJpegMarkers &markers,
    TPixelSize &upright,
    const TResizeOptions &size,
    int quality,
    const TOverlaySettings *overlay,
    const TPhotoOptions &photo)
{
    TImageOutput made;
    TPixelSize target = ReducedSize(upright, size, 1.0);
    if (picture.Empty() || target.Width > picture.BitmapWidth() || target.Height > picture.BitmapHeight()) {
        TLoadedPhoto loaded(source, photo);
        markers = std::move(loaded.Markers);
        upright = loaded.Upright;
        target = ReducedSize(upright, size, 1.0);
        if (target.Width < 1 || target.Height < 1)
            ThrowNothingLeft(upright, target);
        // Turned and converted as the main output is, so that the profile written fits the pixels the same way.
        const TPixelSize decoded = loaded.Stored(target);
        picture = loaded.Finished(loaded.Image.SmoothBitmap(decoded.Width, decoded.Height));
        made.Warnings = loaded.Image.Warnings();
    }
    made.SourceSize = upright;
    TBitmap bitmap = picture;
    const QImage from = picture.Image24();
    if (target.Width != from.width() || target.Height != from.height()) {
        TResampler resampler(from.width(), from.height(), target.Width, target.Height);
        for (int y = 0; y < from.height(); ++y)
            resampler.AddRow(from.constScanLine(y));
        bitmap = TBitmap::FromImage(resampler.TakeImage());
    }
    made.OutputSize = target;
    EncodeOutput(made, bitmap, quality, markers, overlay, photo);
    return made;
}

void WriteOutputFile(const TFileRef &source, const TFileRef &destination, const std::vector<std::uint8_t> &bytes)
{
    WriteFileAtomic(destination, bytes, OutputOptions(source));
}

TImageOutput CappedCopy(const TFileRef &source, const TPhotoOptions &photo)
{
    TImageOutput made;
    made.Bytes = CopiedBytes(source);
    if (std::int64_t(made.Bytes.size()) <= photo.MaxBytes)
        return made;
    // Too large as it is: written again at its own size, by the same steps as a reduction.
    TResizeOptions ownSize;
    ownSize.Mode = TSizeMode::LongEdge;
    ownSize.LongEdge = std::numeric_limits<int>::max();
    return ReduceJpeg(source, 100, 1.0, nullptr, ownSize, photo);
}

TImageOutput OverlayJpeg(const TFileRef &source,
    const QString &destination,
    const TOverlaySettings &overlay,
    const TPhotoOptions &photo)
{
    TJPEGTextOverlay renderer;
    renderer.SourceFile = source;
    renderer.Settings = overlay;
    renderer.AutoOrient = photo.AutoOrient;
    renderer.Metadata = photo.Metadata;
    renderer.ToSrgb = photo.ToSrgb;
    renderer.Quality = photo.OverlayQuality;
    (void)renderer.ProcessFile();
    TImageOutput made;
    made.Warnings = renderer.SourceWarnings();
    if (!renderer.MetadataWarning.isEmpty())
        made.Warnings << renderer.MetadataWarning;
    made.SourceSize = made.OutputSize =
        TPixelSize { renderer.WorkingBitmap().BitmapWidth(), renderer.WorkingBitmap().BitmapHeight() };
    TJPEGImage output = renderer.OutputImage();
    output.SetCoding(photo.Coding);
    // A photo that does not fit under the cap is the cap's error, not the overlay's.
    if (photo.MaxBytes > 0) {
        made.Quality = output.EncodeJpegWithin(photo.MaxBytes, photo.MinQuality);
        made.Bytes = output.CompressedData();
        return made;
    }
    try {
        output.EncodeJpeg();
        made.Quality = output.Quality();
        made.Bytes = output.CompressedData();
    } catch (const std::exception &error) {
        throw EOverlayException(WrapMessage("Error saving ", destination, error));
    }
    return made;
}

bool ResizeJpegFile(const TFileRef &source,
    const TFileRef &destination,
    int quality,
    double scale,
    bool addOverlay,
    const TOverlaySettingsProvider &overlay,
    TReportedSize &reported,
    QStringList *warnings,
    const TResizeOptions &options,
    TImageOutput *made,
    const TPhotoOptions &photo)
{
    const bool byPercent = options.Mode == TSizeMode::Percent;
    if (!FileExists(source) || (byPercent && !(scale > 0.0 && scale < 1.0)))
        return false;
    const TOverlaySettings settings = addOverlay ? overlay.CurrentOverlaySettings() : TOverlaySettings {};
    TImageOutput output = ReduceJpeg(source, quality, scale, addOverlay ? &settings : nullptr, options, photo);
    reported = output.Reported;
    KeepWarnings(output.Warnings, warnings);
    WriteFileAtomic(destination, output.Bytes, OutputOptions(source));
    if (made != nullptr) {
        output.Bytes.clear();
        *made = std::move(output);
    }
    return FileExists(destination);
}

void AddOverlayToFile(const TFileRef &source,
    const TFileRef &destination,
    const TOverlaySettingsProvider &overlay,
    QStringList *warnings,
    TImageOutput *made,
    const TPhotoOptions &photo)
{
    const QString folder = QFileInfo(destination.Path).path();
    if (destination.Folder == nullptr && !folder.isEmpty() && !DirectoryExists(folder))
        return;
    TImageOutput output = OverlayJpeg(source, destination.Path, overlay.CurrentOverlaySettings(), photo);
    KeepWarnings(output.Warnings, warnings);
    try {
        WriteFileAtomic(destination, output.Bytes, OutputOptions(source));
    } catch (const std::exception &error) {
        throw EOverlayException(WrapMessage("Error saving ", destination.Path, error));
    }
    if (made != nullptr) {
        output.Bytes.clear();
        *made = std::move(output);
    }
}

} // namespace vellumar
