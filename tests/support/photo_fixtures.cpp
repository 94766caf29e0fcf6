#include "tests/support/photo_fixtures.h"

#include <algorithm>

namespace vellumar::test
{

namespace
{

class TTiffWriter
{
public:
    explicit TTiffWriter(bool bigEndian)
        : mBig(bigEndian)
    {
    }
    void Put16(std::size_t at, unsigned value)
    {
        Grow(at + 2);
        mBytes[at + (mBig ? 0 : 1)] = std::uint8_t(value >> 8);
        mBytes[at + (mBig ? 1 : 0)] = std::uint8_t(value);
    }
    void Put32(std::size_t at, std::uint32_t value)
    {
        Put16(at + (mBig ? 0 : 2), value >> 16);
        Put16(at + (mBig ? 2 : 0), value & 0xFFFF);
    }
    void Entry(std::size_t at, unsigned tag, unsigned type, std::uint32_t count, std::uint32_t value)
    {
        Put16(at, tag);
        Put16(at + 2, type);
        Put32(at + 4, count);
        if (type == 3 && count == 1) {
            Put32(at + 8, 0);
            Put16(at + 8, value);
        } else {
            Put32(at + 8, value);
        }
    }
    void Text(std::size_t at, const std::string &text)
    {
        Grow(at + text.size());
        std::copy(text.begin(), text.end(), mBytes.begin() + long(at));
    }
    std::vector<std::uint8_t> &Bytes() { return mBytes; }

private:
    void Grow(std::size_t size)
    {
        if (mBytes.size() < size)
            mBytes.resize(size);
    }
    bool mBig;
    std::vector<std::uint8_t> mBytes;
};

} // namespace

std::vector<std::uint8_t> MakeExif(const TExifOptions &options)
{
    TTiffWriter tiff(options.BigEndian);
    tiff.Text(0, options.BigEndian ? "MM" : "II");
    tiff.Put16(2, 42);
    tiff.Put32(4, 8);
    const unsigned entries = 1 + (options.Orientation != 0 ? 1 : 0) + (options.Gps ? 1 : 0);
    const std::size_t ifd0 = 8;
    const std::size_t values = ifd0 + 2 + 12 * entries + 4;
    const std::string make = kExifCameraMark + '\0';
    const std::size_t gps = values + make.size() + 1;
    const std::size_t gpsValues = gps + 2 + 12 + 4;
    const std::size_t ifd1 = gpsValues + kExifGpsMark.size();
    const std::size_t thumbnail = ifd1 + 2 + 2 * 12 + 4;
    const std::string thumbnailBytes = "\xFF\xD8" + kExifThumbnailMark + "\xFF\xD9";

    tiff.Put16(ifd0, entries);
    std::size_t entry = ifd0 + 2;
    tiff.Entry(entry, 0x010F, 2, std::uint32_t(make.size()), std::uint32_t(values));
    entry += 12;
    if (options.Orientation != 0) {
        tiff.Entry(entry, 0x0112, 3, 1, std::uint32_t(options.Orientation));
        entry += 12;
    }
    if (options.Gps) {
        tiff.Entry(entry, 0x8825, 4, 1, std::uint32_t(gps));
        entry += 12;
    }
    tiff.Put32(entry, options.Thumbnail ? std::uint32_t(ifd1) : 0);
    tiff.Text(values, make);
    if (options.Gps) {
        tiff.Put16(gps, 1);
        tiff.Entry(gps + 2, 0x0002, 5, 3, std::uint32_t(gpsValues));
        tiff.Put32(gps + 14, 0);
        tiff.Text(gpsValues, kExifGpsMark);
    }
    if (options.Thumbnail) {
        tiff.Put16(ifd1, 2);
        tiff.Entry(ifd1 + 2, 0x0201, 4, 1, std::uint32_t(thumbnail));
        tiff.Entry(ifd1 + 14, 0x0202, 4, 1, std::uint32_t(thumbnailBytes.size()));
        tiff.Put32(ifd1 + 26, 0);
        tiff.Text(thumbnail, thumbnailBytes);
    }
    std::vector<std::uint8_t> payload { 'E', 'x', 'i', 'f', 0, 0 };
    payload.insert(payload.end(), tiff.Bytes().begin(), tiff.Bytes().end());
    return payload;
}

TTiffEntry AsciiEntry(std::uint16_t tag, const std::string &text)
{
    return { tag, 2, std::uint32_t(text.size() + 1), text + '\0' };
}

TTiffEntry ShortEntry(std::uint16_t tag, std::uint16_t value)
{
    return { tag, 3, 1, std::string { char(value & 0xFF), char(value >> 8) } };
}

TTiffEntry RationalEntry(std::uint16_t tag, const std::vector<std::uint32_t> &numerators)
{
    TTiffWriter values(false);
    for (std::size_t i = 0; i < numerators.size(); ++i) {
        values.Put32(8 * i, numerators[i]);
        values.Put32(8 * i + 4, 1);
    }
    return { tag, 5, std::uint32_t(numerators.size()), { values.Bytes().begin(), values.Bytes().end() } };
}

TTiffEntry UndefinedEntry(std::uint16_t tag, const std::string &bytes)
{
    return { tag, 7, std::uint32_t(bytes.size()), bytes };
}

TTiffEntry PointerEntry(std::uint16_t tag, int directory)
{
    return { tag, 4, 1, {}, directory };
}

std::vector<std::uint8_t> MakeTiffExif(const std::vector<TTiffDirectory> &directories)
{
    const auto outOfLine = [](const TTiffEntry &entry) {
        return entry.Target < 0 && entry.Value.size() > 4;
    };
    std::vector<std::size_t> offsets;
    std::size_t at = 8;
    for (const TTiffDirectory &directory : directories) {
        offsets.push_back(at);
        at += 2 + 12 * directory.Entries.size() + 4;
        for (const TTiffEntry &entry : directory.Entries)
            at += outOfLine(entry) ? (entry.Value.size() + 1) & ~std::size_t(1) : 0;
    }
    TTiffWriter tiff(false);
    tiff.Text(0, "II");
    tiff.Put16(2, 42);
    tiff.Put32(4, 8);
    for (std::size_t d = 0; d < directories.size(); ++d) {
        const TTiffDirectory &directory = directories[d];
        std::size_t entry = offsets[d];
        std::size_t values = entry + 2 + 12 * directory.Entries.size() + 4;
        tiff.Put16(entry, unsigned(directory.Entries.size()));
        entry += 2;
        for (const TTiffEntry &e : directory.Entries) {
            tiff.Put16(entry, e.Tag);
            tiff.Put16(entry + 2, e.Type);
            tiff.Put32(entry + 4, e.Count);
            if (e.Target >= 0) {
                tiff.Put32(entry + 8, std::uint32_t(offsets[std::size_t(e.Target)]));
            } else if (outOfLine(e)) {
                tiff.Put32(entry + 8, std::uint32_t(values));
                tiff.Text(values, e.Value);
                values += (e.Value.size() + 1) & ~std::size_t(1);
            } else {
                tiff.Put32(entry + 8, 0);
                tiff.Text(entry + 8, e.Value);
            }
            entry += 12;
        }
        tiff.Put32(entry, directory.Next >= 0 ? std::uint32_t(offsets[std::size_t(directory.Next)]) : 0);
    }
    tiff.Bytes().resize(at);
    std::vector<std::uint8_t> payload { 'E', 'x', 'i', 'f', 0, 0 };
    payload.insert(payload.end(), tiff.Bytes().begin(), tiff.Bytes().end());
    return payload;
}

std::vector<std::uint8_t>
IccChunk(int number, int count, const std::vector<std::uint8_t>::const_iterator first, std::size_t length)
{
    const std::string signature("ICC_PROFILE\0", 12);
    std::vector<std::uint8_t> payload(signature.begin(), signature.end());
    payload.push_back(std::uint8_t(number));
    payload.push_back(std::uint8_t(count));
    payload.insert(payload.end(), first, first + long(length));
    return payload;
}

std::vector<std::uint8_t> WithSegments(const std::vector<std::uint8_t> &jpeg, const std::vector<TSegment> &segments)
{
    std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    for (const TSegment &segment : segments) {
        const std::size_t length = segment.Payload.size() + 2;
        out.insert(out.end(),
            { 0xFF, std::uint8_t(segment.Marker), std::uint8_t(length >> 8), std::uint8_t(length & 0xFF) });
        out.insert(out.end(), segment.Payload.begin(), segment.Payload.end());
    }
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

std::vector<std::vector<std::uint8_t>> SegmentsOf(const std::vector<std::uint8_t> &jpeg, int marker)
{
    std::vector<std::vector<std::uint8_t>> found;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA) {
        const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (jpeg[at + 1] == marker && at + 2 + length <= jpeg.size())
            found.emplace_back(jpeg.begin() + long(at + 4), jpeg.begin() + long(at + 2 + length));
        at += 2 + length;
    }
    return found;
}

bool ContainsText(const std::vector<std::uint8_t> &bytes, const std::string &text)
{
    return std::search(bytes.begin(), bytes.end(), text.begin(), text.end()) != bytes.end();
}

} // namespace vellumar::test
