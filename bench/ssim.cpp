// The structural similarity (SSIM) of the luma of pictures against a reference, for bench/run.sh: the
// usual index (11 x 11 Gaussian window of sigma 1.5, K1 = 0.01, K2 = 0.03, dynamic range 255) averaged over
// every window inside the picture. Luma is 0.299 R + 0.587 G + 0.114 B of the stored values.
// Usage: vellumar-bench-ssim REFERENCE PICTURE...   (JPEG, or binary PPM); prints one index per PICTURE.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace
{

struct TLuma {
    int Width = 0;
    int Height = 0;
    std::vector<float> Values;
};

std::vector<unsigned char> ReadFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

float Luma(float r, float g, float b)
{
    return 0.299f * r + 0.587f * g + 0.114f * b;
}

TLuma FromJpeg(const std::vector<unsigned char> &bytes)
{
    jpeg_decompress_struct info {};
    jpeg_error_mgr error {};
    info.err = jpeg_std_error(&error); // a broken file ends the benchmark with libjpeg's message
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    TLuma luma { int(info.output_width), int(info.output_height), {} };
    luma.Values.reserve(std::size_t(luma.Width) * std::size_t(luma.Height));
    std::vector<unsigned char> row(std::size_t(luma.Width) * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[] = { row.data() };
        jpeg_read_scanlines(&info, rows, 1);
        for (int x = 0; x < luma.Width; ++x)
            luma.Values.push_back(
                Luma(row[std::size_t(x) * 3], row[std::size_t(x) * 3 + 1], row[std::size_t(x) * 3 + 2]));
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return luma;
}

TLuma FromPpm(const std::vector<unsigned char> &bytes)
{
    std::size_t at = 2;
    const auto number = [&] {
        while (at < bytes.size() && (std::isspace(bytes[at]) || bytes[at] == '#')) {
            if (bytes[at] == '#')
                while (at < bytes.size() && bytes[at] != '\n')
                    ++at;
            else
                ++at;
        }
        long value = 0;
        while (at < bytes.size() && std::isdigit(bytes[at]))
            value = value * 10 + (bytes[at++] - '0');
        return value;
    };
    TLuma luma;
    luma.Width = int(number());
    luma.Height = int(number());
    const long maxValue = number();
    ++at; // the single white space before the samples
    const std::size_t sampleBytes = maxValue > 255 ? 2 : 1;
    const std::size_t pixels = std::size_t(luma.Width) * std::size_t(luma.Height);
    if (bytes.size() < at + pixels * 3 * sampleBytes)
        throw std::runtime_error("short PPM");
    const float toByte = 255.0f / float(maxValue);
    const auto sample = [&](std::size_t i) {
        const unsigned char *p = &bytes[at + i * sampleBytes];
        return float(sampleBytes == 2 ? (p[0] << 8 | p[1]) : p[0]) * toByte;
    };
    luma.Values.resize(pixels);
    for (std::size_t i = 0; i < pixels; ++i)
        luma.Values[i] = Luma(sample(i * 3), sample(i * 3 + 1), sample(i * 3 + 2));
    return luma;
}

TLuma Load(const std::string &path)
{
    const std::vector<unsigned char> bytes = ReadFile(path);
    if (bytes.size() > 2 && bytes[0] == 'P' && bytes[1] == '6')
        return FromPpm(bytes);
    return FromJpeg(bytes);
}

// The Gaussian-weighted mean of every 11 x 11 window that lies inside the picture.
std::vector<double> Blur(const std::vector<double> &in, int width, int height)
{
    constexpr int kRadius = 5;
    double kernel[2 * kRadius + 1];
    double total = 0;
    for (int i = -kRadius; i <= kRadius; ++i)
        total += kernel[i + kRadius] = std::exp(-double(i * i) / (2 * 1.5 * 1.5));
    for (double &k : kernel)
        k /= total;
    const int outWidth = width - 2 * kRadius;
    const int outHeight = height - 2 * kRadius;
    std::vector<double> across(std::size_t(outWidth) * std::size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < outWidth; ++x) {
            double sum = 0;
            for (int k = 0; k <= 2 * kRadius; ++k)
                sum += kernel[k] * in[std::size_t(y) * std::size_t(width) + std::size_t(x + k)];
            across[std::size_t(y) * std::size_t(outWidth) + std::size_t(x)] = sum;
        }
    std::vector<double> out(std::size_t(outWidth) * std::size_t(outHeight));
    for (int y = 0; y < outHeight; ++y)
        for (int x = 0; x < outWidth; ++x) {
            double sum = 0;
            for (int k = 0; k <= 2 * kRadius; ++k)
                sum += kernel[k] * across[std::size_t(y + k) * std::size_t(outWidth) + std::size_t(x)];
            out[std::size_t(y) * std::size_t(outWidth) + std::size_t(x)] = sum;
        }
    return out;
}

double Ssim(const TLuma &a, const TLuma &b)
{
    if (a.Width != b.Width || a.Height != b.Height)
        throw std::runtime_error("the pictures differ in size");
    if (a.Width < 11 || a.Height < 11)
        throw std::runtime_error("pictures below 11 x 11 pixels");
    const std::size_t n = a.Values.size();
    std::vector<double> x(n), y(n), xx(n), yy(n), xy(n);
    for (std::size_t i = 0; i < n; ++i) {
        x[i] = a.Values[i];
        y[i] = b.Values[i];
        xx[i] = x[i] * x[i];
        yy[i] = y[i] * y[i];
        xy[i] = x[i] * y[i];
    }
    const std::vector<double> mx = Blur(x, a.Width, a.Height), my = Blur(y, a.Width, a.Height),
                              sxx = Blur(xx, a.Width, a.Height), syy = Blur(yy, a.Width, a.Height),
                              sxy = Blur(xy, a.Width, a.Height);
    const double c1 = (0.01 * 255) * (0.01 * 255);
    const double c2 = (0.03 * 255) * (0.03 * 255);
    double sum = 0;
    for (std::size_t i = 0; i < mx.size(); ++i) {
        const double varX = sxx[i] - mx[i] * mx[i];
        const double varY = syy[i] - my[i] * my[i];
        const double cov = sxy[i] - mx[i] * my[i];
        sum +=
            ((2 * mx[i] * my[i] + c1) * (2 * cov + c2)) / ((mx[i] * mx[i] + my[i] * my[i] + c1) * (varX + varY + c2));
    }
    return sum / double(mx.size());
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3) {
        std::fputs("usage: vellumar-bench-ssim REFERENCE PICTURE...\n", stderr);
        return 2;
    }
    try {
        const TLuma reference = Load(argv[1]);
        for (int i = 2; i < argc; ++i)
            std::printf("%.5f\n", Ssim(reference, Load(argv[i])));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "vellumar-bench-ssim: %s\n", error.what());
        return 1;
    }
    return 0;
}
