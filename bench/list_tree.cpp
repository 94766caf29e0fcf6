// Lists a folder tree as vellumar-batch --recursive does (TSourceList) and prints how many photos it found, for
// bench/library.sh to time against find over the same tree.
#include <cstdio>

#include <QCoreApplication>

#include "engine/source_list.h"

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fputs("usage: vellumar-bench-list FOLDER\n", stderr);
        return 2;
    }
    try {
        vellumar::TSourceList list;
        list.SetRecursive(true);
        list.ChangeListFolder(QString::fromLocal8Bit(argv[1]));
        std::printf("%d\n", list.Count());
    } catch (const vellumar::Exception &error) {
        std::fprintf(stderr, "vellumar-bench-list: %s\n", error.Message().toLocal8Bit().constData());
        return 1;
    }
    return 0;
}
