#include "imaging/exif.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>

#include <QString>

#include "imaging/errors.h"

namespace vellumar
{

namespace
{

constexpr std::size_t kTiffStart = sizeof(kExifSignature);
constexpr std::size_t kEntrySize = 12;
constexpr std::uint16_t kTagOrientation = 0x0112;
constexpr std::uint16_t kTagGpsIfd = 0x8825;
constexpr std::uint16_t kTagThumbnailOffset = 0x0201;
constexpr std::uint16_t kTagThumbnailLength = 0x0202;
constexpr std::uint16_t kTagStripOffsets = 0x0111;
constexpr std::uint16_t kTagStripByteCounts = 0x0117;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;

// Bytes per value of each TIFF field type; 0 for unknown types, whose values are never followed.
std::uint32_t TypeSize(std::uint16_t type)
{
    switch (type) {
    case 1: // BYTE
    case 2: // ASCII
    case 6: // SBYTE
    case 7: // UNDEFINED
        return 1;
    case 3: // SHORT
    case 8: // SSHORT
        return 2;
    case 4: // LONG
    case 9: // SLONG
    case 11: // FLOAT
    case 13: // IFD
        return 4;
    case 5: // RATIONAL
    case 10: // SRATIONAL
    case 12: // DOUBLE
        return 8;
    default:
        return 0;
    }
}

struct TRange {
    std::size_t Begin = 0;
    std::size_t End = 0;
};

// The TIFF structure inside one payload. Offsets are from the TIFF header, as the format counts them; every
// access checks them against the payload, so a hostile offset or count reads nothing.
class TTiff
{
public:
    explicit TTiff(std::span<std::uint8_t> tiff)
        : mTiff(tiff)
    {
    }

    // False when the header is not a TIFF header or IFD0 does not fit.
    bool Open()
    {
        if (mTiff.size() < 8)
            return Fail("no TIFF header");
        if (mTiff[0] == 'I' && mTiff[1] == 'I')
            mBigEndian = false;
        else if (mTiff[0] == 'M' && mTiff[1] == 'M')
            mBigEndian = true;
        else
            return Fail("unknown byte order");
        if (Read16(2) != 42)
            return Fail("not a TIFF header");
        mIfd0 = Read32(4);
        if (!DirectoryFits(mIfd0))
            return Fail("IFD0 outside the segment");
        return true;
    }

    [[nodiscard]] const char *Reason() const { return mReason; }
    [[nodiscard]] std::size_t Size() const { return mTiff.size(); }

    // Checked before use: the directory's count, its entries and the next-IFD link all inside the data.
    [[nodiscard]] bool DirectoryFits(std::uint64_t offset) const
    {
        if (offset < 8 || offset + 2 > mTiff.size())
            return false;
        return offset + 2 + std::uint64_t(Read16(std::size_t(offset))) * kEntrySize + 4 <= mTiff.size();
    }

    [[nodiscard]] std::uint16_t EntryCount(std::size_t directory) const { return Read16(directory); }
    [[nodiscard]] std::size_t Entry(std::size_t directory, std::size_t index) const
    {
        return directory + 2 + index * kEntrySize;
    }
    [[nodiscard]] std::size_t NextLink(std::size_t directory) const { return Entry(directory, EntryCount(directory)); }
    [[nodiscard]] TRange Directory(std::size_t directory) const { return { directory, NextLink(directory) + 4 }; }

    [[nodiscard]] std::uint16_t Tag(std::size_t entry) const { return Read16(entry); }
    [[nodiscard]] std::uint16_t Type(std::size_t entry) const { return Read16(entry + 2); }
    [[nodiscard]] std::uint32_t Count(std::size_t entry) const { return Read32(entry + 4); }

    // The entry whose tag is tag, in directory.
    [[nodiscard]] std::optional<std::size_t> Find(std::size_t directory, std::uint16_t tag) const
    {
        for (std::size_t i = 0; i < EntryCount(directory); ++i) {
            if (Tag(Entry(directory, i)) == tag)
                return Entry(directory, i);
        }
        return std::nullopt;
    }

    // A single SHORT or LONG value (an offset, a length, an orientation).
    [[nodiscard]] std::optional<std::uint32_t> Scalar(std::size_t entry) const
    {
        if (Count(entry) != 1)
            return std::nullopt;
        if (Type(entry) == kTypeShort)
            return Read16(entry + 8);
        if (Type(entry) == kTypeLong || Type(entry) == 13)
            return Read32(entry + 8);
        return std::nullopt;
    }

    // Where the entry's values lie when they do not fit in the entry itself; nothing when they do or when
    // they would reach past the data.
    [[nodiscard]] std::optional<TRange> OutOfLineValues(std::size_t entry) const
    {
        const std::uint64_t bytes = std::uint64_t(Count(entry)) * TypeSize(Type(entry));
        if (bytes <= 4)
            return std::nullopt;
        const std::uint64_t offset = Read32(entry + 8);
        if (offset + bytes > mTiff.size())
            return std::nullopt;
        return TRange { std::size_t(offset), std::size_t(offset + bytes) };
    }

    // The i-th value of a SHORT or LONG array, read inline or out of line.
    [[nodiscard]] std::optional<std::uint32_t> ArrayValue(std::size_t entry, std::uint32_t i) const
    {
        const std::uint32_t size = Type(entry) == kTypeShort ? 2 : (Type(entry) == kTypeLong ? 4 : 0);
        if (size == 0 || i >= Count(entry))
            return std::nullopt;
        std::uint64_t at = entry + 8 + std::uint64_t(i) * size;
        if (std::uint64_t(Count(entry)) * size > 4) {
            at = std::uint64_t(Read32(entry + 8)) + std::uint64_t(i) * size;
            if (at + size > mTiff.size())
                return std::nullopt;
        }
        return size == 2 ? Read16(std::size_t(at)) : Read32(std::size_t(at));
    }

    [[nodiscard]] std::uint16_t Read16(std::size_t at) const
    {
        const unsigned a = mTiff[at];
        const unsigned b = mTiff[at + 1];
        return std::uint16_t(mBigEndian ? (a << 8) | b : (b << 8) | a);
    }
    [[nodiscard]] std::uint32_t Read32(std::size_t at) const
    {
        const std::uint32_t high = Read16(at + (mBigEndian ? 0 : 2));
        const std::uint32_t low = Read16(at + (mBigEndian ? 2 : 0));
        return (high << 16) | low;
    }
    void Write16(std::size_t at, std::uint16_t value)
    {
        mTiff[at + (mBigEndian ? 0 : 1)] = std::uint8_t(value >> 8);
        mTiff[at + (mBigEndian ? 1 : 0)] = std::uint8_t(value & 0xFF);
    }
    void Write32(std::size_t at, std::uint32_t value)
    {
        Write16(at + (mBigEndian ? 0 : 2), std::uint16_t(value >> 16));
        Write16(at + (mBigEndian ? 2 : 0), std::uint16_t(value & 0xFFFF));
    }
    [[nodiscard]] std::size_t Ifd0() const { return mIfd0; }
    std::span<std::uint8_t> Bytes() { return mTiff; }

private:
    bool Fail(const char *reason)
    {
        mReason = reason;
        return false;
    }

    std::span<std::uint8_t> mTiff;
    bool mBigEndian = false;
    std::size_t mIfd0 = 0;
    const char *mReason = "";
};

bool Overlaps(const TRange &a, const TRange &b)
{
    return a.Begin < b.End && b.Begin < a.End;
}

// Zeroes ranges of the TIFF data that are dropped, never touching the TIFF header or IFD0's own directory (a
// hostile offset may point into them), and remembers them so that a dropped tail can be cut off.
class TDropper
{
public:
    TDropper(TTiff &tiff, TRange ifd0)
        : mTiff(tiff)
        , mKept { TRange { 0, 8 }, ifd0 }
    {
    }

    void Drop(TRange range)
    {
        if (range.End <= range.Begin || range.End > mTiff.Size() || Overlaps(range, mKept[0])
            || Overlaps(range, mKept[1]))
            return;
        std::fill(mTiff.Bytes().begin() + std::ptrdiff_t(range.Begin),
            mTiff.Bytes().begin() + std::ptrdiff_t(range.End),
            std::uint8_t(0));
        mDropped.push_back(range);
    }

    // A directory with the values its entries hold out of line, and for IFD1 the thumbnail they locate.
    // The directory is read in full before any of it is zeroed.
    void DropDirectory(std::size_t directory)
    {
        // Checked again here: moving IFD0's entries may have changed a directory that overlaps it.
        if (!mTiff.DirectoryFits(directory))
            return;
        std::vector<TRange> ranges { mTiff.Directory(directory) };
        const std::size_t count = mTiff.EntryCount(directory);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = mTiff.Entry(directory, i);
            if (const std::optional<TRange> values = mTiff.OutOfLineValues(entry))
                ranges.push_back(*values);
        }
        const std::optional<std::size_t> offset = mTiff.Find(directory, kTagThumbnailOffset);
        const std::optional<std::size_t> length = mTiff.Find(directory, kTagThumbnailLength);
        if (offset && length) {
            const std::optional<std::uint32_t> begin = mTiff.Scalar(*offset);
            const std::optional<std::uint32_t> bytes = mTiff.Scalar(*length);
            if (begin && bytes)
                ranges.push_back({ *begin, std::size_t(std::uint64_t(*begin) + *bytes) });
        }
        // Uncompressed thumbnails lie in strips; strip counts are bounded by the entries' own checks.
        const std::optional<std::size_t> strips = mTiff.Find(directory, kTagStripOffsets);
        const std::optional<std::size_t> stripBytes = mTiff.Find(directory, kTagStripByteCounts);
        if (strips && stripBytes) {
            const std::uint32_t stripCount = std::min(mTiff.Count(*strips), mTiff.Count(*stripBytes));
            for (std::uint32_t i = 0; i < stripCount && i < mTiff.Size(); ++i) {
                const std::optional<std::uint32_t> begin = mTiff.ArrayValue(*strips, i);
                const std::optional<std::uint32_t> bytes = mTiff.ArrayValue(*stripBytes, i);
                if (!begin || !bytes)
                    break;
                ranges.push_back({ *begin, std::size_t(std::uint64_t(*begin) + *bytes) });
            }
        }
        for (const TRange &range : ranges)
            Drop(range);
    }

    // Where the data may end: at the start of a dropped run that reaches the end, never inside IFD0.
    [[nodiscard]] std::size_t KeptLength()
    {
        std::sort(mDropped.begin(), mDropped.end(), [](const TRange &a, const TRange &b) {
            return a.Begin < b.Begin;
        });
        std::size_t end = mTiff.Size();
        for (auto it = mDropped.rbegin(); it != mDropped.rend(); ++it) {
            if (it->End >= end && it->Begin < end)
                end = it->Begin;
        }
        return std::max(end, mKept[1].End);
    }

private:
    TTiff &mTiff;
    TRange mKept[2];
    std::vector<TRange> mDropped;
};

} // namespace

bool IsExifPayload(std::span<const std::uint8_t> payload)
{
    return payload.size() >= kTiffStart && std::memcmp(payload.data(), kExifSignature, kTiffStart) == 0;
}

int ExifOrientation(std::span<const std::uint8_t> payload)
{
    if (!IsExifPayload(payload))
        return 1;
    // Read-only: the span is only ever read through TTiff's reads.
    TTiff tiff({ const_cast<std::uint8_t *>(payload.data()) + kTiffStart, payload.size() - kTiffStart });
    if (!tiff.Open())
        return 1;
    const std::optional<std::size_t> entry = tiff.Find(tiff.Ifd0(), kTagOrientation);
    if (!entry || tiff.Type(*entry) != kTypeShort)
        return 1;
    const std::optional<std::uint32_t> value = tiff.Scalar(*entry);
    return value && *value >= 1 && *value <= 8 ? int(*value) : 1;
}

std::vector<std::uint8_t> RewriteExif(std::span<const std::uint8_t> payload, const TExifEdit &edit)
{
    if (!IsExifPayload(payload))
        throw EInvalidGraphic("Malformed EXIF data (no EXIF signature)");
    std::vector<std::uint8_t> out(payload.begin(), payload.end());
    TTiff tiff({ out.data() + kTiffStart, out.size() - kTiffStart });
    if (!tiff.Open())
        throw EInvalidGraphic(QStringLiteral("Malformed EXIF data (%1)").arg(QLatin1String(tiff.Reason())));
    const std::size_t ifd0 = tiff.Ifd0();

    if (edit.ResetOrientation) {
        const std::optional<std::size_t> entry = tiff.Find(ifd0, kTagOrientation);
        if (entry && tiff.Type(*entry) == kTypeShort && tiff.Count(*entry) == 1)
            tiff.Write16(*entry + 8, 1);
    }

    std::optional<std::size_t> gps;
    if (edit.RemoveGps) {
        if (const std::optional<std::size_t> entry = tiff.Find(ifd0, kTagGpsIfd)) {
            if (const std::optional<std::uint32_t> offset = tiff.Scalar(*entry); offset && tiff.DirectoryFits(*offset))
                gps = *offset;
            // The entries after the pointer, and the next-IFD link, move up over it; the freed last slot is zeroed.
            const std::size_t end = tiff.NextLink(ifd0) + 4;
            std::memmove(&out[kTiffStart + *entry], &out[kTiffStart + *entry + kEntrySize], end - *entry - kEntrySize);
            std::fill(&out[kTiffStart + end - kEntrySize], &out[kTiffStart + end], std::uint8_t(0));
            tiff.Write16(ifd0, std::uint16_t(tiff.EntryCount(ifd0) - 1));
        }
    }
    // Only now is IFD0 final: everything dropped below is kept clear of it.
    TDropper dropper(tiff, tiff.Directory(ifd0));
    if (gps)
        dropper.DropDirectory(*gps);
    const std::size_t link = tiff.NextLink(ifd0);
    const std::uint32_t ifd1 = tiff.Read32(link);
    tiff.Write32(link, 0);
    if (ifd1 != 0 && tiff.DirectoryFits(ifd1))
        dropper.DropDirectory(ifd1);
    out.resize(kTiffStart + dropper.KeptLength());
    return out;
}

} // namespace vellumar
