#pragma once

#include <cstdint>
#include <vector>

namespace vellumar::test
{

struct TJpegFixtureOptions {
    int Width = 64;
    int Height = 48;
    int Quality = 90;
    bool Gray = false;
    bool Progressive = false;
    bool Cmyk = false;
    /** JPEG_COM marker text, when not empty. */
    const char *Comment = nullptr;
    /** Arithmetic instead of Huffman coding. */
    bool Arithmetic = false;
    /** MCUs between restart markers; 0 writes none. */
    unsigned RestartInterval = 0;
    /** Chroma at full resolution (4:4:4) instead of libjpeg's 2 x 2 subsampling. */
    bool FullChroma = false;
};

/**
 * Encodes a deterministic test pattern (smooth gradients with a few hard edges) straight through
 * libjpeg, independently of the program's codec.
 */
[[nodiscard]] std::vector<std::uint8_t> MakeJpeg(const TJpegFixtureOptions &options = {});

/** The test pattern's pixel at (x, y) as blue, green, red. */
void PatternPixel(int x, int y, std::uint8_t bgr[3]);

/**
 * Encodes blue-green-red rows (stride bytes apart, top to bottom) with libjpeg's defaults, the float
 * DCT and force-baseline quality: the reference encoder for byte comparisons.
 */
[[nodiscard]] std::vector<std::uint8_t>
EncodeReferenceJpeg(const std::uint8_t *bgr, int width, int height, int stride, int quality);

/** Decodes a JPEG with libjpeg (float DCT) into blue-green-red rows, 3 * width bytes each. */
[[nodiscard]] std::vector<std::uint8_t>
DecodeReferenceJpeg(const std::vector<std::uint8_t> &jpeg, int *width, int *height, int *components);

} // namespace vellumar::test
