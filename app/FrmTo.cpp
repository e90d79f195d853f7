#include "app/FrmTo.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/ExtractRun.h"
#include "app/Metrics.h"
#include "archive/extract/UnBase.h"
#include "archive/list/ArcLister.h"
#include "desktop/FileOperation.h"
#include "desktop/FolderPicker.h"
#include "desktop/MessageBox.h"
#include "shellctl/CheckList.h"
#include "shellctl/NameSpaceEnumerator.h"

TfrmTo::TfrmTo(QWidget* parent) : QDialog(parent) {
    setObjectName("frmTo");
    setWindowTitle("OLMEK 95 Copy / Move To...");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    auto* lblFiles = new QLabel("&Files && Folders", this);
    lstFilesAndFolders = new TCheckList(this);
    lstFilesAndFolders->setObjectName("lstFilesAndFolders");
    lblFiles->setBuddy(lstFilesAndFolders);
    layout->addWidget(lblFiles);
    layout->addWidget(lstFilesAndFolders, 2);

    auto* lblPick = new QLabel("&Pick a Target Folder", this);
    dirSource = new TNameSpaceEnumerator(this);
    dirSource->setObjectName("dirSource");
    dirSource->ShellContextMenu = false;
    dirSource->SetAutoRefresh(false);
    dirSource->SetRootFolder("/");
    dirSource->SetRootedAt(raFileSystem);
    lblPick->setBuddy(dirSource);
    layout->addWidget(lblPick);
    layout->addWidget(dirSource, 3);

    lblFileName = new QLabel(this);
    lblFileName->setObjectName("lblFileName");
    lblFileName->hide();

    auto* toRow = new QHBoxLayout;
    auto* lblTo = new QLabel("&To", this);
    cmbTo = new QComboBox(this);
    cmbTo->setObjectName("cmbTo");
    cmbTo->setEditable(true);
    cmbTo->setInsertPolicy(QComboBox::NoInsert);
    lblTo->setBuddy(cmbTo);
    toRow->addWidget(lblTo);
    toRow->addWidget(cmbTo, 1);
    layout->addLayout(toRow);

    auto* opRow = new QHBoxLayout;
    lblOperation = new QLabel(FileOperationText, this);
    lblOperation->setObjectName("lblOperation");
    optCopy = new QRadioButton("&Copy", this);
    optCopy->setObjectName("optCopy");
    optMove = new QRadioButton("&Move", this);
    optMove->setObjectName("optMove");
    optCopy->setChecked(true);
    chkRename = new QCheckBox("Rename if &duplicate", this);
    chkRename->setObjectName("chkRename");
    chkConfirm = new QCheckBox("Confirm to &overwrite", this);
    chkConfirm->setObjectName("chkConfirm");
    chkConfirm->setChecked(true);
    opRow->addWidget(lblOperation);
    opRow->addWidget(optCopy);
    opRow->addWidget(optMove);
    opRow->addStretch(1);
    auto* checks = new QVBoxLayout;
    checks->addWidget(chkRename);
    checks->addWidget(chkConfirm);
    opRow->addLayout(checks);
    layout->addLayout(opRow);

    auto* buttons = new QHBoxLayout;
    cmdOk = new QPushButton("Ok", this);
    cmdOk->setObjectName("cmdOk");
    cmdOk->setDefault(true);
    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    cmdClearHistory = new QPushButton("Clear &History", this);
    cmdClearHistory->setObjectName("cmdClearHistory");
    buttons->addStretch(1);
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdCancel);
    buttons->addWidget(cmdClearHistory);
    layout->addLayout(buttons);

    connect(cmdOk, &QPushButton::clicked, this, &TfrmTo::Ok);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    // The history is the targets used in this run.
    connect(cmdClearHistory, &QPushButton::clicked, this, [this] {
        const QString text = cmbTo->currentText();
        cmbTo->clear();
        cmbTo->setEditText(text);
    });
    dirSource->OnSelectionChange = [this](TNameSpaceEnumerator* tree) {
        const QString path = tree->SelectedPath();
        if (!path.isEmpty()) cmbTo->setEditText(path);
    };

    ArcLister1 = std::make_unique<TArcLister>();
    driver_ = std::make_unique<app::ExtractorDriver>(this, app::ExtractorDriver::Style::Single);
    resize(app::scaledWidth(439), 473);
}

TfrmTo::~TfrmTo() = default;

void TfrmTo::PrepareFiles(bool move, const QStringList& paths) {
    setWindowTitle(move ? "Move To..." : "Copy To...");
    (move ? optMove : optCopy)->setChecked(true);
    lblOperation->setText(FileOperationText);
    lstFilesAndFolders->Clear();
    for (const QString& p : paths) lstFilesAndFolders->AddItem(p);
}

void TfrmTo::PrepareDirectory(bool move, const QString& path) {
    setWindowTitle(move ? "Move To..." : "Copy To...");
    (move ? optMove : optCopy)->setChecked(true);
    lstFilesAndFolders->Clear();
    lblOperation->setText(DirectoryOperationText);
    lstFilesAndFolders->AddItem(path);
}

void TfrmTo::PrepareArchive(const QString& archive, const QStringList& names,
                            const QString& folder) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{lblOperation, optCopy, optMove, chkRename, chkConfirm})
        w->hide();
    lblFileName->setText(archive);
    dirSource->SelectPath(folder);
    lstFilesAndFolders->Clear();
    for (const QString& n : names) lstFilesAndFolders->AddItem(n);
}

void TfrmTo::showEvent(QShowEvent* e) {
    for (int i = 0; i < lstFilesAndFolders->ItemCount(); ++i)
        lstFilesAndFolders->SetChecked(i, true);
    QDialog::showEvent(e);
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
    cmbTo->setFocus();
}

void TfrmTo::done(int r) {
    // The next file or folder command never finds the dialog in archive mode.
    for (QWidget* w :
         std::initializer_list<QWidget*>{lblOperation, optCopy, optMove, chkRename, chkConfirm})
        w->show();
    QDialog::done(r);
}

bool TfrmTo::ArchiveMode() const {
    return lblOperation->isHidden();
}

bool TfrmTo::DirectoryMode() const {
    return lblOperation->text() == DirectoryOperationText;
}

QString TfrmTo::Target() const {
    QString target = cmbTo->currentText().trimmed();
    if (target.isEmpty()) target = dirSource->SelectedPath();
    if (!target.isEmpty() && !target.endsWith('/')) target += '/';
    return target;
}

void TfrmTo::rememberTarget(const QString& target) {
    const QString t = QDir::cleanPath(target);
    const int at = cmbTo->findText(t);
    if (at >= 0) cmbTo->removeItem(at);
    cmbTo->insertItem(0, t);
    cmbTo->setCurrentIndex(0);
}

void TfrmTo::Ok() {
    const QString target = Target();
    QStringList checked;
    for (int i = 0; i < lstFilesAndFolders->ItemCount(); ++i)
        if (lstFilesAndFolders->Checked(i)) checked << lstFilesAndFolders->ItemText(i);
    if (checked.isEmpty()) {
        desk::showInformation("There are no files or folders to process.", this);
        accept();
        return;
    }
    if (target.isEmpty()) {
        desk::showInformation("Pick a target folder.", this);
        return;
    }
    // A typed folder that does not exist yet is made after a question.
    const QString folder = QDir::cleanPath(target);
    if (QFileInfo(folder).isRelative()) {
        desk::showInformation("The target folder must be a full path.", this);
        return;
    }
    if (!desk::confirmCreateFolder(folder, this)) return;
    rememberTarget(folder);
    if (ArchiveMode())
        extractChecked(target, checked);
    else
        copyOrMove(folder, checked);
    accept();
}

void TfrmTo::extractChecked(const QString& target, const QStringList& names) {
    ArcLister1->SetArchiveFile(lblFileName->text().toStdString());
    const TArcType type = ArcLister1->ArcType();
    std::unique_ptr<TUnBase> x = app::viewerExtractorFor(type);
    if (!x) {
        desk::showInformation(app::extractNotAvailableText(type), this);
        return;
    }
    x->UseStoredDirs = false;
    // The target is the user's own folder: nothing there is replaced
    // without a yes.
    driver_->attach(*x, true);
    x->SetArchiveFile(ArcLister1->ArchiveFile());
    x->SetExtractDir(target.toStdString());
    for (const QString& name : names) {
        x->SetFileSpec(name.toStdString());
        driver_->run(*x);
        if (driver_->cancelled()) break;
    }
}

void TfrmTo::copyOrMove(const QString& target, const QStringList& paths) {
    int flags = desk::FOF_ALLOWUNDO | desk::FOF_FILESONLY;
    if (chkRename->isChecked()) flags |= desk::FOF_RENAMEONCOLLISION;
    if (!chkConfirm->isChecked()) flags |= desk::FOF_NOCONFIRMATION;
    // One operation for all: one progress window, one Cancel, and "Yes to
    // all" holds for every item.  Each item goes into the target folder
    // under its own name.
    desk::SHFileOperation(this, optMove->isChecked() ? desk::FO_MOVE : desk::FO_COPY, paths,
                          target + '/', flags);
}
