// Feeds the fuzzed bytes to the EXIF reader and rewriter as an APP1 payload, and through the choice of output
// segments as EXIF, as an XMP packet and as a Photoshop segment. Every rewrite must be no longer than its
// input, say orientation 1 when asked to, and be readable again; anything else must end in the program's own
// exception. A chosen segment never outgrows what a segment can hold.
#include <cstdint>
#include <span>
#include <string_view>

#include <QString>

#include "imaging/errors.h"
#include "imaging/exif.h"
#include "imaging/jpeg_metadata.h"
#include "tests/fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace vellumar;
    // Inputs without the signature would stop at the first check: give most of them one.
    std::vector<std::uint8_t> payload;
    if (size > 0 && (data[0] & 1) != 0)
        payload.assign(std::begin(kExifSignature), std::end(kExifSignature));
    if (size > 0)
        payload.insert(payload.end(), data + 1, data + size);

    const TOrientation orientation = ExifOrientation(payload);
    VELLUMAR_FUZZ_CHECK(ExifValue(orientation) >= 1 && ExifValue(orientation) <= 8);
    for (const bool reset : { false, true }) {
        for (const bool noGps : { false, true }) {
            try {
                const std::vector<std::uint8_t> out =
                    RewriteExif(payload, { .ResetOrientation = reset, .RemoveGps = noGps });
                VELLUMAR_FUZZ_CHECK(out.size() <= payload.size());
                VELLUMAR_FUZZ_CHECK(!reset || ExifOrientation(out) == TOrientation::Normal);
                VELLUMAR_FUZZ_CHECK(reset || ExifOrientation(out) == orientation);
                VELLUMAR_FUZZ_CHECK(RewriteExif(out, {}).size() <= out.size());
            } catch (const EInvalidGraphic &) {
            }
        }
    }

    std::vector<TJpegSegment> segments { { 0xE1, payload } };
    for (const std::string_view signature :
        { std::string_view("http://ns.adobe.com/xap/1.0/\0", 29), std::string_view("Photoshop 3.0\0", 14) }) {
        std::vector<std::uint8_t> other(signature.begin(), signature.end());
        if (size > 0)
            other.insert(other.end(), data + 1, data + size);
        segments.push_back({ signature[0] == 'P' ? 0xED : 0xE1, other });
    }
    for (const TJpegSegment &segment : segments) {
        TJpegMarkers markers;
        markers.Segments.push_back(segment);
        for (const TMetadataMode mode : { TMetadataMode::mmNone, TMetadataMode::mmKeep, TMetadataMode::mmKeepNoGps }) {
            QString warning;
            const TJpegMarkers out = OutputMarkers(markers, mode, true, warning);
            VELLUMAR_FUZZ_CHECK(out.Segments.size() <= 1);
            for (const TJpegSegment &kept : out.Segments) {
                VELLUMAR_FUZZ_CHECK(kept.Payload.size() <= kMaxSegmentPayload);
                VELLUMAR_FUZZ_CHECK(kept.Payload.size() <= segment.Payload.size() + (kept.Marker == 0xED ? 1 : 0));
            }
        }
    }
    return 0;
}
