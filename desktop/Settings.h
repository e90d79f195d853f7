// The program's settings store: one INI file kept with QSettings at
// $XDG_CONFIG_HOME/Fenwood/OLMEK95.conf.  Every key path below
// "Software\Fenwood\OLMEK95" is a group ("Main", "0", "View",
// "Configure/General"); every value is a string and Booleans are "1"/"0".
#pragma once

#include <QSettings>
#include <QString>
#include <memory>

namespace desk {

// Full path of the settings file (follows XDG_CONFIG_HOME at call time).
QString settingsFilePath();

// Turns a registry-style key ("\Software\Fenwood\OLMEK95\Configure\General",
// "Configure\General" or "Configure/General") into the store's group name
// ("Configure/General").  The program's own prefix is removed.
QString settingsGroup(const QString& key);

class Settings {
public:
    Settings(); // opens the store at settingsFilePath()
    explicit Settings(const QString& iniPath);
    ~Settings();

    // key: a group or registry-style key as settingsGroup() accepts.
    QString readString(const QString& key, const QString& name, const QString& def = {}) const;
    void writeString(const QString& key, const QString& name, const QString& value);

    // True when the stored text starts with 1, T, Y, t or y.
    bool readBool(const QString& key, const QString& name, bool def) const;
    void writeBool(const QString& key, const QString& name, bool value); // "1" / "0"

    // def when the value is missing or not a decimal integer.
    int readInt(const QString& key, const QString& name, int def) const;
    void writeInt(const QString& key, const QString& name, int value);

    bool valueExists(const QString& key, const QString& name) const;
    // A key exists when its group holds at least one value.
    bool keyExists(const QString& key) const;
    void removeKey(const QString& key);

    // Writes pending changes to disk; false when the file could not be written.
    bool sync();
    QString fileName() const;
    QSettings& qsettings() { return *store_; }

private:
    std::unique_ptr<QSettings> store_;
};

} // namespace desk
