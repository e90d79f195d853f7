// Reading freedesktop desktop entries and mimeapps.list files (internal to
// the desktop layer).
#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace desk {

// $XDG_CONFIG_HOME then $XDG_CONFIG_DIRS, and $XDG_DATA_HOME then
// $XDG_DATA_DIRS, with the standard defaults.
QStringList xdgConfigDirs();
QStringList xdgDataDirs();
QString xdgConfigHome();
QString xdgDataHome();

// One group of key=value lines of an INI-like freedesktop file.
using KeyGroup = QMap<QString, QString>;
// Groups by name; later duplicates of a key are ignored, as the format says.
QMap<QString, KeyGroup> parseKeyFile(const QString& text);

struct DesktopEntry {
    KeyGroup keys; // the [Desktop Entry] group
    bool valid = false;

    static DesktopEntry load(const QString& path);
    QString value(const QString& key) const { return keys.value(key); }
    // key[lang_COUNTRY], key[lang], then key.
    QString localized(const QString& key) const;
    // Hidden entries and those whose TryExec is missing count as absent.
    bool usable() const;
    QStringList mimeTypes() const;
    // Exec split into arguments with the field codes expanded.
    bool expandExec(const QStringList& files, const QString& entryPath, QStringList* out) const;
};

// Path of an installed desktop entry by its id; empty when none.
QString findDesktopEntry(const QString& desktopId);

// Applications for the types (the first type is the file's own, then its
// ancestors), default first: mimeapps.list defaults, added associations,
// then entries that declare the type; removed associations left out.
QStringList associatedApplications(const QStringList& mimeTypes);

// Terminal programs found on PATH, in the order they are tried.
QStringList availableTerminals();

} // namespace desk
