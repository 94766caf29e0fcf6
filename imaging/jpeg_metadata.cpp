#include "imaging/jpeg_metadata.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "imaging/colour_profile.h"
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

// The code units of text read as one encoding: unitSize bytes each (1, 2 or 4), in the given byte order.
std::u32string CodeUnits(std::span<const std::uint8_t> text, std::size_t unitSize, bool bigEndian)
{
    std::u32string units;
    units.reserve(text.size() / unitSize);
    for (std::size_t at = 0; at + unitSize <= text.size(); at += unitSize) {
        char32_t unit = 0;
        for (std::size_t i = 0; i < unitSize; ++i)
            unit |= char32_t(text[at + (bigEndian ? i : unitSize - 1 - i)]) << (8 * (unitSize - 1 - i));
        units.push_back(unit);
    }
    return units;
}

bool IsNameUnit(char32_t unit)
{
    return unit > 0x7F || (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z') || (unit >= '0' && unit <= '9')
        || unit == '_' || unit == '-' || unit == '.' || unit == ':';
}

bool IsSpaceUnit(char32_t unit)
{
    return unit == ' ' || unit == '\t' || unit == '\r' || unit == '\n';
}

// True when a name in units names a place: an element's name (after "<" or "</") or an attribute's (before
// "="), whatever its namespace, holding gps, latitude, longitude or location in any case. Read without regard
// for quotes, comments or well-formedness, so that no reader's way of parsing finds a name this one misses.
bool NamesAPlace(const std::u32string &units)
{
    constexpr std::string_view kPlaceWords[] = { "gps", "latitude", "longitude", "location" };
    for (std::size_t begin = 0; begin < units.size();) {
        if (!IsNameUnit(units[begin])) {
            ++begin;
            continue;
        }
        std::size_t end = begin;
        std::string name;
        for (; end < units.size() && IsNameUnit(units[end]); ++end)
            name.push_back(units[end] < 0x80 ? char(std::tolower(int(units[end]))) : '?');
        std::size_t before = begin;
        while (before > 0 && IsSpaceUnit(units[before - 1]))
            --before;
        if (before > 0 && units[before - 1] == '/')
            --before;
        std::size_t after = end;
        while (after < units.size() && IsSpaceUnit(units[after]))
            ++after;
        const bool isName = (before > 0 && units[before - 1] == '<') || (after < units.size() && units[after] == '=');
        if (isName) {
            for (const std::string_view word : kPlaceWords) {
                if (name.find(word) != std::string::npos)
                    return true;
            }
        }
        begin = end;
    }
    return false;
}

// An XMP packet may be UTF-8, UTF-16 or UTF-32 in either byte order, with or without a byte order mark: it is
// read in each of them, and is clean only when none shows a name of a place.
bool XmpNamesAPlace(const std::vector<std::uint8_t> &payload)
{
    const std::span<const std::uint8_t> text = std::span(payload).subspan(kXmpSignature.size());
    for (const std::size_t unitSize : { 1, 2, 4 }) {
        for (const bool bigEndian : { false, true }) {
            if ((unitSize > 1 || !bigEndian) && NamesAPlace(CodeUnits(text, unitSize, bigEndian)))
                return true;
        }
    }
    return false;
}

// A Photoshop segment rebuilt from its IPTC-IIM resources alone; empty when it holds none. Every other resource
// goes: the thumbnail of the old picture, and the XMP and EXIF copies a resource may hold. A resource is a
// signature, its number, a name padded to an even length, a 32-bit size and data padded to an even length.
std::vector<std::uint8_t> IptcResourcesOnly(const std::vector<std::uint8_t> &payload)
{
    constexpr std::string_view kResourceSignature = "8BIM";
    constexpr unsigned kIptcResource = 0x0404;
    std::vector<std::uint8_t> out(kIptcSignature.begin(), kIptcSignature.end());
    std::size_t at = kIptcSignature.size();
    while (at + 7 <= payload.size()) {
        const unsigned id = unsigned(payload[at + 4]) << 8 | payload[at + 5];
        const std::size_t sizeAt = at + 6 + ((std::size_t(payload[at + 6]) + 2) & ~std::size_t(1));
        if (sizeAt + 4 > payload.size())
            break;
        const std::uint64_t size = std::uint64_t(payload[sizeAt]) << 24 | std::uint64_t(payload[sizeAt + 1]) << 16
            | std::uint64_t(payload[sizeAt + 2]) << 8 | payload[sizeAt + 3];
        const std::uint64_t end = sizeAt + 4 + size;
        if (end > payload.size())
            break;
        if (std::memcmp(&payload[at], kResourceSignature.data(), 4) == 0 && id == kIptcResource) {
            out.insert(out.end(), payload.begin() + std::ptrdiff_t(at), payload.begin() + std::ptrdiff_t(end));
            if (size % 2 != 0)
                out.push_back(0);
        }
        at = std::size_t(end + size % 2);
    }
    if (out.size() == kIptcSignature.size())
        return {};
    // Only a last resource whose padding the source left off can make the copy a byte longer than a segment.
    if (out.size() > kMaxSegmentPayload)
        out.pop_back();
    return out;
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

TMetadataPresent MetadataPresent(const TJpegMarkers &markers)
{
    TMetadataPresent present { .Icc = !markers.IccProfile.empty() };
    for (const TJpegSegment &segment : markers.Segments) {
        present.Exif = present.Exif || (segment.Marker == kApp1 && IsExifPayload(segment.Payload));
        present.Xmp = present.Xmp || (segment.Marker == kApp1 && StartsWith(segment.Payload, kXmpSignature));
        present.Iptc = present.Iptc || (segment.Marker == kApp13 && StartsWith(segment.Payload, kIptcSignature));
    }
    return present;
}

TOrientation MarkersOrientation(const TJpegMarkers &markers)
{
    for (const TJpegSegment &segment : markers.Segments) {
        if (segment.Marker == kApp1 && IsExifPayload(segment.Payload))
            return ExifOrientation(segment.Payload);
    }
    return TOrientation::Normal;
}

TJpegMarkers
OutputMarkers(const TJpegMarkers &source, TMetadataMode mode, bool turnedUpright, QString &warning, bool toSrgb)
{
    warning.clear();
    TJpegMarkers out;
    switch (ColourRoute(source.Components, source.IccProfile, toSrgb).Profile) {
    case TOutputProfile::opSource:
        out.IccProfile = source.IccProfile;
        break;
    case TOutputProfile::opSrgb:
        out.IccProfile = SrgbProfile();
        break;
    case TOutputProfile::opNone:
        break;
    }
    if (mode == TMetadataMode::mmNone)
        return out;
    const bool noGps = mode == TMetadataMode::mmKeepNoGps;
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
        } else if (segment.Marker == kApp1 && StartsWith(segment.Payload, kXmpSignature)) {
            if (noGps && XmpNamesAPlace(segment.Payload))
                continue;
            out.Segments.push_back(segment);
            if (turnedUpright)
                ResetXmpOrientation(out.Segments.back().Payload);
        } else if (segment.Marker == kApp1 && StartsWith(segment.Payload, kXmpExtensionSignature)) {
            // Extension chunks are parts of a packet that only the whole can be judged by.
            if (!noGps)
                out.Segments.push_back(segment);
        } else if (segment.Marker == kApp13 && StartsWith(segment.Payload, kIptcSignature)) {
            if (std::vector<std::uint8_t> iptc = IptcResourcesOnly(segment.Payload); !iptc.empty())
                out.Segments.push_back({ segment.Marker, std::move(iptc) });
        }
    }
    return out;
}

} // namespace vellumar
