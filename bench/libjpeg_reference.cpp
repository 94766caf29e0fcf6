// The floor for a reduction on this machine: the least work a program written directly on libjpeg does for
// the same result. It borrows only the size arithmetic and the sampling rule from the core.
// Usage: vellumar-libjpeg-reference SOURCE DEST PERCENT
// Every *.jpg / *.jpeg of SOURCE (sorted by name, one after another) is read whole, decoded at full size
// with the float DCT, reduced by PERCENT with the program's nearest-neighbour rule (PERCENT 0: kept at
// full size, the yardstick for an overlay), encoded baseline at quality 90 with the float DCT and written
// to DEST under the same name. Exit status 1 when a file fails.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <jpeglib.h>

#include "engine/job_settings.h"
#include "imaging/bitmap.h"

namespace
{

namespace fs = std::filesystem;

constexpr int kQuality = 90;

// libjpeg's default error_exit prints the message and ends the process, which is all a benchmark needs.
bool ProcessFile(const fs::path &source, const fs::path &destination, int percent)
{
    std::error_code error;
    const std::uintmax_t size = fs::file_size(source, error);
    if (error)
        return false;
    std::vector<unsigned char> compressed(size);
    std::ifstream in(source, std::ios::binary);
    if (!in.read(reinterpret_cast<char *>(compressed.data()), std::streamsize(size)))
        return false;

    jpeg_decompress_struct decompress {};
    jpeg_error_mgr decompressError {};
    decompress.err = jpeg_std_error(&decompressError);
    jpeg_create_decompress(&decompress);
    jpeg_mem_src(&decompress, compressed.data(), static_cast<unsigned long>(compressed.size()));
    jpeg_read_header(&decompress, TRUE);
    decompress.dct_method = JDCT_FLOAT;
    decompress.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&decompress);
    const int srcWidth = int(decompress.output_width);
    const int srcHeight = int(decompress.output_height);

    // The same size arithmetic as the program: the bitmap is the floor of each side times the scale, the
    // stretch target the floor of (side + 1) times the scale, which may overhang by one pixel.
    int width = srcWidth;
    int height = srcHeight;
    int targetWidth = srcWidth;
    int targetHeight = srcHeight;
    if (percent > 0) {
        const double scale = vellumar::ScaleFromPercent(percent);
        width = vellumar::FloorTimesScale(srcWidth, scale);
        height = vellumar::FloorTimesScale(srcHeight, scale);
        targetWidth = vellumar::FloorTimesScale(srcWidth + 1, scale);
        targetHeight = vellumar::FloorTimesScale(srcHeight + 1, scale);
    }
    if (width <= 0 || height <= 0) {
        jpeg_destroy_decompress(&decompress);
        return false;
    }

    std::vector<int> columns(std::size_t(width), 0);
    for (int x = 0; x < width; ++x)
        columns[std::size_t(x)] = vellumar::StretchSourceIndex(x, srcWidth, targetWidth);
    const std::size_t rowBytes = std::size_t(width) * 3;
    std::vector<unsigned char> frame(rowBytes * std::size_t(height));
    std::vector<unsigned char> line(std::size_t(srcWidth) * 3);
    int y = 0;
    int wanted = vellumar::StretchSourceIndex(0, srcHeight, targetHeight);
    while (decompress.output_scanline < decompress.output_height) {
        const int row = int(decompress.output_scanline);
        // At full size each scanline lands in the frame directly.
        JSAMPROW target = percent == 0 ? frame.data() + std::size_t(row) * rowBytes : line.data();
        jpeg_read_scanlines(&decompress, &target, 1);
        if (percent == 0)
            continue;
        for (; y < height && wanted == row; wanted = vellumar::StretchSourceIndex(++y, srcHeight, targetHeight)) {
            unsigned char *out = frame.data() + std::size_t(y) * rowBytes;
            for (const int column : columns) {
                const unsigned char *pixel = line.data() + std::size_t(column) * 3;
                *out++ = pixel[0];
                *out++ = pixel[1];
                *out++ = pixel[2];
            }
        }
    }
    jpeg_finish_decompress(&decompress);
    jpeg_destroy_decompress(&decompress);

    jpeg_compress_struct compress {};
    jpeg_error_mgr compressError {};
    compress.err = jpeg_std_error(&compressError);
    jpeg_create_compress(&compress);
    unsigned char *output = nullptr;
    unsigned long outputSize = 0;
    jpeg_mem_dest(&compress, &output, &outputSize);
    compress.image_width = JDIMENSION(width);
    compress.image_height = JDIMENSION(height);
    compress.input_components = 3;
    compress.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&compress);
    compress.dct_method = JDCT_FLOAT;
    jpeg_set_quality(&compress, kQuality, TRUE);
    jpeg_start_compress(&compress, TRUE);
    while (compress.next_scanline < compress.image_height) {
        JSAMPROW row = frame.data() + std::size_t(compress.next_scanline) * rowBytes;
        jpeg_write_scanlines(&compress, &row, 1);
    }
    jpeg_finish_compress(&compress);
    jpeg_destroy_compress(&compress);

    std::FILE *file = std::fopen(destination.c_str(), "wb");
    bool written = file != nullptr && std::fwrite(output, 1, outputSize, file) == outputSize;
    if (file != nullptr)
        written = std::fclose(file) == 0 && written;
    std::free(output);
    return written;
}

bool IsJpegName(const fs::path &path)
{
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(), [](unsigned char c) {
        return char(std::tolower(c));
    });
    return extension == ".jpg" || extension == ".jpeg";
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fputs("usage: vellumar-libjpeg-reference SOURCE DEST PERCENT (0 to 99; 0 keeps the size)\n", stderr);
        return 2;
    }
    const int percent = std::atoi(argv[3]);
    if (percent < 0 || percent > 99) {
        std::fputs("vellumar-libjpeg-reference: PERCENT must be 0 to 99\n", stderr);
        return 2;
    }
    const fs::path source(argv[1]);
    const fs::path destination(argv[2]);
    std::vector<fs::path> files;
    for (const fs::directory_entry &entry : fs::directory_iterator(source)) {
        if (entry.is_regular_file() && IsJpegName(entry.path()))
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    fs::create_directories(destination);
    int status = 0;
    for (const fs::path &file : files) {
        if (!ProcessFile(file, destination / file.filename(), percent)) {
            std::fprintf(stderr, "vellumar-libjpeg-reference: %s failed\n", file.c_str());
            status = 1;
        }
    }
    return status;
}
