// Registers the program as the opener of its archive extensions, the
// freedesktop way: a desktop entry with the program's icon, MIME types for
// extensions the system does not know, and mimeapps.list defaults.
#pragma once

#include <QString>
#include <QStringList>

namespace desk {

// The desktop entry's name without ".desktop" (also the program's name on
// the desktop, which matches its windows to the entry).
inline constexpr char kDesktopName[] = "olmek95";

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

// The system's desktop entry olmek95.desktop (the first in $XDG_DATA_DIRS)
// when it starts programPath; empty otherwise.
QString systemDesktopEntry(const QString& programPath);

// Registers programPath for the user.  The package XML is written only when
// some extension lacks a type, and removed when none does any longer
// (update-mime-database is then run on $XDG_DATA_HOME/mime when installed
// and runUpdateDatabase is true).
//
// A program without a system desktop entry (run from where it was built)
// writes its own desktop entry (Exec = programPath with %f) and icons into
// the user's folders and becomes the default of every archive type in
// mimeapps.list, replacing other defaults.  An installed program, which the
// system's entry starts, writes neither (and removes copies it wrote earlier
// that would hide the system's), and becomes the default only of the types
// for which the user chose none and did not remove it.  Other entries of
// mimeapps.list are kept.  False (with a text in *error) when a file could
// not be written.
bool RegisterFileTypes(const QString& programPath, QString* error = nullptr,
                       bool runUpdateDatabase = true);

// The desktop entry the user's registration writes.
QString desktopEntryText(const QString& program, const QStringList& mimeTypes);

// Quotes one argument for an Exec line of a desktop entry.
QString quoteExecArgument(const QString& arg);

// Rewrites mimeapps.list text: every type in mimeTypes gets desktopId as its
// default; with keepOtherDefaults, only the types without a default whose
// association with desktopId was not removed.  Other lines, groups and
// comments stay as they were.
QString mergeMimeAppsList(const QString& text, const QStringList& mimeTypes,
                          const QString& desktopId, bool keepOtherDefaults = false);

} // namespace desk
