#include "app/Commands.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "app/ArcListWindow.h"
#include "app/Dialogs.h"
#include "app/ErrorText.h"
#include "app/Forms.h"
#include "app/FrmChild.h"
#include "app/FrmConfigure.h"
#include "app/FrmMain.h"
#include "app/FrmMask.h"
#include "archive/core/Hooks.h"
#include "archive/extract/Extractors.h"
#include "archive/list/ArcLister.h"
#include "desktop/FolderPicker.h"
#include "desktop/MessageBox.h"
#include "desktop/Shell.h"
#include "desktop/VisibleText.h"
#include "shellctl/FolderEnumerator.h"
#include "shellctl/NameSpaceEnumerator.h"

int viewGroupOf(TArcType type) {
    switch (type) {
    case atARC:
    case atArcExe:
    case atARJ:
    case atArjExe:
    case atBH:
    case atBHExe:
    case atCAB:
    case atGZip:
    case atLHA:
    case atLZH:
    case atLzhExe:
    case atTAR:
    case atZOO:
        return 1;
    case atZIP:
    case atZipExe:
    case atZip250:
    case atZip250Exe:
        return 2;
    default:
        return 0;
    }
}

Commands::Commands(TfrmMain& frame) : frame_(frame) {}
Commands::~Commands() = default;

bool Commands::SelectionCheck(TfrmChild* child) {
    if (child && child->filSource->SelectedCount() > 0) return true;
    desk::showInformation("Select a file by clicking on its name.\nThen, try again.", &frame_);
    return false;
}

QString Commands::SelectedFile(TfrmChild* child, int i) const {
    const QString item = child->filSource->SelectedItemPath(i);
    const QString dir = child->currentDirectory();
    // With a virtual folder selected in the tree there is no current
    // directory; a bare name would then be taken relative to the process's
    // working folder, so the item's own full path is used.
    if (dir.isEmpty()) return item;
    const int cut = qMax(item.lastIndexOf('/'), item.lastIndexOf(':'));
    return dir + item.mid(cut + 1);
}

void Commands::NotAvailable() {
    desk::showInformation("This command is not available yet.", &frame_);
}

void Commands::ViewFile() {
    TfrmChild* child = frame_.ActiveChild();
    if (!SelectionCheck(child)) return;
    const QString path = SelectedFile(child, 1);
    child->ArcLister1->SetArchiveFile(path.toStdString());
    if (viewGroupOf(child->ArcLister1->ArcType()) != 0) {
        ListArchiveModal(path);
        return;
    }
    desk::ShellExecute(path, {}, QFileInfo(path).absolutePath());
}

void Commands::ListArchiveModal(const QString& path, const std::function<void()>& beforeShow) {
    frame_.ArcLister1->SetArchiveFile(path.toStdString());
    TfrmArcList window(&frame_);
    window.listArchive(path);
    if (beforeShow) beforeShow();
    window.exec();
}

void Commands::FileMask() {
    TfrmMask* dlg = forms::frmMask();
    if (dlg->exec() != QDialog::Accepted) return;
    if (TfrmChild* child = frame_.ActiveChild())
        child->filSource->SetFileMask(dlg->txtSourcePathMask()->text());
}

void Commands::Configure() {
    forms::frmConfigure()->exec();
}

void Commands::About() {
    forms::frmAbout()->exec();
}

void Commands::DecompressFile() {
    TfrmChild* child = frame_.ActiveChild();
    if (!SelectionCheck(child)) return;
    const QString target =
        desk::selectDirectory(&frame_, "Decompress To", child->currentDirectory());
    if (target.isEmpty()) return;
    const int count = child->filSource->SelectedCount();
    QStringList files;
    for (int i = 1; i <= count; ++i) files << SelectedFile(child, i);
    for (const QString& file : files) {
        child->ArcLister1->SetArchiveFile(file.toStdString());
        const TArcType type = child->ArcLister1->ArcType();
        switch (ExtractArchive(file, type, target)) {
        case ExtractResult::Done:
            break;
        case ExtractResult::Unsupported:
            desk::showInformation("Decompression file type is not supported.", &frame_);
            break;
        }
    }
    frame_.RefreshActive();
}

void Commands::onProgress(const std::string& fn, std::uint8_t percent) {
    ProcessMessages();
    const QString name = desk::visibleText(fn);
    if (zipProgress_) {
        TfrmProgress2* p = forms::frmProgress2();
        p->lblUpper()->setText("Extracting  " + name + "   ");
        p->ProgressBar1()->setValue(percent);
        if (percent >= 100) p->ProgressBar1()->setValue(0);
        return;
    }
    TfrmProgress* p = forms::frmProgress();
    p->lblFile()->setText(name);
    p->lblFile()->repaint();
    p->ProgressBar1()->setValue(percent);
}

void Commands::onEnd(TZipCommon& x, const std::string& fn, bool crcPass) {
    if (forms::frmProgress()->CancelFlag) x.SetCancel(true);
    if (!crcPass)
        desk::showInformation(desk::visibleText(fn) + "\rExtract failed\r\rOnEnd Event...",
                              &frame_);
}

void Commands::onError(const std::string& fn, const std::string& volumeId, int code) {
    const QString text =
        app::componentErrorText(desk::visibleText(fn), QString::fromStdString(volumeId), code);
    if (!text.isEmpty()) desk::showInformation(text, &frame_);
}

void Commands::onGetPassword(TZipCommon& x, std::string& password, bool& tryAgain) {
    TfrmPassword* p = forms::frmPassword();
    p->setWindowTitle(QFileInfo(QString::fromStdString(x.ArchiveFile())).fileName());
    if (p->exec() == QDialog::Accepted)
        password = p->txtPassword()->text().toStdString();
    else
        tryAgain = false;
}

void Commands::onDeactivate() {
    forms::frmProgress()->hide();
}

void Commands::wire(TUnBase& x) {
    const bool memberProgress = x.ReportsMemberProgress();
    // The extractors with a member bar restore stored folders and ask
    // before overwriting.
    x.UseStoredDirs = memberProgress;
    x.OnProgress = [this](TObject*, const std::string& fn, std::uint8_t pct) {
        onProgress(fn, pct);
    };
    x.OnEnd = [this, &x](TObject*, const std::string& fn, bool pass) { onEnd(x, fn, pass); };
    x.OnError = [this](TObject*, const std::string& fn, const std::string& vol, int code) {
        onError(fn, vol, code);
    };
    x.OnDeactivate = [this](TObject*) { onDeactivate(); };
    x.OnGetPassword = [this, &x](TObject*, const std::string&, std::string& pw, bool& again) {
        onGetPassword(x, pw, again);
    };
    if (memberProgress)
        x.OnFileExists = [this](TObject*, const std::string& fn, TDateTime, bool& accept) {
            accept = desk::askYesNo(desk::visibleText(fn) + " already exists. Overwrite?", &frame_);
        };
}

Commands::ExtractResult Commands::ExtractArchive(const QString& archive, TArcType type,
                                                 const QString& target) {
    std::unique_ptr<TUnBase> x = ExtractorTable::instance().make(type);
    if (!x) return ExtractResult::Unsupported;
    wire(*x);
    x->SetArchiveFile(archive.toStdString());
    x->SetExtractDir(target.toStdString());
    x->SetFileSpec("*.*");
    zipProgress_ = x->ReportsMemberProgress();
    TfrmProgress2* p2 = zipProgress_ ? forms::frmProgress2() : nullptr;
    if (p2) {
        p2->lblLower()->setText(archive);
        p2->show();
    }
    x->Extract();
    if (p2) p2->hide();
    zipProgress_ = false;
    return ExtractResult::Done;
}
