// Writes a synthetic camera photo of any size row by row, so that even 268 megapixels take a few megabytes of
// memory: sky, hills and fine texture, which compress about as a real photo does.
// Usage: vellumar-make-photo OUT WIDTH HEIGHT [ORIENTATION]
// WIDTH x HEIGHT is the upright picture. With ORIENTATION (1 to 8) the file carries an EXIF block with that
// Orientation tag, a GPS IFD and a thumbnail, and stores the picture the way a camera held that way does:
// sideways for 5 to 8, so that only a viewer that honours the tag shows the sky on top.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace
{

constexpr int kQuality = 90;

void Put16(std::vector<JOCTET> &out, unsigned value)
{
    out.push_back(JOCTET(value >> 8));
    out.push_back(JOCTET(value));
}

void Put32(std::vector<JOCTET> &out, std::uint32_t value)
{
    Put16(out, value >> 16);
    Put16(out, value & 0xFFFF);
}

void PutEntry(std::vector<JOCTET> &out, unsigned tag, unsigned type, std::uint32_t count, std::uint32_t value)
{
    Put16(out, tag);
    Put16(out, type);
    Put32(out, count);
    Put32(out, value);
}

// Big-endian TIFF: IFD0 (Orientation, GPS pointer), a GPS IFD with a latitude, IFD1 with a small thumbnail.
std::vector<JOCTET> ExifBlock(int orientation)
{
    std::vector<JOCTET> out { 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42 };
    Put32(out, 8);
    const std::uint32_t gps = 8 + 2 + 2 * 12 + 4;
    const std::uint32_t latitude = gps + 2 + 12 + 4;
    const std::uint32_t ifd1 = latitude + 24;
    const std::uint32_t thumbnail = ifd1 + 2 + 2 * 12 + 4;
    const std::vector<JOCTET> thumbnailBytes(2000, 0x55);
    Put16(out, 2);
    PutEntry(out, 0x0112, 3, 1, std::uint32_t(orientation) << 16);
    PutEntry(out, 0x8825, 4, 1, gps);
    Put32(out, ifd1);
    Put16(out, 1);
    PutEntry(out, 0x0002, 5, 3, latitude);
    Put32(out, 0);
    for (const std::uint32_t value : { 48u, 1u, 51u, 1u, 30u, 1u })
        Put32(out, value);
    Put16(out, 2);
    PutEntry(out, 0x0201, 4, 1, thumbnail);
    PutEntry(out, 0x0202, 4, 1, std::uint32_t(thumbnailBytes.size()));
    Put32(out, 0);
    out.insert(out.end(), thumbnailBytes.begin(), thumbnailBytes.end());
    return out;
}

// A repeatable noise value in -8..7.
int Noise(std::uint32_t x, std::uint32_t y)
{
    std::uint32_t h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return int(h & 15) - 8;
}

struct TPoint {
    int X = 0;
    int Y = 0;
};

// The upright point shown at stored pixel (x, y) of a stored picture w x h.
TPoint UprightPoint(int orientation, int w, int h, int x, int y)
{
    switch (orientation) {
    case 2:
        return { w - 1 - x, y };
    case 3:
        return { w - 1 - x, h - 1 - y };
    case 4:
        return { x, h - 1 - y };
    case 5:
        return { y, x };
    case 6:
        return { h - 1 - y, x };
    case 7:
        return { h - 1 - y, w - 1 - x };
    case 8:
        return { y, w - 1 - x };
    default:
        return { x, y };
    }
}

// Sky above a ridge of hills, a sun in the upper left: which way is up is plain to see.
void ScenePixel(int x, int y, int width, int height, JSAMPLE *rgb)
{
    const double u = double(x) / width;
    const double v = double(y) / height;
    const double ridge = 0.55 + 0.08 * std::sin(u * 19.0) + 0.04 * std::sin(u * 57.0 + 1.0);
    const double sun = std::hypot((u - 0.25) * width, (v - 0.2) * height) / std::min(width, height);
    const int n = Noise(std::uint32_t(x), std::uint32_t(y));
    int r = 0;
    int g = 0;
    int b = 0;
    if (v < ridge && sun < 0.09) {
        r = 255;
        g = 220;
        b = 90;
    } else if (v < ridge) {
        r = int(90 + 80 * v);
        g = int(140 + 70 * v);
        b = int(230 - 30 * v);
    } else {
        r = int(70 + 60 * std::sin(u * 7.0 + v * 13.0)) + n;
        g = int(120 + 40 * std::sin(u * 11.0)) + n;
        b = int(50 + 30 * v) + n;
    }
    rgb[0] = JSAMPLE(std::clamp(r, 0, 255));
    rgb[1] = JSAMPLE(std::clamp(g, 0, 255));
    rgb[2] = JSAMPLE(std::clamp(b, 0, 255));
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "Usage: vellumar-make-photo OUT WIDTH HEIGHT [ORIENTATION]\n");
        return 2;
    }
    const int uprightWidth = std::atoi(argv[2]);
    const int uprightHeight = std::atoi(argv[3]);
    const int orientation = argc == 5 ? std::atoi(argv[4]) : 0;
    const bool sideways = orientation >= 5 && orientation <= 8;
    const int width = sideways ? uprightHeight : uprightWidth;
    const int height = sideways ? uprightWidth : uprightHeight;
    FILE *file = std::fopen(argv[1], "wb");
    if (file == nullptr || width < 1 || height < 1) {
        std::fprintf(stderr, "vellumar-make-photo: cannot write %s\n", argv[1]);
        return 1;
    }
    jpeg_compress_struct info {};
    jpeg_error_mgr error {};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, file);
    info.image_width = JDIMENSION(width);
    info.image_height = JDIMENSION(height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    if (orientation >= 1 && orientation <= 8) {
        const std::vector<JOCTET> exif = ExifBlock(orientation);
        jpeg_write_marker(&info, JPEG_APP0 + 1, exif.data(), unsigned(exif.size()));
    }
    std::vector<JSAMPLE> row(std::size_t(width) * 3);
    JSAMPROW rows[1] = { row.data() };
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const TPoint p = UprightPoint(orientation, width, height, x, y);
            ScenePixel(p.X, p.Y, uprightWidth, uprightHeight, &row[std::size_t(x) * 3]);
        }
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return std::fclose(file) == 0 ? 0 : 1;
}
