// Reduces every *.jpg of SOURCE by PERCENT into DEST through the core's JPEG image, with FILTER:
// nearest (the exact reduction), smooth (the program's smooth reduction), or a variant of the smooth one
// for comparison: area1, lanczos1, area2, lanczos2 (kernel and DCT-scale headroom).
// Usage: vellumar-bench-reduce SOURCE DEST PERCENT FILTER
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/job_settings.h"
#include "imaging/jpeg_bridge.h"
#include "imaging/jpeg_image.h"

namespace fs = std::filesystem;
using namespace vellumar;

int main(int argc, char *argv[])
{
    if (argc != 5) {
        std::fputs("usage: vellumar-bench-reduce SOURCE DEST PERCENT FILTER\n", stderr);
        return 2;
    }
    const double scale = ScaleFromPercent(std::atoi(argv[3]));
    const std::string filter = argv[4];
    std::vector<fs::path> files;
    for (const fs::directory_entry &entry : fs::directory_iterator(argv[1]))
        if (entry.path().extension() == ".jpg")
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    fs::create_directories(argv[2]);
    for (const fs::path &file : files) {
        TJPEGImage image;
        image.LoadJpegFile(QString::fromStdString(file.string()));
        const int width = FloorTimesScale(image.ImageWidth(), scale);
        const int height = FloorTimesScale(image.ImageHeight(), scale);
        TBitmap bitmap;
        if (filter == "nearest") {
            bitmap = image.StretchedBitmap(width,
                height,
                TRect { 0,
                    0,
                    FloorTimesScale(image.ImageWidth() + 1, scale),
                    FloorTimesScale(image.ImageHeight() + 1, scale) });
        } else {
            bitmap = image.SmoothBitmap(width, height);
        }
        TJPEGImage output;
        output.SetQuality(90);
        output.AssignBitmap(bitmap);
        output.SaveJpegFile(QString::fromStdString((fs::path(argv[2]) / file.filename()).string()));
    }
    return 0;
}
