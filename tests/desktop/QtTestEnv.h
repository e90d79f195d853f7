// Runs a Qt Test class headless with HOME and the XDG folders in a fresh
// temporary folder, so that nothing a test does touches the user's files.
#pragma once

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>

namespace testenv {

// Points HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME and
// XDG_RUNTIME_DIR into root; system folders stay visible through
// XDG_DATA_DIRS unless a test changes it.
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
    qunsetenv("XDG_CURRENT_DESKTOP");
    qunsetenv("TERMINAL");
}

} // namespace testenv

#define OLMEK_QTEST_MAIN(TestClass)                                                                \
    int main(int argc, char** argv) {                                                              \
        QTemporaryDir sandbox;                                                                     \
        if (!sandbox.isValid()) return 2;                                                          \
        testenv::isolate(sandbox.path());                                                          \
        QApplication app(argc, argv);                                                              \
        TestClass tc;                                                                              \
        return QTest::qExec(&tc, argc, argv);                                                      \
    }
