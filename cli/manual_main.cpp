// Writes the manual pages and the shell completions into a folder; run by the build.
#include <cstdio>

#include <QFile>

#include "cli/manual.h"

namespace
{

bool WriteText(const QString &path, const QString &text)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(text.toUtf8()) < 0 || !file.flush()) {
        std::fprintf(stderr, "vellumar-manual: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "Usage: vellumar-manual VERSION FOLDER\n");
        return 2;
    }
    const QString version = QString::fromLocal8Bit(argv[1]);
    const QString folder = QString::fromLocal8Bit(argv[2]) + QLatin1Char('/');
    const bool written = WriteText(folder + QStringLiteral("vellumar-batch.1"), vellumar::BatchManualPage(version))
        && WriteText(folder + QStringLiteral("vellumar.1"), vellumar::WindowManualPage(version))
        && WriteText(folder + QStringLiteral("vellumar-batch.bash"), vellumar::BashCompletion())
        && WriteText(folder + QStringLiteral("_vellumar-batch"), vellumar::ZshCompletion())
        && WriteText(folder + QStringLiteral("vellumar-batch.fish"), vellumar::FishCompletion());
    return written ? 0 : 1;
}
