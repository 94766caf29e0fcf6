#include "imaging/photo_facts.h"

#include <exception>

#include "imaging/file_io.h"
#include "imaging/native_name.h"
#include "imaging/orientation.h"

namespace vellumar
{

bool TPhotoFacts::SwapsSides() const
{
    return OrientationSwapsSides(Orientation);
}

TPhotoFacts ReadPhotoFacts(const TFileRef &file)
{
    TPhotoFacts facts;
    try {
        std::uint64_t fileBytes = 0;
        std::vector<std::uint8_t> head = ReadFileHead(file, kPhotoHeadBytes, fileBytes);
        facts.FileBytes = std::int64_t(fileBytes);
        TJpegMarkers markers;
        try {
            facts.Header = ReadJpegStreamHeader(head, &markers);
        } catch (const std::exception &) {
            // Markers beyond the bytes read hide the frame: the whole file tells.
            if (fileBytes <= head.size())
                throw;
            head = ReadWholeFile(file);
            facts.Header = ReadJpegStreamHeader(head, &markers);
        }
        facts.Orientation = MarkersOrientation(markers);
        for (const TJpegSegment &segment : markers.Segments) {
            if (segment.Marker == 0xE1 && IsExifPayload(segment.Payload)) {
                facts.Exif = ExifFacts(segment.Payload);
                break;
            }
        }
        if (const std::optional<TFileFacts> stat = StatFile(file))
            facts.ModifiedSeconds = stat->ModifiedSeconds;
        facts.Present = MetadataPresent(markers);
        facts.Read = true;
    } catch (const std::exception &error) {
        facts.Problem = PathFromNative(error.what());
    }
    return facts;
}

} // namespace vellumar
