#include "app/OtherCommands.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMimeDatabase>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "desktop/Launch.h"
#include "desktop/MessageBox.h"
#include "desktop/PrintDirectory.h"
#include "desktop/Shell.h"

TfrmRun::TfrmRun(QWidget* parent) : QDialog(parent) {
    setObjectName("frmRun");
    setWindowTitle("Run");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* grid = new QGridLayout(this);
    auto* label = new QLabel("&Execute the following application:", this);
    txtApplication = new QLineEdit(this);
    txtApplication->setObjectName("txtApplication");
    label->setBuddy(txtApplication);
    auto* ok = new QPushButton("Ok", this);
    ok->setObjectName("cmdOk");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", this);
    cancel->setObjectName("cmdCancel");
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    grid->addWidget(label, 0, 0);
    grid->addWidget(txtApplication, 1, 0);
    grid->addWidget(ok, 0, 1);
    grid->addWidget(cancel, 1, 1);
    resize(462, 110);
}

void TfrmRun::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    txtApplication->setFocus();
}

TfrmDownload::TfrmDownload(QWidget* parent) : QDialog(parent) {
    setObjectName("frmDownload");
    setWindowTitle("Download Latest Version");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Download the latest version of OLMEK 95 at", this));
    lblLink = new QLabel(
        QString("<a href=\"%1\" style=\"color: navy\">%1</a>").arg(kDownloadAddress), this);
    lblLink->setObjectName("lblLink");
    lblLink->setCursor(Qt::PointingHandCursor);
    lblLink->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
    connect(lblLink, &QLabel::linkActivated, this, [this] { openLink(); });
    layout->addWidget(lblLink);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton("Ok", QDialogButtonBox::AcceptRole);
    ok->setObjectName("cmdOk");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

void TfrmDownload::openLink() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool opened = QDesktopServices::openUrl(QUrl(kDownloadAddress));
    QApplication::restoreOverrideCursor();
    if (!opened)
        desk::showInformation(QString("No web browser could open %1.").arg(kDownloadAddress), this);
    accept();
}

namespace app {

QString exeTargetOf(const QString& archive) {
    const int slash = archive.lastIndexOf('/');
    const int dot = archive.indexOf('.', slash + 1);
    return (dot < 0 ? archive : archive.left(dot)) + ".exe";
}

QString propertiesText(const QString& path) {
    const QFileInfo fi(path);
    const QLocale locale;
    QString text = "Name: " + fi.fileName() + "\rFolder: " + fi.absolutePath();
    if (fi.isDir()) {
        text += "\rType: Folder";
    } else {
        text += "\rType: " + QMimeDatabase().mimeTypeForFile(fi).comment();
        text += "\rSize: " + desk::formatGrouped(std::uint64_t(fi.size())) + " bytes";
    }
    text += "\rModified: " + locale.toString(fi.lastModified(), QLocale::ShortFormat);
    const QFile::Permissions p = fi.permissions();
    QString mode;
    for (auto [flag, c] : {std::pair{QFile::ReadOwner, 'r'},
                           {QFile::WriteOwner, 'w'},
                           {QFile::ExeOwner, 'x'},
                           {QFile::ReadGroup, 'r'},
                           {QFile::WriteGroup, 'w'},
                           {QFile::ExeGroup, 'x'},
                           {QFile::ReadOther, 'r'},
                           {QFile::WriteOther, 'w'},
                           {QFile::ExeOther, 'x'}})
        mode += (p & flag) ? QChar(c) : QChar('-');
    text += "\rPermissions: " + mode + "\rOwner: " + fi.owner();
    return text;
}

QMenu* moreMenu(QWidget* parent, const QString& path) {
    auto* menu = new QMenu(parent);
    menu->setObjectName("mnuMore");
    const QFileInfo fi(path);
    auto report = [parent, path](const desk::ShellExecResult& r) {
        if (!r.ok()) desk::showInformation(desk::shellErrorText(r.code, path), parent);
    };
    menu->addAction("&Open", parent, [path, report] { report(desk::ShellExecute(path)); });
    QMenu* with = menu->addMenu("Open &With");
    if (!fi.isDir()) {
        const QString type = QMimeDatabase().mimeTypeForFile(fi).name();
        for (const QString& id : desk::applicationsFor(type))
            with->addAction(desk::desktopEntryName(id), parent,
                            [id, path, report] { report(desk::OpenWith(id, path)); });
    }
    with->setEnabled(!with->isEmpty());
    const QString folder = fi.isDir() ? fi.absoluteFilePath() : fi.absolutePath();
    menu->addAction("Open &Terminal Here", parent, [parent, folder] {
        if (!desk::openTerminal(folder))
            desk::showInformation("No terminal program was found.", parent);
    });
    menu->addAction("&Copy Path", parent, [path] {
        QApplication::clipboard()->setText(QFileInfo(path).absoluteFilePath());
    });
    menu->addSeparator();
    menu->addAction("P&roperties", parent, [parent, path] {
        desk::MessageDlg(propertiesText(path), desk::mtInformation, desk::mbOK, parent);
    });
    return menu;
}

int runCommandLine(const QString& line) {
    const QString text = line.trimmed();
    const QFileInfo whole(text);
    if (whole.exists()) return desk::ShellExecute(text, {}, whole.absolutePath()).code;
    QStringList words = desk::splitCommandLine(text);
    if (words.isEmpty()) return desk::SE_ERR_FNF;
    const QString program = words.takeFirst();
    // The rest goes back as one parameter line, each word quoted.
    QStringList quoted;
    for (QString w : words) quoted << "'" + w.replace("'", "'\\''") + "'";
    const QFileInfo fi(program);
    const QString dir = program.contains('/') ? fi.absolutePath() : QString();
    return desk::ShellExecute(program, quoted.join(' '), dir).code;
}

} // namespace app
