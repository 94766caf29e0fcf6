// Loads the fuzzed bytes as a JPEG file, reads its markers and decodes them at full size (also turned upright),
// 24-bit and 8-bit. Every input must end in a bitmap of the size its header declared or in one of the
// program's exceptions.
#include <cstdint>
#include <cstdlib>
#include <span>

#include <QString>

#include <sys/mman.h>
#include <unistd.h>

#include "imaging/errors.h"
#include "imaging/jpeg_bridge.h"
#include "imaging/jpeg_image.h"
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

    // The markers, and a decode turned a quarter: the upright frame has the sides swapped.
    try {
        (void)ReadJpegStreamMarkers(stream);
        const TBitmap upright = DecodeJpegStreamUpright(stream, false, 6, {});
        VELLUMAR_FUZZ_CHECK(upright.Width() == facts.Height && upright.Height() == facts.Width);
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
        } catch (const EJPEG &) {
        }
    }
    return 0;
}
