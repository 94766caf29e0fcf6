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

} // namespace vellumar::test
