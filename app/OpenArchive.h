// Opening a file from the program: archives in the viewer, other files
// with the desktop's application for them, and files the desktop would
// hand back to this program in this program's own viewer.
#pragma once

#include <QString>
#include <functional>

class QWidget;
class TfrmView;

namespace app {

// The desktop entry the program registers for itself.
QString ownDesktopId();
// Whether the desktop's default application for path's type is this
// program: opening it with the shell would only start the program again.
bool OpensWithSelf(const QString& path);

// Shows the viewer on path modally (the opening protocol) and releases it.
// addEnabled: 1 or 0 sets Add, -1 leaves it as it is; beforeShow runs just
// before the viewer appears.  A path that is not an existing file is
// reported instead ("... does not exist.").
void ViewArchiveModal(QWidget* parent, const QString& path, int addEnabled = -1,
                      const std::function<void(TfrmView*)>& beforeShow = {});

// The notice for a path that cannot be listed because it is missing or a
// folder; empty for an existing file.
QString missingFileText(const QString& path);

} // namespace app
