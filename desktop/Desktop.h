// Start-up of the desktop layer.
#pragma once

namespace desk {

// Installs the engine's hooks: pending events run from progress events
// (QCoreApplication::processEvents), and shell icon indexes and type names
// come from FileInfo.h, and design-time errors show in a warning box.
// Call once after the QApplication exists.
void InitDesktop();

} // namespace desk
