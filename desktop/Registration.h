// Registers the program as the opener of its archive extensions, the
// freedesktop way: a desktop entry, MIME types for extensions the system
// does not know, and mimeapps.list defaults.
#pragma once

#include <QString>
#include <QStringList>

namespace desk {

// ".ARC", ".ARJ", ".CAB", ".GZ", ".HA", ".LHA", ".LZH", ".PAK", ".RAR", ".TAR",
// ".Z", ".ZIP", ".ZOO", in that order.
const QStringList& archiveExtensions();

struct ExtensionType {
    QString extension; // ".ZIP"
    QString mimeType;  // "application/zip"
    bool ours = false; // the system had no type: ours is written in the package XML
};

// The MIME type of every archive extension: the system's where it has one,
// else the program's own (application/x-arc, application/x-ha).
QList<ExtensionType> archiveMimeTypes();

// $XDG_DATA_HOME/applications/olmek95.desktop
QString desktopEntryFile();
// $XDG_DATA_HOME/mime/packages/olmek95.xml
QString mimePackageFile();
// $XDG_CONFIG_HOME/mimeapps.list
QString mimeAppsListFile();

// Writes all three.  The desktop entry runs programPath with %f; the package
// XML is written only when some extension lacks a type (and then
// update-mime-database is run on $XDG_DATA_HOME/mime when installed and
// runUpdateDatabase is true); mimeapps.list gets olmek95.desktop as the
// default of every archive type, other entries kept.  False (with a text in
// *error) when a file could not be written.
bool RegisterFileTypes(const QString& programPath, QString* error = nullptr,
                       bool runUpdateDatabase = true);

// Quotes one argument for an Exec line of a desktop entry.
QString quoteExecArgument(const QString& arg);

// Rewrites mimeapps.list text: every type in mimeTypes gets desktopId as its
// default; other lines, groups and comments stay as they were.
QString mergeMimeAppsList(const QString& text, const QStringList& mimeTypes,
                          const QString& desktopId);

} // namespace desk
