// The program's start: application set-up, splash, long-lived forms, frame.
#pragma once

#include <QStringList>

class QApplication;
class TfrmMain;

namespace app {

// Title, fonts and the desktop layer's hooks; call once after the
// QApplication exists.
void initApplication(QApplication& a);
// Splash, the long-lived forms and the frame with the given command-line
// arguments; the frame is shown and owns nothing else.
TfrmMain* createMainWindows(const QStringList& arguments);
int runMainBlock(QApplication& a, const QStringList& arguments);

} // namespace app
