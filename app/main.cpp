#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/MainBlock.h"

int main(int argc, char** argv) {
    // Alone on the command line these are options, not an archive's name
    // (./--help opens a file of that name); answered before any display is needed.
    if (argc == 2 && !std::strcmp(argv[1], "--version")) {
        std::printf("olmek (OLMEK 95) %s\n", OLMEK_VERSION);
        return 0;
    }
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::printf("Usage: olmek [ARCHIVE]\n\n"
                    "Without ARCHIVE, opens the folder windows of the last run; with it, shows\n"
                    "only the archive viewer for ARCHIVE (all arguments joined by blanks form\n"
                    "the name).\n\n"
                    "  --help     show this help\n"
                    "  --version  show the version\n");
        return 0;
    }
    QApplication a(argc, argv);
    QCoreApplication::setApplicationVersion(OLMEK_VERSION);
    app::initApplication(a);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return app::runMainBlock(a, arguments);
}
