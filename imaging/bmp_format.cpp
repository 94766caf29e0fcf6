#include "imaging/bmp_format.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "imaging/errors.h"
#include "imaging/file_io.h"

namespace vellumar
{

namespace
{

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint64_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;

[[noreturn]] void Invalid()
{
    throw EInvalidGraphic("Bitmap image is not valid");
}

[[noreturn]] void TooLarge(std::int64_t width, std::int64_t height)
{
    throw EInvalidGraphic(QStringLiteral("Image too large: %1 x %2 pixels (the limit is %3)")
                              .arg(width)
                              .arg(height)
                              .arg(kMaxBitmapPixels));
}

// Little-endian reads that refuse to leave the buffer. Offsets are 64-bit and every check is written
// as "count <= size - offset", which cannot overflow.
class TReader
{
public:
    explicit TReader(std::span<const std::uint8_t> bytes)
        : mBytes(bytes)
    {
    }

    [[nodiscard]] std::uint64_t Size() const { return mBytes.size(); }
    [[nodiscard]] bool Has(std::uint64_t offset, std::uint64_t count) const
    {
        return offset <= mBytes.size() && count <= mBytes.size() - offset;
    }
    [[nodiscard]] const std::uint8_t *At(std::uint64_t offset, std::uint64_t count) const
    {
        if (!Has(offset, count))
            Invalid();
        return mBytes.data() + offset;
    }
    [[nodiscard]] std::uint16_t U16(std::uint64_t offset) const
    {
        const std::uint8_t *p = At(offset, 2);
        return std::uint16_t(p[0] | (p[1] << 8));
    }
    [[nodiscard]] std::uint32_t U32(std::uint64_t offset) const
    {
        const std::uint8_t *p = At(offset, 4);
        return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)
            | (std::uint32_t(p[3]) << 24);
    }
    [[nodiscard]] std::int32_t I32(std::uint64_t offset) const { return std::int32_t(U32(offset)); }

private:
    std::span<const std::uint8_t> mBytes;
};

struct THeader {
    std::int64_t Width = 0;
    std::int64_t Height = 0; // always positive; TopDown says which way the rows run
    bool TopDown = false;
    int BitsPerPixel = 0;
    std::uint32_t Compression = kBiRgb;
    std::uint32_t ColorsUsed = 0;
    std::uint32_t ImageSize = 0;
    std::uint64_t PaletteOffset = 0;
    std::uint64_t PaletteEntrySize = 4;
    std::uint32_t Masks[3] = { 0, 0, 0 }; // red, green, blue
};

THeader ReadHeader(const TReader &in)
{
    const std::uint8_t *magic = in.At(0, 2);
    if (magic[0] != 'B' || magic[1] != 'M')
        Invalid();
    THeader header;
    const std::uint32_t headerSize = in.U32(kFileHeaderSize);
    if (headerSize == kCoreHeaderSize) {
        header.Width = in.U16(18);
        header.Height = in.U16(20);
        if (in.U16(22) != 1)
            Invalid();
        header.BitsPerPixel = in.U16(24);
        header.PaletteEntrySize = 3;
    } else if (headerSize == kInfoHeaderSize || headerSize == 52 || headerSize == 56 || headerSize == 108
        || headerSize == 124) {
        (void)in.At(kFileHeaderSize, headerSize);
        header.Width = in.I32(18);
        const std::int64_t height = in.I32(22);
        header.TopDown = height < 0;
        header.Height = height < 0 ? -height : height;
        if (in.U16(26) != 1)
            Invalid();
        header.BitsPerPixel = in.U16(28);
        header.Compression = in.U32(30);
        header.ImageSize = in.U32(34);
        header.ColorsUsed = in.U32(46);
    } else {
        Invalid();
    }
    if (header.Width <= 0 || header.Height <= 0)
        Invalid();
    // Refused before anything is allocated for the pixels.
    if (header.Width * header.Height > kMaxBitmapPixels)
        TooLarge(header.Width, header.Height);

    header.PaletteOffset = kFileHeaderSize + headerSize;
    const int bits = header.BitsPerPixel;
    switch (header.Compression) {
    case kBiRgb:
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            Invalid();
        if (bits == 16) {
            header.Masks[0] = 0x7C00;
            header.Masks[1] = 0x03E0;
            header.Masks[2] = 0x001F;
        } else if (bits == 32) {
            header.Masks[0] = 0xFF0000;
            header.Masks[1] = 0x00FF00;
            header.Masks[2] = 0x0000FF;
        }
        break;
    case kBiRle8:
    case kBiRle4:
        if (bits != (header.Compression == kBiRle8 ? 8 : 4) || header.TopDown)
            Invalid();
        break;
    case kBiBitfields:
        if ((bits != 16 && bits != 32) || headerSize == kCoreHeaderSize)
            Invalid();
        // The masks follow a 40-byte header and sit inside every longer one, at the same offset.
        for (int i = 0; i < 3; ++i)
            header.Masks[i] = in.U32(kFileHeaderSize + kInfoHeaderSize + 4 * std::uint64_t(i));
        if (headerSize == kInfoHeaderSize)
            header.PaletteOffset += 12;
        break;
    default:
        Invalid();
    }
    return header;
}

std::vector<std::uint32_t> ReadPalette(const TReader &in, const THeader &header)
{
    const std::uint32_t full = 1u << header.BitsPerPixel;
    std::uint64_t count = header.ColorsUsed == 0 ? full : std::min(header.ColorsUsed, full);
    // A palette shorter than the depth's (the core header cannot say how long it is) ends where the
    // pixels begin.
    const std::uint32_t pixelOffset = in.U32(10);
    if (pixelOffset >= header.PaletteOffset)
        count = std::min(count, (pixelOffset - header.PaletteOffset) / header.PaletteEntrySize);
    const std::uint8_t *entries = in.At(header.PaletteOffset, count * header.PaletteEntrySize);
    std::vector<std::uint32_t> palette(count);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t *entry = entries + std::uint64_t(i) * header.PaletteEntrySize;
        palette[i] = qRgb(entry[2], entry[1], entry[0]);
    }
    return palette;
}

// Where the pixel data starts; a zero offset (written by some old tools) means "after the palette".
std::uint64_t PixelOffset(const TReader &in, const THeader &header, std::uint64_t paletteBytes)
{
    const std::uint32_t declared = in.U32(10);
    const std::uint64_t offset = declared != 0 ? declared : header.PaletteOffset + paletteBytes;
    if (!in.Has(offset, 0))
        Invalid();
    return offset;
}

// The image row that the file's row number fileRow fills.
int ImageRow(const THeader &header, std::int64_t fileRow)
{
    return int(header.TopDown ? fileRow : header.Height - 1 - fileRow);
}

std::uint64_t Stride(const THeader &header)
{
    return (std::uint64_t(header.Width) * std::uint64_t(header.BitsPerPixel) + 31) / 32 * 4;
}

// The uncompressed pixel rows, all inside the buffer; checked before any pixel buffer is made.
// The last row's padding may be missing; its pixels may not.
const std::uint8_t *UncompressedRows(const TReader &in, const THeader &header, std::uint64_t offset)
{
    const std::uint64_t rowBytes = (std::uint64_t(header.Width) * std::uint64_t(header.BitsPerPixel) + 7) / 8;
    return in.At(offset, Stride(header) * std::uint64_t(header.Height - 1) + rowBytes);
}

void DecodeIndexedRows(const THeader &header, const std::uint8_t *data, QImage &image)
{
    const auto width = std::uint64_t(header.Width);
    const std::uint64_t stride = Stride(header);
    const int bits = header.BitsPerPixel;
    for (std::int64_t row = 0; row < header.Height; ++row) {
        const std::uint8_t *src = data + std::uint64_t(row) * stride;
        std::uint8_t *out = image.scanLine(ImageRow(header, row));
        if (bits == 8) {
            std::memcpy(out, src, width);
            continue;
        }
        const int perByte = 8 / bits;
        const unsigned mask = (1u << bits) - 1;
        for (std::uint64_t x = 0; x < width; ++x) {
            const unsigned shift = unsigned(8 - bits * (1 + int(x % unsigned(perByte))));
            out[x] = std::uint8_t((src[x / unsigned(perByte)] >> shift) & mask);
        }
    }
}

// RLE8 and RLE4: runs and absolute stretches, bottom-up. Runs past the row's end are clipped, and
// a stream that ends early (or without its end-of-bitmap mark) leaves the rest at index 0.
void DecodeRle(const TReader &in, const THeader &header, std::uint64_t offset, QImage &image)
{
    std::uint64_t end = in.Size();
    if (header.ImageSize != 0 && in.Has(offset, header.ImageSize))
        end = offset + header.ImageSize;
    const bool four = header.Compression == kBiRle4;
    const std::int64_t width = header.Width;
    const std::int64_t height = header.Height;
    const std::uint8_t *bytes = in.At(0, end);
    std::uint64_t p = offset;
    std::int64_t x = 0;
    std::int64_t row = 0;
    auto put = [&](std::int64_t count, auto pixelAt) {
        std::uint8_t *out = image.scanLine(ImageRow(header, row));
        for (std::int64_t i = 0; i < count; ++i, ++x) {
            if (x < width)
                out[x] = pixelAt(i);
        }
        x = std::min(x, width);
    };
    while (row < height && end - p >= 2) {
        const std::uint8_t count = bytes[p];
        const std::uint8_t value = bytes[p + 1];
        p += 2;
        if (count != 0) {
            put(count, [&](std::int64_t i) {
                return four ? std::uint8_t((i % 2 == 0) ? value >> 4 : value & 0x0F) : value;
            });
            continue;
        }
        if (value == 0) {
            x = 0;
            ++row;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            if (end - p < 2)
                break;
            x = std::min(x + bytes[p], width);
            row += bytes[p + 1];
            p += 2;
        } else {
            const std::uint64_t dataBytes = four ? (value + 1u) / 2 : value;
            if (end - p < dataBytes)
                break;
            const std::uint8_t *run = bytes + p;
            put(value, [&](std::int64_t i) {
                return four ? std::uint8_t((i % 2 == 0) ? run[i / 2] >> 4 : run[i / 2] & 0x0F) : run[i];
            });
            // The padding byte of an odd stretch may be missing at the very end of the data.
            p = std::min(end, p + dataBytes + (dataBytes & 1));
        }
    }
}

struct TChannel {
    std::uint32_t Mask = 0;
    int Shift = 0;
    std::uint64_t Max = 0;
    int Width = 0;

    explicit TChannel(std::uint32_t mask)
        : Mask(mask)
    {
        if (mask == 0)
            return;
        Shift = std::countr_zero(mask);
        Width = int(std::bit_width(mask >> Shift));
        Max = (std::uint64_t(1) << Width) - 1;
    }
    [[nodiscard]] std::uint8_t Value(std::uint32_t pixel) const
    {
        if (Mask == 0)
            return 0;
        const std::uint64_t raw = (pixel & Mask) >> Shift;
        if (Width >= 8)
            return std::uint8_t(raw >> (Width - 8));
        return std::uint8_t((raw * 255 + Max / 2) / Max);
    }
};

void DecodeDirectRows(const THeader &header, const std::uint8_t *data, QImage &image)
{
    const auto width = std::uint64_t(header.Width);
    const auto bytesPerPixel = std::uint64_t(header.BitsPerPixel / 8);
    const std::uint64_t stride = Stride(header);
    const TChannel red(header.Masks[0]);
    const TChannel green(header.Masks[1]);
    const TChannel blue(header.Masks[2]);
    const bool plain32 = header.BitsPerPixel == 32 && header.Masks[0] == 0xFF0000 && header.Masks[1] == 0x00FF00
        && header.Masks[2] == 0x0000FF;
    for (std::int64_t row = 0; row < header.Height; ++row) {
        const std::uint8_t *src = data + std::uint64_t(row) * stride;
        std::uint8_t *out = image.scanLine(ImageRow(header, row));
        if (header.BitsPerPixel == 24) {
            std::memcpy(out, src, width * 3);
        } else if (plain32) {
            for (std::uint64_t x = 0; x < width; ++x)
                std::memcpy(out + x * 3, src + x * 4, 3);
        } else {
            for (std::uint64_t x = 0; x < width; ++x) {
                const std::uint8_t *s = src + x * bytesPerPixel;
                std::uint32_t pixel = std::uint32_t(s[0]) | (std::uint32_t(s[1]) << 8);
                if (bytesPerPixel == 4)
                    pixel |= (std::uint32_t(s[2]) << 16) | (std::uint32_t(s[3]) << 24);
                out[x * 3] = blue.Value(pixel);
                out[x * 3 + 1] = green.Value(pixel);
                out[x * 3 + 2] = red.Value(pixel);
            }
        }
    }
}

} // namespace

TBitmap DecodeBmp(std::span<const std::uint8_t> bytes)
{
    const TReader in(bytes);
    const THeader header = ReadHeader(in);
    const int width = int(header.Width);
    const int height = int(header.Height);
    TBitmap bitmap;
    if (header.BitsPerPixel <= 8) {
        std::vector<std::uint32_t> palette = ReadPalette(in, header);
        const std::uint64_t offset = PixelOffset(in, header, palette.size() * header.PaletteEntrySize);
        const std::uint8_t *rows = header.Compression == kBiRgb ? UncompressedRows(in, header, offset) : nullptr;
        bitmap.SetIndexed8(width, height, palette);
        QImage &image = bitmap.MutableImage();
        if (rows != nullptr)
            DecodeIndexedRows(header, rows, image);
        else
            DecodeRle(in, header, offset, image);
        // Indices past the palette's end would read outside the colour table: they show black.
        std::uint8_t largest = 0;
        for (int y = 0; y < height; ++y) {
            const std::uint8_t *row = image.constScanLine(y);
            largest = std::max(largest, *std::max_element(row, row + width));
        }
        if (largest >= palette.size()) {
            palette.resize(std::size_t(largest) + 1, qRgb(0, 0, 0));
            image.setColorTable(QList<QRgb>(palette.begin(), palette.end()));
        }
    } else {
        const std::uint8_t *rows = UncompressedRows(in, header, PixelOffset(in, header, 0));
        bitmap.SetPixelFormat24();
        bitmap.SetBitmapWidth(width);
        bitmap.SetBitmapHeight(height);
        DecodeDirectRows(header, rows, bitmap.MutableImage());
    }
    return bitmap;
}

void TBitmap::LoadFromFile(const QString &path)
{
    // Decoded aside first: a failed load leaves this bitmap as it was; the canvas is kept.
    *this = DecodeBmp(ReadWholeFile(path));
}

} // namespace vellumar
