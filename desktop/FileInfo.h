// Icons and type names of files, from the desktop's MIME database and icon
// theme.  The *ForName functions look at the name only and never touch the
// disk.
#pragma once

#include <QIcon>
#include <QString>

namespace desk {

QIcon iconForName(const QString& name);
QString typeNameForName(const QString& name);
QIcon iconForFile(const QString& path); // reads the disk (folders, executables, contents)
QString typeNameForFile(const QString& path);

// A process-wide image list: the same index always gives the same icon.
int iconIndexForName(const QString& name);
QIcon iconAt(int index); // null icon for an unknown index

} // namespace desk
