#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vellumar::test
{

/** One file of the hostile corpus: its name (extension included) and its bytes. */
struct THostileFile {
    std::string Name;
    std::vector<std::uint8_t> Bytes;
    /** The name matches the listing's "*.jpg;*.jpeg", so a run treats the file as an image. */
    bool Listed = true;
};

/**
 * A folder's worth of hostile files built from the test pattern at width x height: valid but unusual
 * streams (progressive, arithmetic, restart markers, CMYK, 4:4:4), truncations at many points,
 * scrambled entropy-coded data, decompression bombs (huge declared sizes, thousands of empty scans),
 * unsupported precisions and processes, huge and malformed marker segments, garbage after the end,
 * and files whose extension lies. Deterministic: the same files on every run.
 */
[[nodiscard]] std::vector<THostileFile> MakeHostileJpegs(int width, int height);

/** Offset of the first marker 0xFF code at or after from, or std::string::npos. */
[[nodiscard]] std::size_t
FindJpegMarker(const std::vector<std::uint8_t> &jpeg, std::uint8_t code, std::size_t from = 0);

/** Deterministic pseudo-random numbers (xorshift), the same on every run and platform. */
class TRandom
{
public:
    explicit TRandom(std::uint32_t seed)
        : mState(seed * 2654435761u + 1u)
    {
    }
    std::uint32_t Next()
    {
        mState ^= mState << 13;
        mState ^= mState >> 17;
        mState ^= mState << 5;
        return mState;
    }

private:
    std::uint32_t mState;
};

/** jpeg with the width and height of its frame header replaced. */
[[nodiscard]] std::vector<std::uint8_t> WithFrameSize(std::vector<std::uint8_t> jpeg, int width, int height);

/** A progressive stream followed by count copies of its last scan header, each with no data at all. */
[[nodiscard]] std::vector<std::uint8_t> WithEmptyScans(const std::vector<std::uint8_t> &jpeg, int count);

} // namespace vellumar::test
