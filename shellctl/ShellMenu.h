// The program's own context menu for files and folders: Open, Open With,
// Open Terminal Here, Copy Path, Properties.
#pragma once

#include <QMenu>
#include <QStringList>

// Builds the menu for paths (owned by the caller).
QMenu* createShellMenu(QWidget* parent, const QStringList& paths);
void showShellMenu(QWidget* parent, const QStringList& paths, const QPoint& globalPos);
// The properties text shown for a path.
QString propertiesText(const QString& path);
