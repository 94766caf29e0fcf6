#include "tests/support/jpeg_fixtures.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <jpeglib.h>

namespace vellumar::test
{

namespace
{

struct TFixtureError {
    jpeg_error_mgr Manager;
    std::jmp_buf Jump;
};

[[noreturn]] void FixtureErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<TFixtureError *>(info->err)->Jump, 1);
}

std::vector<std::uint8_t> Compress(const std::uint8_t *rows,
    int width,
    int height,
    int stride,
    J_COLOR_SPACE inSpace,
    int components,
    const TJpegFixtureOptions &options,
    bool floatDct)
{
    jpeg_compress_struct cinfo {};
    TFixtureError error {};
    cinfo.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = FixtureErrorExit;
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.Jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
        throw std::runtime_error("fixture encoding failed");
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = components;
    cinfo.in_color_space = inSpace;
    jpeg_set_defaults(&cinfo);
    if (floatDct)
        cinfo.dct_method = JDCT_FLOAT;
    jpeg_set_quality(&cinfo, options.Quality, TRUE);
    if (options.Cmyk || options.Ycck)
        jpeg_set_colorspace(&cinfo, options.Ycck ? JCS_YCCK : JCS_CMYK);
    if (options.Progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.arith_code = options.Arithmetic ? TRUE : FALSE;
    cinfo.restart_interval = options.RestartInterval;
    if (options.FullChroma) {
        for (int c = 0; c < cinfo.num_components; ++c) {
            cinfo.comp_info[c].h_samp_factor = 1;
            cinfo.comp_info[c].v_samp_factor = 1;
        }
    }
    jpeg_start_compress(&cinfo, TRUE);
    if (!options.Icc.empty())
        jpeg_write_icc_profile(&cinfo, options.Icc.data(), unsigned(options.Icc.size()));
    if (options.Comment != nullptr)
        jpeg_write_marker(&cinfo,
            JPEG_COM,
            reinterpret_cast<const JOCTET *>(options.Comment),
            unsigned(std::strlen(options.Comment)));
    while (cinfo.next_scanline < cinfo.image_height) {
        auto *row = const_cast<JSAMPLE *>(rows + std::size_t(cinfo.next_scanline) * std::size_t(stride));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

} // namespace

void PatternPixel(int x, int y, std::uint8_t bgr[3])
{
    bgr[0] = std::uint8_t((x * 255) / 97 % 256);
    bgr[1] = std::uint8_t((y * 255) / 61 % 256);
    bgr[2] = std::uint8_t(((x / 16 + y / 16) % 2) ? 220 : 30);
}

std::vector<std::uint8_t> MakeJpeg(const TJpegFixtureOptions &options)
{
    const int components = options.Gray ? 1 : (options.Cmyk ? 4 : 3);
    const int stride = options.Width * components;
    std::vector<std::uint8_t> pixels(std::size_t(stride) * std::size_t(options.Height));
    for (int y = 0; y < options.Height; ++y) {
        for (int x = 0; x < options.Width; ++x) {
            std::uint8_t bgr[3];
            PatternPixel(x, y, bgr);
            std::uint8_t *p = &pixels[std::size_t(y) * std::size_t(stride) + std::size_t(x * components)];
            if (options.Gray) {
                p[0] = std::uint8_t((bgr[0] + bgr[1] + bgr[2]) / 3);
            } else if (options.Cmyk) {
                // Adobe-style inverted CMYK, as Photoshop writes it.
                p[0] = bgr[2];
                p[1] = bgr[1];
                p[2] = bgr[0];
                p[3] = 255;
            } else {
                p[0] = bgr[2];
                p[1] = bgr[1];
                p[2] = bgr[0];
            }
        }
    }
    const J_COLOR_SPACE space = options.Gray ? JCS_GRAYSCALE : (options.Cmyk ? JCS_CMYK : JCS_RGB);
    return Compress(pixels.data(), options.Width, options.Height, stride, space, components, options, false);
}

std::vector<std::uint8_t> EncodeReferenceJpeg(const std::uint8_t *bgr, int width, int height, int stride, int quality)
{
    TJpegFixtureOptions options;
    options.Quality = quality;
    return Compress(bgr, width, height, stride, JCS_EXT_BGR, 3, options, true);
}

std::vector<std::uint8_t> EncodeComponentsJpeg(const std::vector<std::uint8_t> &rows,
    int width,
    int height,
    int components,
    const TJpegFixtureOptions &options)
{
    const J_COLOR_SPACE space = components == 1 ? JCS_GRAYSCALE : (components == 4 ? JCS_CMYK : JCS_RGB);
    return Compress(rows.data(), width, height, width * components, space, components, options, false);
}

std::vector<std::uint8_t> DecodeComponentsJpeg(const std::vector<std::uint8_t> &jpeg)
{
    jpeg_decompress_struct dinfo {};
    TFixtureError error {};
    dinfo.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = FixtureErrorExit;
    if (setjmp(error.Jump)) {
        jpeg_destroy_decompress(&dinfo);
        throw std::runtime_error("fixture decoding failed");
    }
    jpeg_create_decompress(&dinfo);
    jpeg_mem_src(&dinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&dinfo, TRUE);
    dinfo.out_color_space =
        dinfo.num_components == 4 ? JCS_CMYK : (dinfo.num_components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGR);
    dinfo.dct_method = JDCT_FLOAT;
    dinfo.do_block_smoothing = TRUE;
    jpeg_start_decompress(&dinfo);
    const std::size_t stride = std::size_t(dinfo.output_width) * std::size_t(dinfo.output_components);
    std::vector<std::uint8_t> out(stride * dinfo.output_height);
    while (dinfo.output_scanline < dinfo.output_height) {
        JSAMPLE *row = out.data() + std::size_t(dinfo.output_scanline) * stride;
        jpeg_read_scanlines(&dinfo, &row, 1);
    }
    jpeg_finish_decompress(&dinfo);
    jpeg_destroy_decompress(&dinfo);
    return out;
}

std::vector<std::uint8_t>
DecodeReferenceJpeg(const std::vector<std::uint8_t> &jpeg, int *width, int *height, int *components)
{
    jpeg_decompress_struct dinfo {};
    TFixtureError error {};
    dinfo.err = jpeg_std_error(&error.Manager);
    error.Manager.error_exit = FixtureErrorExit;
    if (setjmp(error.Jump)) {
        jpeg_destroy_decompress(&dinfo);
        throw std::runtime_error("fixture decoding failed");
    }
    jpeg_create_decompress(&dinfo);
    jpeg_mem_src(&dinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&dinfo, TRUE);
    *components = dinfo.num_components;
    dinfo.out_color_space = JCS_EXT_BGR;
    dinfo.dct_method = JDCT_FLOAT;
    jpeg_start_decompress(&dinfo);
    *width = int(dinfo.output_width);
    *height = int(dinfo.output_height);
    const std::size_t stride = std::size_t(dinfo.output_width) * 3;
    std::vector<std::uint8_t> out(stride * dinfo.output_height);
    while (dinfo.output_scanline < dinfo.output_height) {
        JSAMPLE *row = out.data() + std::size_t(dinfo.output_scanline) * stride;
        jpeg_read_scanlines(&dinfo, &row, 1);
    }
    jpeg_finish_decompress(&dinfo);
    jpeg_destroy_decompress(&dinfo);
    return out;
}

} // namespace vellumar::test
