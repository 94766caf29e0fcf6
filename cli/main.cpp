#include <cstdio>
#include <cstring>
#include <exception>

#include "shell/version_info.h"

namespace {

constexpr const char *kUsage = "Usage: vellumar-batch [options] SOURCE DEST\n"
                               "Prepares every JPEG of SOURCE for publishing and writes the results to DEST.\n"
                               "\n"
                               "  --help      show this help and exit\n"
                               "  --version   show the program's version and exit\n";

} // namespace

int main(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            try {
                std::printf("%s\n", vellumar::ProgramVersionText().toUtf8().constData());
                return 0;
            } catch (const std::exception &error) {
                std::fprintf(stderr, "vellumar-batch: %s\n", error.what());
                return 1;
            }
        }
        std::fprintf(stderr, "vellumar-batch: unknown option %s\n", argv[i]);
        return 2;
    }
    std::fputs(kUsage, stderr);
    return 2;
}
