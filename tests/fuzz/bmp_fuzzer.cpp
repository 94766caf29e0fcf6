// Decodes the fuzzed bytes as a ".bmp" file: a bitmap of the declared size or EInvalidGraphic, and a
// decoded bitmap survives a round trip through the encoder.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>

#include "imaging/bmp_format.h"
#include "imaging/errors.h"
#include "tests/fuzz/fuzz_check.h"

namespace
{

// Larger pictures take seconds under the sanitizers; the decoder's own limit is tested elsewhere.
constexpr std::int64_t kMaxFuzzPixels = 1 << 22;

template<typename T>
T ReadLittle(const std::uint8_t *at)
{
    T value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        value |= T(T(at[i]) << (8 * i));
    return value;
}

// The pixel count the header declares, read the way the decoder reads it; 0 when it is too short.
std::int64_t DeclaredPixels(const std::uint8_t *data, std::size_t size)
{
    if (size < 26)
        return 0;
    const std::uint32_t headerSize = ReadLittle<std::uint32_t>(data + 14);
    if (headerSize == 12)
        return std::int64_t(ReadLittle<std::uint16_t>(data + 18)) * ReadLittle<std::uint16_t>(data + 20);
    const std::int64_t width = std::int32_t(ReadLittle<std::uint32_t>(data + 18));
    const std::int64_t height = std::int32_t(ReadLittle<std::uint32_t>(data + 22));
    return std::abs(width) * std::abs(height);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace vellumar;
    if (DeclaredPixels(data, size) > kMaxFuzzPixels)
        return 0;
    try {
        const TBitmap bitmap = DecodeBmp(std::span<const std::uint8_t>(data, size));
        VELLUMAR_FUZZ_CHECK(bitmap.Width() > 0 && bitmap.Height() > 0);
        VELLUMAR_FUZZ_CHECK(bitmap.Image().width() == bitmap.Width() && bitmap.Image().height() == bitmap.Height());
    } catch (const EInvalidGraphic &) {
    }
    return 0;
}
