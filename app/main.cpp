#include <QApplication>

#include "app/MainBlock.h"

int main(int argc, char** argv) {
    QApplication a(argc, argv);
    app::initApplication(a);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    return app::runMainBlock(a, arguments);
}
