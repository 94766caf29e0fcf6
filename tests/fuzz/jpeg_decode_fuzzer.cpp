// Loads the fuzzed bytes as a JPEG file, reads its markers and decodes them every way a run does: at full size,
// 24-bit and 8-bit, turned upright, and reduced (nearest or smooth) then turned. Every input must end in a bitmap
// of the size its header declared (or asked for) or in one of the program's exceptions, and the nearest
// reduction must give the pixels of the full decode stretched.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>

#include <QString>

#include <sys/mman.h>
#include <unistd.h>

#include "imaging/errors.h"
#include "imaging/jpeg_bridge.h"
#include "imaging/jpeg_image.h"
#include "imaging/orientation.h"
#include "tests/fuzz/fuzz_check.h"

namespace
{

// Larger frames decode for seconds under the sanitizers; the hostile corpus test covers them.
constexpr std::uint64_t kMaxFuzzPixels = 1u << 20;

// The file that TJPEGImage loads: a memory file rewritten for each input, so that loading goes
// through the program's own file reading without touching the disk.
const QString &MemoryFilePath()
{
    static const QString path = [] {
        const int fd = ::memfd_create("jpeg_decode_fuzzer", MFD_CLOEXEC);
        if (fd < 0)
            std::abort();
        return QStringLiteral("/proc/self/fd/%1").arg(fd);
    }();
    return path;
}

void WriteMemoryFile(const std::uint8_t *data, std::size_t size)
{
    const int fd = MemoryFilePath().section(QLatin1Char('/'), -1).toInt();
    if (::ftruncate(fd, 0) != 0 || (size > 0 && ::pwrite(fd, data, size, 0) != ssize_t(size)))
        std::abort();
}

// How one input is decoded, taken from its last two bytes and its length: bytes after the end-of-image marker
// are never read by the decoder, so appending or changing them varies only these, and the seeds, of many
// lengths, start from many mixes.
struct TDecodeKnobs {
    vellumar::TOrientation Orientation = vellumar::TOrientation::Normal;
    bool Smooth = false;
    bool EightBit = false;
    // The nearest reduction's rect overhangs the bitmap by a pixel, as the exact percentage reduction's does.
    bool Overhang = false;
    int Percent = 100;
};

TDecodeKnobs KnobsOf(const std::uint8_t *data, std::size_t size)
{
    const unsigned first = size > 0 ? data[size - 1] ^ unsigned(size & 0xFF) : 0;
    const unsigned second = size > 1 ? data[size - 2] ^ unsigned((size >> 8) & 0xFF) : 0;
    TDecodeKnobs knobs;
    knobs.Orientation = vellumar::OrientationFromExif(1 + int(first & 7));
    knobs.Smooth = (first & 8) != 0;
    knobs.EightBit = (first & 16) != 0;
    knobs.Overhang = (first & 32) != 0;
    knobs.Percent = 1 + int(second % 100);
    return knobs;
}

int Scaled(int side, int percent)
{
    return std::max(1, int(std::int64_t(side) * percent / 100));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace vellumar;
    const std::span<const std::uint8_t> stream(data, size);

    TJpegHeaderFacts facts;
    bool headerRead = false;
    try {
        facts = ReadJpegStreamHeader(stream);
        headerRead = true;
        VELLUMAR_FUZZ_CHECK(facts.Width > 0 && facts.Height > 0);
        VELLUMAR_FUZZ_CHECK(std::uint64_t(facts.Width) * std::uint64_t(facts.Height) <= kMaxJpegPixels);
    } catch (const EJPEG &) {
    }

    WriteMemoryFile(data, size);
    TJPEGImage image;
    try {
        image.LoadJpegFile(MemoryFilePath());
    } catch (const EJPEG &) {
        VELLUMAR_FUZZ_CHECK(!headerRead);
        return 0;
    }
    VELLUMAR_FUZZ_CHECK(size == 0 || headerRead);
    VELLUMAR_FUZZ_CHECK(image.ImageWidth() == facts.Width && image.ImageHeight() == facts.Height);
    if (std::uint64_t(facts.Width) * std::uint64_t(facts.Height) > kMaxFuzzPixels)
        return 0;

    const TDecodeKnobs knobs = KnobsOf(data, size);
    const bool swap = OrientationSwapsSides(knobs.Orientation);

    // The markers, and the full frame turned upright while it is decoded.
    try {
        (void)ReadJpegStreamMarkers(stream);
        const TBitmap upright = DecodeJpegStreamUpright(stream, knobs.EightBit, knobs.Orientation, {});
        VELLUMAR_FUZZ_CHECK(upright.Width() == (swap ? facts.Height : facts.Width));
        VELLUMAR_FUZZ_CHECK(upright.Height() == (swap ? facts.Width : facts.Height));
    } catch (const EJPEG &) {
    }

    // A reduction as a run makes it, decoded row by row and turned afterwards.
    const int width = Scaled(facts.Width, knobs.Percent);
    const int height = Scaled(facts.Height, knobs.Percent);
    const TRect rect { 0, 0, width + (knobs.Overhang ? 1 : 0), height + (knobs.Overhang ? 1 : 0) };
    TBitmap reduced;
    try {
        reduced = knobs.Smooth ? DecodeJpegStreamSmooth(stream, width, height)
                               : DecodeJpegStreamStretched(stream, knobs.EightBit, width, height, rect);
        VELLUMAR_FUZZ_CHECK(reduced.Width() == width && reduced.Height() == height);
        VELLUMAR_FUZZ_CHECK(reduced.PixelFormat() == TPixelFormat::pf24bit);
        const TBitmap turned = OrientBitmap(reduced, knobs.Orientation);
        VELLUMAR_FUZZ_CHECK(turned.Width() == (swap ? height : width) && turned.Height() == (swap ? width : height));
    } catch (const EJPEG &) {
    }

    for (const TJPEGPixelFormat format : { TJPEGPixelFormat::jf24Bit, TJPEGPixelFormat::jf8Bit }) {
        image.SetOutputFormat(format);
        try {
            const TBitmap &bitmap = image.DecodedBitmap();
            VELLUMAR_FUZZ_CHECK(bitmap.Width() == facts.Width && bitmap.Height() == facts.Height);
            VELLUMAR_FUZZ_CHECK(bitmap.PixelFormat()
                == (format == TJPEGPixelFormat::jf8Bit || facts.Grayscale ? TPixelFormat::pf8bit
                                                                          : TPixelFormat::pf24bit));
            // The image holds its decoded frame now, so this is the plain stretch copy of it.
            const bool eightBit = format == TJPEGPixelFormat::jf8Bit;
            if (!knobs.Smooth && eightBit == knobs.EightBit && !reduced.Empty())
                VELLUMAR_FUZZ_CHECK(image.StretchedBitmap(width, height, rect).Image24() == reduced.Image24());
        } catch (const EJPEG &) {
        }
    }
    return 0;
}
