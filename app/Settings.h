// The program's settings store as the registry-shaped view the forms use:
// a key path such as "\Software\Fenwood\OLMEK95\Main" names a group of
// string values.
#pragma once

#include <QString>

namespace app {

// The root every key path below is taken relative to.
inline constexpr const char* kProgramKey = "\\Software\\Fenwood\\OLMEK95\\";

// "\Software\Fenwood\OLMEK95\Configure\General" -> "Configure/General".
QString settingsGroup(const QString& keyPath);

bool keyExists(const QString& keyPath);
bool valueExists(const QString& keyPath, const QString& name);
QString readValue(const QString& keyPath, const QString& name, const QString& def);
void writeValue(const QString& keyPath, const QString& name, const QString& text);
// Writes pending changes to disk (the store also does so on its own).
void syncSettings();
// Removes every stored value (for tests and a fresh start).
void clearSettings();

} // namespace app
