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
constexpr std::uint16_t kTagExifIfd = 0x8769;
constexpr std::uint16_t kTagInteropIfd = 0xA005;
constexpr std::uint16_t kTagXmp = 0x02BC;
constexpr std::uint16_t kTagPhotoshop = 0x8649;
constexpr std::uint16_t kTagThumbnailOffset = 0x0201;
constexpr std::uint16_t kTagThumbnailLength = 0x0202;
constexpr std::uint16_t kTagStripOffsets = 0x0111;
constexpr std::uint16_t kTagStripByteCounts = 0x0117;
constexpr std::uint16_t kTypeShort = 3;
constexpr std::uint16_t kTypeLong = 4;
// Readers follow a handful of directory pointers; a hostile web of them is not followed further.
constexpr std::size_t kMaxDirectories = 32;

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

    // Where the entry's values lie when they do not fit in the entry itself, cut at the end of the data; nothing
    // when they fit in the entry or start past the data.
    [[nodiscard]] std::optional<TRange> OutOfLineValues(std::size_t entry) const
    {
        const std::uint64_t bytes = std::uint64_t(Count(entry)) * TypeSize(Type(entry));
        if (bytes <= 4)
            return std::nullopt;
        return Clamped(Read32(entry + 8), bytes);
    }

    // offset and length counted from the TIFF header, cut at the end of the data; nothing when empty.
    [[nodiscard]] std::optional<TRange> Clamped(std::uint64_t offset, std::uint64_t length) const
    {
        if (offset >= mTiff.size() || length == 0)
            return std::nullopt;
        return TRange { std::size_t(offset), std::size_t(std::min<std::uint64_t>(offset + length, mTiff.size())) };
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

// ranges sorted and joined where they touch or overlap, empty ones left out.
std::vector<TRange> Joined(std::vector<TRange> ranges)
{
    std::sort(ranges.begin(), ranges.end(), [](const TRange &a, const TRange &b) {
        return a.Begin < b.Begin;
    });
    std::vector<TRange> joined;
    for (const TRange &range : ranges) {
        if (range.End <= range.Begin)
            continue;
        if (!joined.empty() && range.Begin <= joined.back().End)
            joined.back().End = std::max(joined.back().End, range.End);
        else
            joined.push_back(range);
    }
    return joined;
}

// The parts of dropped that lie outside every kept range; both are Joined.
std::vector<TRange> Outside(const std::vector<TRange> &dropped, const std::vector<TRange> &kept)
{
    std::vector<TRange> parts;
    auto next = kept.begin();
    for (TRange range : dropped) {
        while (next != kept.end() && next->End <= range.Begin)
            ++next;
        for (auto k = next; k != kept.end() && k->Begin < range.End; ++k) {
            if (k->Begin > range.Begin)
                parts.push_back({ range.Begin, k->Begin });
            range.Begin = std::max(range.Begin, k->End);
        }
        if (range.Begin < range.End)
            parts.push_back(range);
    }
    return parts;
}

// The bytes an entry reaches beyond its 12 bytes: its values held out of line, and the picture that a
// thumbnail offset or strip offsets locate (with the length entries of the same directory).
void AddReach(const TTiff &tiff, std::size_t directory, std::size_t entry, std::vector<TRange> &ranges)
{
    if (const std::optional<TRange> values = tiff.OutOfLineValues(entry))
        ranges.push_back(*values);
    if (tiff.Tag(entry) == kTagThumbnailOffset) {
        const std::optional<std::size_t> length = tiff.Find(directory, kTagThumbnailLength);
        const std::optional<std::uint32_t> begin = tiff.Scalar(entry);
        const std::optional<std::uint32_t> bytes = length ? tiff.Scalar(*length) : std::nullopt;
        if (begin && bytes) {
            if (const std::optional<TRange> thumbnail = tiff.Clamped(*begin, *bytes))
                ranges.push_back(*thumbnail);
        }
    } else if (tiff.Tag(entry) == kTagStripOffsets) {
        // Uncompressed thumbnails lie in strips; strip counts are bounded by the entries' own checks.
        const std::optional<std::size_t> stripBytes = tiff.Find(directory, kTagStripByteCounts);
        if (!stripBytes)
            return;
        const std::uint32_t stripCount = std::min(tiff.Count(entry), tiff.Count(*stripBytes));
        for (std::uint32_t i = 0; i < stripCount && i < tiff.Size(); ++i) {
            const std::optional<std::uint32_t> begin = tiff.ArrayValue(entry, i);
            const std::optional<std::uint32_t> bytes = tiff.ArrayValue(*stripBytes, i);
            if (!begin || !bytes)
                break;
            if (const std::optional<TRange> strip = tiff.Clamped(*begin, *bytes))
                ranges.push_back(*strip);
        }
    }
}

// The entries a rewrite takes out of the directories it keeps. Thumbnail pointers and Photoshop's resources
// (which may hold a thumbnail) would show the old picture; without GPS, the GPS pointers and the XMP packet
// that readers also take from a TIFF directory go as well.
bool IsRemoved(std::uint16_t tag, const TExifEdit &edit)
{
    if (tag == kTagThumbnailOffset || tag == kTagThumbnailLength || tag == kTagPhotoshop)
        return true;
    return edit.RemoveGps && (tag == kTagGpsIfd || tag == kTagXmp);
}

bool Holds(const std::vector<std::size_t> &list, std::size_t value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Bytes of one kept directory that a rewrite changes.
struct TDirectoryEdit {
    std::size_t Directory = 0;
    TRange Bytes;
};

} // namespace

bool IsExifPayload(std::span<const std::uint8_t> payload)
{
    return payload.size() >= kTiffStart && std::memcmp(payload.data(), kExifSignature, kTiffStart) == 0;
}

TOrientation ExifOrientation(std::span<const std::uint8_t> payload)
{
    if (!IsExifPayload(payload))
        return TOrientation::Normal;
    // Read-only: the span is only ever read through TTiff's reads.
    TTiff tiff({ const_cast<std::uint8_t *>(payload.data()) + kTiffStart, payload.size() - kTiffStart });
    if (!tiff.Open())
        return TOrientation::Normal;
    const std::optional<std::size_t> entry = tiff.Find(tiff.Ifd0(), kTagOrientation);
    if (!entry || tiff.Type(*entry) != kTypeShort)
        return TOrientation::Normal;
    const std::optional<std::uint32_t> value = tiff.Scalar(*entry);
    return value ? OrientationFromExif(*value) : TOrientation::Normal;
}

namespace
{

constexpr std::uint16_t kTagModel = 0x0110;
constexpr std::uint16_t kTagDateTimeOriginal = 0x9003;
constexpr std::uint16_t kTypeAscii = 2;
// Longer texts are not a camera's name or a date.
constexpr std::uint32_t kMaxExifText = 256;

// An ASCII entry's text up to its first NUL, only printable ASCII kept.
std::string AsciiText(const TTiff &tiff, std::span<const std::uint8_t> data, std::size_t entry)
{
    const std::uint32_t count = tiff.Count(entry);
    if (tiff.Type(entry) != kTypeAscii || count == 0 || count > kMaxExifText)
        return {};
    std::size_t at = entry + 8;
    if (count > 4) {
        const std::optional<TRange> range = tiff.OutOfLineValues(entry);
        if (!range)
            return {};
        at = range->Begin;
    }
    std::string text;
    for (std::size_t i = at; i < std::min<std::size_t>(at + count, data.size()) && data[i] != 0; ++i) {
        if (data[i] >= 0x20 && data[i] < 0x7F)
            text += char(data[i]);
    }
    return text;
}

} // namespace

TExifFacts ExifFacts(std::span<const std::uint8_t> payload)
{
    TExifFacts facts;
    if (!IsExifPayload(payload))
        return facts;
    const std::span<const std::uint8_t> data = payload.subspan(kTiffStart);
    TTiff tiff({ const_cast<std::uint8_t *>(data.data()), data.size() });
    if (!tiff.Open())
        return facts;
    if (const std::optional<std::size_t> model = tiff.Find(tiff.Ifd0(), kTagModel))
        facts.Model = AsciiText(tiff, data, *model);
    if (const std::optional<std::size_t> exif = tiff.Find(tiff.Ifd0(), kTagExifIfd)) {
        const std::optional<std::uint32_t> offset = tiff.Scalar(*exif);
        if (offset && tiff.DirectoryFits(*offset)) {
            if (const std::optional<std::size_t> date = tiff.Find(*offset, kTagDateTimeOriginal))
                facts.DateTimeOriginal = AsciiText(tiff, data, *date);
        }
    }
    return facts;
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

    // The directories that stay, each once: IFD0 and what its Exif and interoperability pointers reach (and the
    // GPS directories while GPS stays). A GPS directory that is also reached as another kind stays as that.
    std::vector<std::size_t> kept { ifd0 };
    std::vector<std::size_t> gone;
    for (std::size_t i = 0; i < kept.size(); ++i) {
        for (std::size_t index = 0; index < tiff.EntryCount(kept[i]); ++index) {
            const std::size_t entry = tiff.Entry(kept[i], index);
            const std::uint16_t tag = tiff.Tag(entry);
            const std::optional<std::uint32_t> offset = tiff.Scalar(entry);
            if ((tag != kTagExifIfd && tag != kTagInteropIfd && tag != kTagGpsIfd) || !offset
                || !tiff.DirectoryFits(*offset) || kept.size() + gone.size() >= kMaxDirectories)
                continue;
            std::vector<std::size_t> &list = IsRemoved(tag, edit) ? gone : kept;
            if (!Holds(list, *offset))
                list.push_back(*offset);
        }
    }
    // The thumbnail's directory always goes: it would show the old picture.
    const std::uint32_t ifd1 = tiff.Read32(tiff.NextLink(ifd0));
    if (ifd1 != 0 && tiff.DirectoryFits(ifd1))
        gone.push_back(ifd1);
    std::erase_if(gone, [&](std::size_t directory) {
        return Holds(kept, directory);
    });

    // Every byte a kept entry reaches stays as it is: a hostile file may let a dropped directory share its
    // bytes with kept ones (a GPS pointer into IFD0, IFD1 looping back to IFD0).
    std::vector<TRange> keptRanges { TRange { 0, 8 } };
    std::vector<TRange> dropped;
    std::vector<TDirectoryEdit> edits;
    for (const std::size_t directory : kept) {
        keptRanges.push_back(tiff.Directory(directory));
        std::optional<std::size_t> firstRemoved;
        for (std::size_t index = 0; index < tiff.EntryCount(directory); ++index) {
            const std::size_t entry = tiff.Entry(directory, index);
            const bool removed = IsRemoved(tiff.Tag(entry), edit);
            AddReach(tiff, directory, entry, removed ? dropped : keptRanges);
            if (removed && !firstRemoved)
                firstRemoved = entry;
        }
        if (firstRemoved)
            edits.push_back({ directory, { *firstRemoved, tiff.Directory(directory).End } });
    }
    for (const std::size_t directory : gone) {
        dropped.push_back(tiff.Directory(directory));
        for (std::size_t index = 0; index < tiff.EntryCount(directory); ++index)
            AddReach(tiff, directory, tiff.Entry(directory, index), dropped);
    }
    if (ifd1 != 0)
        edits.push_back({ ifd0, { tiff.NextLink(ifd0), tiff.NextLink(ifd0) + 4 } });
    // An orientation the pixels no longer need, or one no reader can use (0, above 8, not one SHORT), says 1.
    std::vector<std::size_t> orientations;
    for (std::size_t index = 0; index < tiff.EntryCount(ifd0); ++index) {
        const std::size_t entry = tiff.Entry(ifd0, index);
        if (tiff.Tag(entry) != kTagOrientation)
            continue;
        const std::optional<std::uint32_t> value = tiff.Type(entry) == kTypeShort ? tiff.Scalar(entry) : std::nullopt;
        if (!value || (*value != 1 && (edit.ResetOrientation || OrientationFromExif(*value) == TOrientation::Normal))) {
            orientations.push_back(entry);
            edits.push_back({ ifd0, { entry + 2, entry + kEntrySize } });
        }
    }

    // An edit may change only its own directory: when other kept data share those bytes, no rewrite keeps both.
    for (const TDirectoryEdit &change : edits) {
        const TRange own = tiff.Directory(change.Directory);
        for (const TRange &range : keptRanges) {
            if ((range.Begin != own.Begin || range.End != own.End) && Overlaps(change.Bytes, range))
                throw EInvalidGraphic("Malformed EXIF data (directories share bytes)");
        }
    }

    for (const std::size_t entry : orientations) {
        tiff.Write16(entry + 2, kTypeShort);
        tiff.Write32(entry + 4, 1);
        tiff.Write32(entry + 8, 0);
        tiff.Write16(entry + 8, 1);
    }
    std::vector<TRange> cleared = Outside(Joined(dropped), Joined(keptRanges));
    // Removed entries leave their directory: the rest move up, the link follows, the freed slots are cleared.
    for (const std::size_t directory : kept) {
        const std::size_t end = tiff.Directory(directory).End;
        const std::uint32_t next = directory == ifd0 ? 0 : tiff.Read32(tiff.NextLink(directory));
        std::size_t count = 0;
        for (std::size_t index = 0; index < tiff.EntryCount(directory); ++index) {
            const std::size_t entry = tiff.Entry(directory, index);
            if (IsRemoved(tiff.Tag(entry), edit))
                continue;
            const std::size_t to = tiff.Entry(directory, count++);
            std::copy_n(tiff.Bytes().begin() + std::ptrdiff_t(entry),
                kEntrySize,
                tiff.Bytes().begin() + std::ptrdiff_t(to));
        }
        if (count == tiff.EntryCount(directory) && directory != ifd0)
            continue;
        tiff.Write16(directory, std::uint16_t(count));
        tiff.Write32(tiff.NextLink(directory), next);
        cleared.push_back({ tiff.Directory(directory).End, end });
    }
    for (const TRange &range : cleared) {
        std::fill(tiff.Bytes().begin() + std::ptrdiff_t(range.Begin),
            tiff.Bytes().begin() + std::ptrdiff_t(range.End),
            std::uint8_t(0));
    }

    // Cleared bytes that end the data are cut off; they never reach into kept data.
    cleared = Joined(std::move(cleared));
    std::size_t length = tiff.Size();
    if (!cleared.empty() && cleared.back().End == length)
        length = cleared.back().Begin;
    out.resize(kTiffStart + length);
    return out;
}

} // namespace vellumar
