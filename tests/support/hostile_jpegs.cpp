#include "tests/support/hostile_jpegs.h"

#include <algorithm>

#include "tests/support/jpeg_fixtures.h"

namespace vellumar::test
{

namespace
{

using TBytes = std::vector<std::uint8_t>;

std::size_t FrameMarker(const TBytes &jpeg)
{
    for (const std::uint8_t code : { 0xC0, 0xC1, 0xC2, 0xC9, 0xCA }) {
        if (const std::size_t at = FindJpegMarker(jpeg, code); at != std::string::npos)
            return at;
    }
    return std::string::npos;
}

std::size_t FirstScanData(const TBytes &jpeg)
{
    const std::size_t sos = FindJpegMarker(jpeg, 0xDA);
    return sos + 2 + (std::size_t(jpeg[sos + 2]) << 8 | jpeg[sos + 3]);
}

TBytes Cut(const TBytes &jpeg, std::size_t length)
{
    return TBytes(jpeg.begin(), jpeg.begin() + long(std::min(length, jpeg.size())));
}

TBytes FrameSized(TBytes jpeg, int width, int height)
{
    const std::size_t sof = FrameMarker(jpeg);
    jpeg[sof + 5] = std::uint8_t(height >> 8);
    jpeg[sof + 6] = std::uint8_t(height);
    jpeg[sof + 7] = std::uint8_t(width >> 8);
    jpeg[sof + 8] = std::uint8_t(width);
    return jpeg;
}

// Byte at offset within the frame header (0 is the 0xFF of the marker) set to value.
TBytes WithFrameByte(TBytes jpeg, std::size_t offset, std::uint8_t value)
{
    jpeg[FrameMarker(jpeg) + offset] = value;
    return jpeg;
}

// A progressive stream followed by count copies of its last scan header, each with no data at all.
TBytes EmptyScansAdded(const TBytes &jpeg, int count)
{
    std::size_t last = std::string::npos;
    for (std::size_t at = FindJpegMarker(jpeg, 0xDA); at != std::string::npos; at = FindJpegMarker(jpeg, 0xDA, at + 2))
        last = at;
    const std::size_t length = std::size_t(jpeg[last + 2]) << 8 | jpeg[last + 3];
    const TBytes header(jpeg.begin() + long(last), jpeg.begin() + long(last + 2 + length));
    TBytes out(jpeg.begin(), jpeg.end() - 2);
    for (int i = 0; i < count; ++i)
        out.insert(out.end(), header.begin(), header.end());
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

// count segments of marker code, each with length bytes of payload, inserted right after SOI.
TBytes WithSegments(const TBytes &jpeg, std::uint8_t code, std::size_t length, int count)
{
    TBytes segment { 0xFF, code, std::uint8_t((length + 2) >> 8), std::uint8_t(length + 2) };
    for (std::size_t i = 0; i < length; ++i)
        segment.push_back(std::uint8_t('A' + i % 26));
    TBytes out(jpeg.begin(), jpeg.begin() + 2);
    for (int i = 0; i < count; ++i)
        out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// Bits flipped at random in the entropy-coded data (from the first scan on).
TBytes Scrambled(TBytes jpeg, std::uint32_t seed, int flips)
{
    TRandom random(seed);
    const std::size_t from = FirstScanData(jpeg);
    for (int i = 0; i < flips; ++i)
        jpeg[from + random.Next() % (jpeg.size() - 2 - from)] ^= std::uint8_t(1u << (random.Next() % 8));
    return jpeg;
}

// A run of random bytes over the entropy-coded data: a whole stretch destroyed, not a few bits.
TBytes Overwritten(TBytes jpeg, std::uint32_t seed)
{
    TRandom random(seed);
    const std::size_t from = FirstScanData(jpeg);
    const std::size_t span = jpeg.size() - 2 - from;
    const std::size_t start = from + random.Next() % span;
    for (std::size_t i = start; i < std::min(jpeg.size() - 2, start + span / 3); ++i)
        jpeg[i] = std::uint8_t(random.Next());
    return jpeg;
}

// Every restart marker renumbered, so that the decoder finds them out of order.
TBytes MisnumberedRestarts(TBytes jpeg)
{
    for (std::size_t i = FirstScanData(jpeg); i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] & 0xF8) == 0xD0)
            jpeg[i + 1] = std::uint8_t(0xD0 | ((jpeg[i + 1] + 3) & 7));
    }
    return jpeg;
}

// The segment of marker code removed.
TBytes WithoutSegment(const TBytes &jpeg, std::uint8_t code)
{
    const std::size_t at = FindJpegMarker(jpeg, code);
    if (at == std::string::npos)
        return jpeg;
    const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
    TBytes out(jpeg.begin(), jpeg.begin() + long(at));
    out.insert(out.end(), jpeg.begin() + long(at + 2 + length), jpeg.end());
    return out;
}

// The length field of the first segment of marker code set to length.
TBytes WithSegmentLength(TBytes jpeg, std::uint8_t code, std::uint16_t length)
{
    const std::size_t at = FindJpegMarker(jpeg, code);
    jpeg[at + 2] = std::uint8_t(length >> 8);
    jpeg[at + 3] = std::uint8_t(length);
    return jpeg;
}

TBytes Concatenated(TBytes first, const TBytes &second)
{
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

TBytes RandomBytes(std::uint32_t seed, std::size_t size)
{
    TRandom random(seed);
    TBytes bytes(size);
    for (std::uint8_t &byte : bytes)
        byte = std::uint8_t(random.Next());
    return bytes;
}

TBytes Text(const char *text)
{
    const std::string s(text);
    return TBytes(s.begin(), s.end());
}

} // namespace

std::size_t FindJpegMarker(const std::vector<std::uint8_t> &jpeg, std::uint8_t code, std::size_t from)
{
    for (std::size_t i = from; i + 1 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code)
            return i;
    }
    return std::string::npos;
}

std::vector<THostileFile> MakeHostileJpegs(int width, int height)
{
    const auto make = [width, height](TJpegFixtureOptions options) {
        options.Width = width;
        options.Height = height;
        return MakeJpeg(options);
    };
    const TBytes base = make({});
    const TBytes progressive = make({ .Progressive = true });
    const TBytes arithmetic = make({ .Arithmetic = true });
    const TBytes restarts = make({ .RestartInterval = 1 });
    const TBytes small = MakeJpeg({ .Width = 16, .Height = 16 });
    const TBytes smallProgressive = MakeJpeg({ .Width = 32, .Height = 32, .Progressive = true });

    std::vector<THostileFile> files;
    const auto add = [&files](std::string name, TBytes bytes, bool listed = true) {
        files.push_back({ std::move(name), std::move(bytes), listed });
    };

    // Valid, but off the common path.
    add("valid_baseline.jpg", base);
    add("valid_gray.jpg", make({ .Gray = true }));
    add("valid_progressive.jpg", progressive);
    add("valid_arithmetic.jpg", arithmetic);
    add("valid_arithmetic_progressive.jpg", make({ .Progressive = true, .Arithmetic = true }));
    add("valid_restart_every_mcu.jpg", restarts);
    add("valid_restart_progressive.jpg", make({ .Progressive = true, .RestartInterval = 2 }));
    add("valid_cmyk.jpg", make({ .Cmyk = true }));
    add("valid_cmyk_progressive.jpg", make({ .Progressive = true, .Cmyk = true }));
    add("valid_444.jpg", make({ .FullChroma = true }));
    add("valid_quality1.jpg", make({ .Quality = 1 }));
    add("valid_quality100.jpg", make({ .Quality = 100 }));
    add("valid_1x1.jpg", MakeJpeg({ .Width = 1, .Height = 1 }));
    add("valid_strip_1x3000.jpg", MakeJpeg({ .Width = 1, .Height = 3000 }));
    add("valid_strip_3000x1.jpg", MakeJpeg({ .Width = 3000, .Height = 1 }));

    // Truncated at many points: inside the headers, at the first scan, inside the data, before EOI.
    add("truncated_empty.jpg", {});
    for (const std::size_t length :
        { std::size_t(1), std::size_t(2), std::size_t(3), std::size_t(20), std::size_t(100) })
        add("truncated_at_" + std::to_string(length) + ".jpg", Cut(base, length));
    add("truncated_at_scan.jpg", Cut(base, FirstScanData(base)));
    for (const int percent : { 25, 50, 75 })
        add("truncated_" + std::to_string(percent) + "pct.jpg", Cut(base, base.size() * std::size_t(percent) / 100));
    add("truncated_no_eoi.jpg", Cut(base, base.size() - 2));
    add("truncated_half_eoi.jpg", Cut(base, base.size() - 1));
    add("truncated_progressive_50pct.jpg", Cut(progressive, progressive.size() / 2));
    add("truncated_progressive_first_scan.jpg", Cut(progressive, FirstScanData(progressive) + 10));
    add("truncated_arithmetic_50pct.jpg", Cut(arithmetic, arithmetic.size() / 2));

    // Scrambled entropy-coded data.
    for (std::uint32_t seed = 1; seed <= 4; ++seed)
        add("scrambled_baseline_" + std::to_string(seed) + ".jpg", Scrambled(base, seed, int(4 * seed)));
    add("scrambled_overwritten.jpg", Overwritten(base, 11));
    add("scrambled_progressive_1.jpg", Scrambled(progressive, 5, 6));
    add("scrambled_progressive_2.jpg", Overwritten(progressive, 12));
    add("scrambled_arithmetic_1.jpg", Scrambled(arithmetic, 6, 6));
    add("scrambled_arithmetic_2.jpg", Overwritten(arithmetic, 13));
    add("scrambled_restarts.jpg", Scrambled(restarts, 7, 10));
    add("restarts_misnumbered.jpg", MisnumberedRestarts(restarts));

    // Decompression bombs: a few hundred bytes that declare a huge frame or endless scans.
    add("bomb_65500x65500.jpg", FrameSized(small, 65500, 65500));
    add("bomb_20000x16384.jpg", FrameSized(small, 20000, 16384));
    add("bomb_16384x16384.jpg", FrameSized(small, 16384, 16384));
    add("bomb_12000x9000_progressive.jpg", FrameSized(smallProgressive, 12000, 9000));
    // The largest frames still decoded from a few hundred bytes, 8192 x 8192: the heaviest such images.
    add("bomb_8192x8192.jpg", FrameSized(small, 8192, 8192));
    add("bomb_8192x8192_progressive.jpg", FrameSized(smallProgressive, 8192, 8192));
    add("bomb_8192x8192_cmyk_progressive.jpg",
        FrameSized(MakeJpeg({ .Width = 16, .Height = 16, .Progressive = true, .Cmyk = true }), 8192, 8192));
    add("bomb_65535x8.jpg", FrameSized(small, 65535, 8));
    add("bomb_5000_empty_scans.jpg", EmptyScansAdded(smallProgressive, 5000));
    add("bomb_400_empty_scans.jpg", EmptyScansAdded(smallProgressive, 400));
    add("bomb_empty_scans_8192x8192.jpg", FrameSized(EmptyScansAdded(smallProgressive, 300), 8192, 8192));
    add("bomb_empty_scans_4096x4096.jpg", FrameSized(EmptyScansAdded(smallProgressive, 100), 4096, 4096));

    // Precisions and processes the decoder does not take, and broken frame headers.
    add("precision_12bit.jpg", WithFrameByte(base, 4, 12));
    add("precision_16bit.jpg", WithFrameByte(base, 4, 16));
    add("precision_0bit.jpg", WithFrameByte(base, 4, 0));
    add("process_lossless.jpg", WithFrameByte(base, 1, 0xC3));
    add("process_hierarchical.jpg", WithFrameByte(base, 1, 0xC5));
    add("frame_zero_width.jpg", FrameSized(base, 0, height));
    add("frame_zero_height.jpg", FrameSized(base, width, 0));
    add("frame_255_components.jpg", WithFrameByte(base, 9, 255));
    add("frame_sampling_zero.jpg", WithFrameByte(base, 11, 0x00));
    add("frame_sampling_15.jpg", WithFrameByte(base, 11, 0xFF));
    add("frame_undefined_quant_table.jpg", WithFrameByte(base, 12, 3));
    add("no_quant_tables.jpg", WithoutSegment(WithoutSegment(base, 0xDB), 0xDB));
    add("no_huffman_tables.jpg",
        WithoutSegment(WithoutSegment(WithoutSegment(WithoutSegment(base, 0xC4), 0xC4), 0xC4), 0xC4));
    add("no_soi.jpg", TBytes(base.begin() + 2, base.end()));
    add("double_soi.jpg", Concatenated({ 0xFF, 0xD8 }, base));
    add("no_frame.jpg", WithoutSegment(base, 0xC0));

    // Marker segments: the largest there are, many of them, and lengths that lie.
    add("marker_app1_65533.jpg", WithSegments(base, 0xE1, 65533, 1));
    add("marker_com_65533_x20.jpg", WithSegments(base, 0xFE, 65533, 20));
    TBytes allApps = base;
    for (std::uint8_t code = 0xE0; code <= 0xEF; ++code)
        allApps = WithSegments(allApps, code, 65533, 1);
    add("marker_all_apps_65533.jpg", allApps);
    add("marker_10000_tiny_coms.jpg", WithSegments(base, 0xFE, 1, 10000));
    add("marker_length_0.jpg", WithSegmentLength(WithSegments(base, 0xFE, 10, 1), 0xFE, 0));
    add("marker_length_1.jpg", WithSegmentLength(WithSegments(base, 0xFE, 10, 1), 0xFE, 1));
    add("marker_length_past_end.jpg", WithSegmentLength(WithSegments(base, 0xFE, 10, 1), 0xFE, 0xFFFF));
    add("marker_dqt_length_short.jpg", WithSegmentLength(base, 0xDB, 3));
    add("marker_dht_length_long.jpg", WithSegmentLength(base, 0xC4, 0xFFF0));

    // Garbage after the end of image.
    add("tail_random_64k.jpg", Concatenated(base, RandomBytes(21, 65536)));
    add("tail_second_jpeg.jpg", Concatenated(base, progressive));
    add("tail_zeros_1m.jpg", Concatenated(base, TBytes(1 << 20, 0)));
    add("tail_text.jpg", Concatenated(base, Text("trailing text after the end of the image\n")));

    // Extensions that lie, both ways.
    TBytes png { 0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13, 'I', 'H', 'D', 'R' };
    png.resize(64, 0);
    add("png_named.jpg", png);
    add("text_named.jpg", Text("This is not a photograph.\n"));
    add("random_named.jpeg", RandomBytes(22, 4096));
    add("bmp_named.JPG", Concatenated(Text("BM"), RandomBytes(23, 200)));
    add("jpeg_named.jpeg", base);
    add("jpeg_named_upper.JPG", base);
    add("jpeg_named_mixed.JpEg", progressive);
    add("jpeg_named.png", base, false);
    add("jpeg_named.jpg.txt", base, false);
    return files;
}

std::vector<std::uint8_t> WithFrameSize(std::vector<std::uint8_t> jpeg, int width, int height)
{
    return FrameSized(std::move(jpeg), width, height);
}

std::vector<std::uint8_t> WithEmptyScans(const std::vector<std::uint8_t> &jpeg, int count)
{
    return EmptyScansAdded(jpeg, count);
}

} // namespace vellumar::test
