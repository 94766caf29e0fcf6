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
    /** Four components stored as YCCK rather than CMYK. */
    bool Ycck = false;
    /** An ICC profile to embed, when not empty. */
    std::vector<std::uint8_t> Icc {};
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

/**
 * Encodes rows of components bytes a pixel: gray (1), red-green-blue (3) or CMYK stored inverted as Adobe's
 * writers do (4; YCCK with options.Ycck), with the options' quality and profile.
 */
[[nodiscard]] std::vector<std::uint8_t> EncodeComponentsJpeg(const std::vector<std::uint8_t> &rows,
    int width,
    int height,
    int components,
    const TJpegFixtureOptions &options);

/** Decodes a JPEG with libjpeg (float DCT) into its stored components: gray, blue-green-red, or CMYK as stored. */
[[nodiscard]] std::vector<std::uint8_t> DecodeComponentsJpeg(const std::vector<std::uint8_t> &jpeg);

/** Decodes a JPEG with libjpeg (float DCT) into blue-green-red rows, 3 * width bytes each. */
[[nodiscard]] std::vector<std::uint8_t>
DecodeReferenceJpeg(const std::vector<std::uint8_t> &jpeg, int *width, int *height, int *components);

} // namespace vellumar::test
