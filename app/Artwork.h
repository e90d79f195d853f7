// The program's own pictures, drawn at run time: tool-bar images (grey and
// coloured, 20 x 20), the splash and about logo.
#pragma once

#include <QIcon>
#include <QPixmap>

namespace app {

enum class ToolImage { Compress, Decompress, Copy, Move, Delete, Run, View, Add, Exit, ViewAsText };

QPixmap toolPixmap(ToolImage which, bool coloured, int size = 20);
// Grey in the normal mode, coloured in the active (hovered) mode.
QIcon toolIcon(ToolImage which);
QPixmap logoPixmap(int size);

} // namespace app
