// The terminal and the text editor.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

class QPlainTextEdit;

namespace desk {

// Terminal programs in the order they are tried: $TERMINAL,
// x-terminal-emulator, then common ones.
QStringList terminalCandidates();
// Starts the first terminal found, working in folder; false when none.
bool openTerminal(const QString& folder, QString* usedProgram = nullptr);

// The desktop's disk utility (format and copy disks), in the order tried.
QStringList diskUtilityCandidates();
// Starts the first disk utility found; false when none is installed.
bool openDiskUtility(QString* usedProgram = nullptr);

// Opens file in the default application for text/plain; without one, shows
// it in the program's own read-only text window (non-modal, deletes itself
// on close).  False when nothing could show it.
bool openTextEditor(const QString& file, QWidget* parent = nullptr);

// The fallback read-only text window.
class TextViewerDialog : public QDialog {
    Q_OBJECT
public:
    explicit TextViewerDialog(QWidget* parent = nullptr);
    // Loads at most a few megabytes; false when the file cannot be read.
    bool loadFile(const QString& file);
    QString text() const;

private:
    QPlainTextEdit* edit_;
};

} // namespace desk
