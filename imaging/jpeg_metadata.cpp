#include "imaging/jpeg_metadata.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "imaging/errors.h"
#include "imaging/exif.h"

namespace vellumar
{

namespace
{

constexpr int kApp1 = 0xE1;
constexpr int kApp13 = 0xED;
// The main XMP packet and the extension chunks of a packet too large for one segment.
constexpr std::string_view kXmpSignature { "http://ns.adobe.com/xap/1.0/\0", 29 };
constexpr std::string_view kXmpExtensionSignature { "http://ns.adobe.com/xmp/extension/\0", 35 };
constexpr std::string_view kIptcSignature { "Photoshop 3.0\0", 14 };

bool StartsWith(const std::vector<std::uint8_t> &payload, std::string_view signature)
{
    return payload.size() >= signature.size() && std::memcmp(payload.data(), signature.data(), signature.size()) == 0;
}

bool Contains(const std::vector<std::uint8_t> &payload, std::string_view text)
{
    return std::search(payload.begin(), payload.end(), text.begin(), text.end()) != payload.end();
}

bool IsXmp(const TJpegSegment &segment)
{
    return segment.Marker == kApp1
        && (StartsWith(segment.Payload, kXmpSignature) || StartsWith(segment.Payload, kXmpExtensionSignature));
}

// XMP may repeat the orientation as tiff:Orientation="6" or <tiff:Orientation>6</tiff:Orientation>; the digit
// becomes 1 in place, so the packet keeps its length.
void ResetXmpOrientation(std::vector<std::uint8_t> &payload)
{
    constexpr std::string_view kName = "tiff:Orientation";
    auto at = payload.begin();
    while ((at = std::search(at, payload.end(), kName.begin(), kName.end())) != payload.end()) {
        at += std::ptrdiff_t(kName.size());
        auto value = at;
        while (value != payload.end()
            && (*value == '=' || *value == '"' || *value == '\'' || *value == '>' || *value == ' ' || *value == '\t'
                || *value == '\r' || *value == '\n'))
            ++value;
        if (value != payload.end() && *value >= '2' && *value <= '8'
            && (value + 1 == payload.end() || *(value + 1) < '0' || *(value + 1) > '9'))
            *value = '1';
    }
}

} // namespace

int MarkersOrientation(const TJpegMarkers &markers)
{
    for (const TJpegSegment &segment : markers.Segments) {
        if (segment.Marker == kApp1 && IsExifPayload(segment.Payload))
            return ExifOrientation(segment.Payload);
    }
    return 1;
}

TJpegMarkers OutputMarkers(const TJpegMarkers &source, TMetadataMode mode, bool turnedUpright, QString &warning)
{
    warning.clear();
    TJpegMarkers out;
    out.IccProfile = source.IccProfile;
    if (mode == TMetadataMode::mmNone)
        return out;
    const bool noGps = mode == TMetadataMode::mmKeepNoGps;
    // An XMP packet with GPS data takes its extension chunks with it: they are parts of one packet.
    const bool xmpHasGps = noGps && std::any_of(source.Segments.begin(), source.Segments.end(), [](const auto &s) {
        return IsXmp(s) && (Contains(s.Payload, "GPSLatitude") || Contains(s.Payload, "GPSLongitude"));
    });
    bool exifSeen = false;
    for (const TJpegSegment &segment : source.Segments) {
        if (segment.Payload.size() > kMaxSegmentPayload)
            continue;
        if (segment.Marker == kApp1 && IsExifPayload(segment.Payload)) {
            // Only the first EXIF segment counts, as for every reader.
            if (exifSeen)
                continue;
            exifSeen = true;
            try {
                out.Segments.push_back({ segment.Marker,
                    RewriteExif(segment.Payload, { .ResetOrientation = turnedUpright, .RemoveGps = noGps }) });
            } catch (const EInvalidGraphic &error) {
                warning = QStringLiteral("EXIF data dropped: %1").arg(error.Message());
            }
        } else if (IsXmp(segment)) {
            if (xmpHasGps)
                continue;
            out.Segments.push_back(segment);
            if (turnedUpright && StartsWith(segment.Payload, kXmpSignature))
                ResetXmpOrientation(out.Segments.back().Payload);
        } else if (segment.Marker == kApp13 && StartsWith(segment.Payload, kIptcSignature)) {
            out.Segments.push_back(segment);
        }
    }
    return out;
}

} // namespace vellumar
