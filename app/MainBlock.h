// The program's start: application set-up, splash, long-lived forms, frame.
#pragma once

#include <QString>
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
// Runs the program; with an archive path and a program already running,
// hands the path over instead and returns 0 at once.
int runMainBlock(QApplication& a, const QStringList& arguments);
// The archive path of the command line: the arguments joined with single
// blanks, trimmed of characters below 33, made absolute; empty for none.
QString commandLinePath(const QStringList& arguments);

} // namespace app
