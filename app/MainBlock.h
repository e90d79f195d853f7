// The program's start: application set-up, splash, long-lived forms, frame.
#pragma once

#include <QStringList>

class QApplication;
class TfrmMain;

namespace app {

// Connects the engine's hooks to the desktop: pending events run from
// progress events, shell icon indexes and type names come from the desktop's
// file information, and errors of a component in design mode show in a
// warning box.  Call once after the QApplication exists.
void installEngineHooks();
// Title, fonts and the engine's hooks; call once after the QApplication
// exists.
void initApplication(QApplication& a);
// Splash, the long-lived forms and the frame with the given command-line
// arguments; the frame is shown and owns nothing else.
TfrmMain* createMainWindows(const QStringList& arguments);
int runMainBlock(QApplication& a, const QStringList& arguments);

} // namespace app
