// Runs a Qt Test class headless with HOME and the XDG folders in a fresh
// temporary folder, so that nothing a test does touches the user's files.
#pragma once

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

namespace apptest {

inline void isolate(const QString& root) {
    for (const char* sub : {"home", "config", "data", "cache", "run"})
        QDir().mkpath(root + '/' + sub);
    QFile::setPermissions(root + "/run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("HOME", (root + "/home").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (root + "/config").toLocal8Bit());
    qputenv("XDG_DATA_HOME", (root + "/data").toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (root + "/cache").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", (root + "/run").toLocal8Bit());
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace apptest

#define OLMEK_APP_TEST_MAIN(TestClass)                                                             \
    int main(int argc, char** argv) {                                                              \
        QTemporaryDir sandbox;                                                                     \
        if (!sandbox.isValid()) return 2;                                                          \
        apptest::isolate(sandbox.path());                                                          \
        QApplication app(argc, argv);                                                              \
        TestClass tc;                                                                              \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
