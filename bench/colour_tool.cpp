// Helpers of bench/colour.sh, on libjpeg and Little CMS directly:
//   p3-profile OUT          writes a Display P3 profile (D65, sRGB's curve)
//   srgb-profile OUT        writes Little CMS's sRGB profile
//   ycck IN OUT             re-encodes a CMYK JPEG as YCCK at quality 95, keeping its profile
//   distance REF.ppm OUT    mean absolute difference (levels per sample) of a reduced JPEG against the full-size
//                           reference, sampled where the exact reduction samples; then the same of the 8 x 8
//                           block means
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <lcms2.h>

namespace
{

using TBytes = std::vector<unsigned char>;

TBytes ReadAll(const char *path)
{
    std::ifstream in(path, std::ios::binary);
    return TBytes(std::istreambuf_iterator<char>(in), {});
}

void WriteAll(const char *path, const unsigned char *data, std::size_t size)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(data), std::streamsize(size));
}

int P3Profile(const char *out)
{
    const cmsCIExyY white { 0.3127, 0.3290, 1.0 };
    const cmsCIExyYTRIPLE primaries { { 0.680, 0.320, 1.0 }, { 0.265, 0.690, 1.0 }, { 0.150, 0.060, 1.0 } };
    const double srgb[5] = { 2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045 };
    cmsToneCurve *curve = cmsBuildParametricToneCurve(nullptr, 4, srgb);
    cmsToneCurve *curves[3] = { curve, curve, curve };
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsSaveProfileToFile(profile, out);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(curve);
    return 0;
}

// Little CMS's own sRGB, the profile the program writes with converted colours.
int SrgbProfile(const char *out)
{
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsSaveProfileToFile(profile, out);
    cmsCloseProfile(profile);
    return 0;
}

int Ycck(const char *in, const char *out)
{
    const TBytes source = ReadAll(in);
    jpeg_decompress_struct dinfo {};
    jpeg_error_mgr derr {};
    dinfo.err = jpeg_std_error(&derr);
    jpeg_create_decompress(&dinfo);
    jpeg_mem_src(&dinfo, source.data(), static_cast<unsigned long>(source.size()));
    jpeg_save_markers(&dinfo, JPEG_APP0 + 2, 0xFFFF);
    jpeg_read_header(&dinfo, TRUE);
    JOCTET *icc = nullptr;
    unsigned iccLength = 0;
    jpeg_read_icc_profile(&dinfo, &icc, &iccLength);
    dinfo.out_color_space = JCS_CMYK;
    jpeg_start_decompress(&dinfo);
    const std::size_t stride = std::size_t(dinfo.output_width) * 4;
    TBytes rows(stride * dinfo.output_height);
    while (dinfo.output_scanline < dinfo.output_height) {
        JSAMPROW row = rows.data() + std::size_t(dinfo.output_scanline) * stride;
        jpeg_read_scanlines(&dinfo, &row, 1);
    }

    jpeg_compress_struct cinfo {};
    jpeg_error_mgr cerr {};
    cinfo.err = jpeg_std_error(&cerr);
    jpeg_create_compress(&cinfo);
    unsigned char *buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = dinfo.output_width;
    cinfo.image_height = dinfo.output_height;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, JCS_YCCK);
    jpeg_set_quality(&cinfo, 95, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    if (icc != nullptr)
        jpeg_write_icc_profile(&cinfo, icc, iccLength);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = rows.data() + std::size_t(cinfo.next_scanline) * stride;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    WriteAll(out, buffer, size);
    std::free(buffer);
    std::free(icc);
    jpeg_destroy_compress(&cinfo);
    jpeg_finish_decompress(&dinfo);
    jpeg_destroy_decompress(&dinfo);
    return 0;
}

// A binary PPM (P6, maxval 255) as red, green, blue.
TBytes ReadPpm(const char *path, int &width, int &height)
{
    std::ifstream in(path, std::ios::binary);
    std::string magic;
    int maxval = 0;
    in >> magic >> width >> height >> maxval;
    in.get();
    TBytes pixels(std::size_t(width) * std::size_t(height) * 3);
    in.read(reinterpret_cast<char *>(pixels.data()), std::streamsize(pixels.size()));
    return pixels;
}

int Distance(const char *referencePath, const char *outputPath)
{
    int refWidth = 0;
    int refHeight = 0;
    const TBytes reference = ReadPpm(referencePath, refWidth, refHeight);
    const TBytes output = ReadAll(outputPath);
    jpeg_decompress_struct dinfo {};
    jpeg_error_mgr derr {};
    dinfo.err = jpeg_std_error(&derr);
    jpeg_create_decompress(&dinfo);
    jpeg_mem_src(&dinfo, output.data(), static_cast<unsigned long>(output.size()));
    jpeg_read_header(&dinfo, TRUE);
    dinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&dinfo);
    const long width = long(dinfo.output_width);
    const long height = long(dinfo.output_height);
    if (refWidth < 1 || refHeight < 1 || reference.size() < std::size_t(refWidth) * std::size_t(refHeight) * 3) {
        std::cerr << referencePath << ": not a binary PPM with 8-bit samples\n";
        return 1;
    }
    // Per sample, and per sample of the 8 x 8 block means: the encoding's noise (chroma subsampling, the DCT)
    // averages out of the second, a shift of the colours does not.
    constexpr long kBlock = 8;
    const long blocksAcross = width / kBlock;
    std::vector<double> blockSums(std::size_t(blocksAcross) * 3);
    TBytes row(std::size_t(width) * 3);
    double sum = 0;
    double blockSum = 0;
    long blocks = 0;
    while (dinfo.output_scanline < dinfo.output_height) {
        const long y = long(dinfo.output_scanline);
        JSAMPROW rowPointer = row.data();
        jpeg_read_scanlines(&dinfo, &rowPointer, 1);
        // The pixel under the centre of each output pixel, as the exact reduction takes it.
        const long sy = (2 * y + 1) * refHeight / (2 * height);
        for (long x = 0; x < width; ++x) {
            const long sx = (2 * x + 1) * refWidth / (2 * width);
            for (long c = 0; c < 3; ++c) {
                const int difference =
                    int(row[std::size_t(x * 3 + c)]) - int(reference[std::size_t((sy * refWidth + sx) * 3 + c)]);
                sum += std::abs(difference);
                if (x / kBlock < blocksAcross)
                    blockSums[std::size_t(x / kBlock * 3 + c)] += difference;
            }
        }
        if (y % kBlock == kBlock - 1) {
            for (double &block : blockSums) {
                blockSum += std::abs(block) / double(kBlock * kBlock);
                block = 0;
            }
            blocks += blocksAcross;
        }
    }
    jpeg_finish_decompress(&dinfo);
    jpeg_destroy_decompress(&dinfo);
    std::printf("%.2f %.2f\n", sum / double(width * height * 3), blocks > 0 ? blockSum / double(blocks * 3) : 0.0);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "p3-profile" && argc == 3)
        return P3Profile(argv[2]);
    if (command == "srgb-profile" && argc == 3)
        return SrgbProfile(argv[2]);
    if (command == "ycck" && argc == 4)
        return Ycck(argv[2], argv[3]);
    if (command == "distance" && argc == 4)
        return Distance(argv[2], argv[3]);
    std::cerr
        << "usage: vellumar-bench-colour p3-profile OUT | srgb-profile OUT | ycck IN OUT | distance REF.ppm OUT.jpg\n";
    return 2;
}
