// Writes the program's icon into an icon theme folder:
// hicolor/NxN/apps/olmek95.png for every installed size and
// hicolor/scalable/apps/olmek95.svg.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>

#include "desktop/AppIcon.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: olmek-icons FOLDER\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString root = QString::fromLocal8Bit(argv[1]) + "/hicolor/";
    const QString name = QString("/apps/") + desk::kAppIconName;
    for (int size : desk::appIconSizes()) {
        const QString folder = root + QString("%1x%1").arg(size);
        if (!QDir().mkpath(folder + "/apps") ||
            !desk::appIconImage(size).save(folder + name + ".png", "PNG")) {
            std::fprintf(stderr, "olmek-icons: cannot write %s\n", qPrintable(folder));
            return 1;
        }
    }
    QDir().mkpath(root + "scalable/apps");
    QFile svg(root + "scalable" + name + ".svg");
    if (!svg.open(QIODevice::WriteOnly) || svg.write(desk::appIconSvg()) < 0 || !svg.flush()) {
        std::fprintf(stderr, "olmek-icons: cannot write %s\n", qPrintable(svg.fileName()));
        return 1;
    }
    return 0;
}
