#include "desktop/Launch.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

#include "desktop/Shell.h"

namespace desk {

QStringList terminalCandidates() {
    QStringList out;
    const QString env = qEnvironmentVariable("TERMINAL").trimmed();
    if (!env.isEmpty()) out << env;
    out << "x-terminal-emulator"
        << "gnome-terminal"
        << "konsole"
        << "xfce4-terminal"
        << "mate-terminal"
        << "lxterminal"
        << "qterminal"
        << "tilix"
        << "terminator"
        << "alacritty"
        << "kitty"
        << "foot"
        << "urxvt"
        << "rxvt"
        << "xterm";
    return out;
}

bool openTerminal(const QString& folder, QString* usedProgram) {
    const QString dir = folder.isEmpty() ? QDir::homePath() : folder;
    if (!QFileInfo(dir).isDir()) return false;
    for (const QString& candidate : terminalCandidates()) {
        QStringList words = splitCommandLine(candidate);
        if (words.isEmpty()) continue;
        const QString program = QStandardPaths::findExecutable(words.takeFirst());
        if (program.isEmpty()) continue;
        if (QProcess::startDetached(program, words, dir)) {
            if (usedProgram) *usedProgram = program;
            return true;
        }
    }
    return false;
}

QStringList diskUtilityCandidates() {
    return {"gnome-disks", "partitionmanager", "mate-disk-utility", "xfce4-disk-utility",
            "gparted"};
}

bool openDiskUtility(QString* usedProgram) {
    for (const QString& candidate : diskUtilityCandidates()) {
        const QString program = QStandardPaths::findExecutable(candidate);
        if (program.isEmpty()) continue;
        if (QProcess::startDetached(program, {}, QDir::homePath())) {
            if (usedProgram) *usedProgram = program;
            return true;
        }
    }
    return false;
}

bool openTextEditor(const QString& file, QWidget* parent) {
    const QString abs = QFileInfo(file).absoluteFilePath();
    for (const QString& id : applicationsFor("text/plain")) {
        if (OpenWith(id, abs).ok()) return true;
    }
    auto* viewer = new TextViewerDialog(parent);
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    if (!viewer->loadFile(abs)) {
        delete viewer;
        return false;
    }
    viewer->show();
    return true;
}

TextViewerDialog::TextViewerDialog(QWidget* parent) : QDialog(parent) {
    auto* layout = new QVBoxLayout(this);
    edit_ = new QPlainTextEdit(this);
    edit_->setReadOnly(true);
    edit_->setLineWrapMode(QPlainTextEdit::NoWrap);
    edit_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(edit_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(640, 480);
}

bool TextViewerDialog::loadFile(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return false;
    // Large files are shown in part: this is a viewer, not an editor.
    constexpr qint64 kLimit = 8 << 20;
    QByteArray data = f.read(kLimit);
    const bool cut = !f.atEnd();
    QString text = QString::fromUtf8(data);
    if (text.contains(QChar::ReplacementCharacter)) text = QString::fromLatin1(data);
    if (cut) text += "\n[...]";
    edit_->setPlainText(text);
    setWindowTitle(QFileInfo(file).fileName());
    return true;
}

QString TextViewerDialog::text() const {
    return edit_->toPlainText();
}

} // namespace desk
