// The smaller commands' windows and helpers: the Run dialog, the download
// notice, the "More..." menu of a file or folder, and the name Make .EXE
// File gives its program.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QMenu;
class QWidget;

// The download page the notice's link opens.
inline constexpr const char* kDownloadAddress = "https://olmek95.sourceforge.io/download.html";

class TfrmRun : public QDialog {
    Q_OBJECT
public:
    explicit TfrmRun(QWidget* parent = nullptr);
    QLineEdit* txtApplication = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
};

class TfrmDownload : public QDialog {
    Q_OBJECT
public:
    explicit TfrmDownload(QWidget* parent = nullptr);
    QLabel* lblLink = nullptr;
    // Opens the download page and closes the notice.
    void openLink();
};

namespace app {

// The program made from archive by Make .EXE File: the archive's file name
// cut at its first "." (folders keep their dots), with ".exe" added.
QString exeTargetOf(const QString& archive);

// The desktop's counterpart of a shell context menu for path: Open, Open
// With (the applications registered for its type), Open Terminal Here,
// Copy Path and Properties.  The caller owns the menu.
QMenu* moreMenu(QWidget* parent, const QString& path);

// What Properties shows for path.
QString propertiesText(const QString& path);

// Runs a command line typed into the Run dialog: an existing file is opened
// whole, else the first word is the program and the rest its parameters.
// The shell's result code.
int runCommandLine(const QString& line);

} // namespace app
