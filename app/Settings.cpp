#include "app/Settings.h"

#include "desktop/Settings.h"

namespace app {
namespace {

desk::Settings& store() {
    static desk::Settings settings;
    return settings;
}

} // namespace

QString settingsGroup(const QString& keyPath) {
    return desk::settingsGroup(keyPath);
}

bool keyExists(const QString& keyPath) {
    return store().keyExists(keyPath);
}

bool valueExists(const QString& keyPath, const QString& name) {
    return store().valueExists(keyPath, name);
}

QString readValue(const QString& keyPath, const QString& name, const QString& def) {
    return store().readString(keyPath, name, def);
}

void writeValue(const QString& keyPath, const QString& name, const QString& text) {
    store().writeString(keyPath, name, text);
}

void syncSettings() {
    store().sync();
}

void clearSettings() {
    store().qsettings().clear();
    store().sync();
}

} // namespace app
