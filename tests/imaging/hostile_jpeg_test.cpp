// Hostile streams are built here from small fixtures: every one must end in EJPEG or in a bitmap of
// the declared size, without a crash, a hang or an unbounded allocation.
#include <cstdint>

#include <gtest/gtest.h>

#include "imaging/errors.h"
#include "imaging/jpeg_bridge.h"
#include "imaging/jpeg_image.h"
#include "tests/support/hostile_jpegs.h"
#include "tests/support/jpeg_fixtures.h"
#include "tests/support/temp_dir.h"

namespace vellumar
{
namespace
{

using test::MakeJpeg;
using test::TTempDir;

using test::FindJpegMarker;
using test::TRandom;
using test::WithEmptyScans;
using test::WithFrameSize;

// True when offset lies in the entropy-coded data of a scan (after a scan header, before the next marker).
bool InsideScanData(const std::vector<std::uint8_t> &jpeg, std::size_t offset)
{
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const std::uint8_t code = jpeg[at + 1];
        if (code == 0xD9)
            return false;
        const std::size_t end = at + 2 + (std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
        if (code != 0xDA) {
            at = end;
            continue;
        }
        at = end;
        while (at + 1 < jpeg.size() && !(jpeg[at] == 0xFF && jpeg[at + 1] != 0 && (jpeg[at + 1] & 0xF8) != 0xD0))
            ++at;
        if (offset > end && offset <= at)
            return true;
    }
    return false;
}

// Loads and decodes; returns false when either step refused the stream with EJPEG.
bool LoadsAndDecodes(const TTempDir &dir, const std::vector<std::uint8_t> &bytes, int width, int height)
{
    TJPEGImage jpeg;
    try {
        jpeg.LoadJpegFile(dir.Write(QStringLiteral("hostile.jpg"), bytes));
        const TBitmap &bitmap = jpeg.DecodedBitmap();
        EXPECT_EQ(bitmap.Width(), width);
        EXPECT_EQ(bitmap.Height(), height);
        return true;
    } catch (const EJPEG &) {
        return false;
    }
}

QString LoadError(const TTempDir &dir, const std::vector<std::uint8_t> &bytes)
{
    TJPEGImage jpeg;
    try {
        jpeg.LoadJpegFile(dir.Write(QStringLiteral("hostile.jpg"), bytes));
        (void)jpeg.DecodedBitmap();
    } catch (const EJPEG &error) {
        return error.Message();
    }
    return {};
}

TEST(HostileJpeg, HugeDeclaredSizesAreRefusedBeforeAnyPixelBuffer)
{
    TTempDir dir;
    const std::vector<std::uint8_t> small = MakeJpeg({ .Width = 16, .Height = 16 });
    EXPECT_EQ(LoadError(dir, WithFrameSize(small, 65500, 65500)),
        QStringLiteral("JPEG image too large: 65500 x 65500 pixels (the limit is 268435456)"));
    EXPECT_EQ(LoadError(dir, WithFrameSize(small, 16385, 16384)),
        QStringLiteral("JPEG image too large: 16385 x 16384 pixels (the limit is 268435456)"));
    // Past the old 8192 x 8192, a frame must come with data in proportion.
    const std::vector<std::uint8_t> sparse = WithFrameSize(small, 16384, 16384);
    EXPECT_EQ(LoadError(dir, sparse),
        QStringLiteral("JPEG image too large for its data: 16384 x 16384 pixels from %1 bytes").arg(sparse.size()));
    // Beyond libjpeg's own 65500: its own error.
    EXPECT_TRUE(LoadError(dir, WithFrameSize(small, 65535, 8)).startsWith(QStringLiteral("JPEG error #")));

    // At the limit, with a quarter of a megabyte behind it, the header loads; nothing is decoded yet.
    std::vector<std::uint8_t> padded = sparse;
    padded.resize(std::size_t(16384) * 16384 / 1024);
    TJPEGImage atLimit;
    atLimit.LoadJpegFile(dir.Write(QStringLiteral("limit.jpg"), padded));
    EXPECT_EQ(atLimit.ImageWidth(), 16384);
    EXPECT_EQ(atLimit.ImageHeight(), 16384);
}

TEST(HostileJpeg, ThousandsOfEmptyScansAreRefused)
{
    TTempDir dir;
    const std::vector<std::uint8_t> progressive = MakeJpeg({ .Width = 32, .Height = 32, .Progressive = true });
    EXPECT_EQ(LoadError(dir, WithEmptyScans(progressive, 5000)),
        QStringLiteral("JPEG stream has too many scans (the limit is 500)"));
    // A few hundred redundant scans are still an image.
    EXPECT_TRUE(LoadsAndDecodes(dir, WithEmptyScans(progressive, 400), 32, 32));
}

TEST(HostileJpeg, EmptyScansOverALargeFrameAreRefused)
{
    // Under 500 scans, but each walks a million blocks: refused before the bulk of that work is done.
    TTempDir dir;
    const std::vector<std::uint8_t> progressive = MakeJpeg({ .Width = 32, .Height = 32, .Progressive = true });
    EXPECT_EQ(LoadError(dir, WithFrameSize(WithEmptyScans(progressive, 300), 8192, 8192)),
        QStringLiteral("JPEG stream has too many scans for its size (the limit is 32 scans of 8192 x 8192 pixels, or "
                       "16 of the frame)"));
}

TEST(HostileJpeg, TruncatedStreamsDecodeOrFailCleanly)
{
    TTempDir dir;
    for (const bool progressive : { false, true }) {
        const std::vector<std::uint8_t> whole = MakeJpeg({ .Width = 40, .Height = 24, .Progressive = progressive });
        for (std::size_t length = 1; length < whole.size(); length += 3) {
            const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + long(length));
            const bool decoded = LoadsAndDecodes(dir, cut, 40, 24);
            // Cut inside a scan's data, the early end-of-image marker lets the image decode; cut inside
            // a marker segment between scans, libjpeg may refuse it, but only with EJPEG.
            if (InsideScanData(whole, length)) {
                EXPECT_TRUE(decoded) << "cut at " << length << " of " << whole.size();
            }
        }
    }
}

TEST(HostileJpeg, ScrambledScansDecodeOrFailCleanly)
{
    TTempDir dir;
    for (const bool progressive : { false, true }) {
        const std::vector<std::uint8_t> whole = MakeJpeg({ .Width = 48, .Height = 40, .Progressive = progressive });
        const std::size_t scan = FindJpegMarker(whole, 0xDA);
        for (std::uint32_t seed = 1; seed <= 150; ++seed) {
            TRandom random(seed);
            std::vector<std::uint8_t> bytes = whole;
            // Mostly the entropy-coded data, sometimes the tables and frame header before it.
            const std::size_t from = seed % 5 == 0 ? 2 : scan;
            for (std::uint32_t flips = 1 + random.Next() % 12; flips > 0; --flips)
                bytes[from + random.Next() % (bytes.size() - from)] ^= std::uint8_t(1u << (random.Next() % 8));
            TJPEGImage jpeg;
            try {
                jpeg.LoadJpegFile(dir.Write(QStringLiteral("s.jpg"), bytes));
                const TBitmap &bitmap = jpeg.DecodedBitmap();
                EXPECT_GT(bitmap.Width(), 0);
                EXPECT_GT(bitmap.Height(), 0);
            } catch (const EJPEG &error) {
                EXPECT_FALSE(error.Message().isEmpty());
            }
            // The preview's look at it, reduced and turned: a picture or a clean refusal too.
            try {
                const TBitmap look = DecodeJpegStreamReduced(bytes, 10, 12, TOrientation::Rotate90);
                EXPECT_GT(look.Width(), 0);
                EXPECT_GT(look.Height(), 0);
            } catch (const EJPEG &error) {
                EXPECT_FALSE(error.Message().isEmpty());
            }
        }
    }
}

TEST(HostileJpeg, GarbageIsNotAJpeg)
{
    TTempDir dir;
    TRandom random(7);
    std::vector<std::uint8_t> garbage(20000);
    for (std::uint8_t &byte : garbage)
        byte = std::uint8_t(random.Next());
    EXPECT_TRUE(LoadError(dir, garbage).startsWith(QStringLiteral("JPEG error #")));
    // The message code is followed by libjpeg's own words; a PNG's first two bytes are named.
    garbage[0] = 0x89;
    garbage[1] = 0x50;
    const QString notJpeg = LoadError(dir, garbage);
    EXPECT_TRUE(notJpeg.startsWith(QStringLiteral("JPEG error #"))) << notJpeg.toStdString();
    EXPECT_TRUE(notJpeg.endsWith(QStringLiteral(": Not a JPEG file: starts with 0x89 0x50"))) << notJpeg.toStdString();
    // Behind a valid start-of-image marker, the header reader meets nothing it can use.
    garbage[0] = 0xFF;
    garbage[1] = 0xD8;
    EXPECT_TRUE(LoadError(dir, garbage).startsWith(QStringLiteral("JPEG error #")));
}

} // namespace
} // namespace vellumar
