#include "app/ExtractRun.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>

#include "app/Dialogs.h"
#include "app/ErrorText.h"
#include "app/Forms.h"
#include "archive/extract/Extractors.h"
#include "archive/list/ArcLister.h"
#include "desktop/MessageBox.h"
#include "desktop/VisibleText.h"

namespace app {

bool viewerExtracts(TArcType type) {
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
    case atZIP:
    case atZipExe:
    case atZip250:
    case atZip250Exe:
    case atZOO:
    case atTarGz:
    case atTarBz2:
    case atTarXz:
    case atTarLz:
    case atTarZst:
    case atTarZ:
    case atBzip2:
    case atXz:
    case atLzip:
    case atZstd:
        return true;
    default:
        return false;
    }
}

std::unique_ptr<TUnBase> viewerExtractorFor(TArcType type) {
    if (!viewerExtracts(type)) return nullptr;
    return ExtractorTable::instance().make(type);
}

QString extractNotAvailableText(TArcType) {
    return "Extract not supported for this filetype.";
}

namespace {

std::string namePart(const std::string& s) {
    const std::size_t cut = s.find_last_of('/');
    return cut == std::string::npos ? s : s.substr(cut + 1);
}

} // namespace

ExtractorDriver::ExtractorDriver(QWidget* owner, Style style) : owner_(owner), style_(style) {}
ExtractorDriver::~ExtractorDriver() = default;

void ExtractorDriver::attach(TUnBase& x, bool askOverwrite) {
    x.OnActivate = [this](TObject*) { onActivate(); };
    x.OnDeactivate = [this](TObject*) { onDeactivate(); };
    x.OnProgress = [this, &x](TObject*, const std::string& fn, std::uint8_t pct) {
        onProgress(x, fn, pct);
    };
    x.OnEnd = [this, &x](TObject*, const std::string& fn, bool pass) { onEnd(x, fn, pass); };
    x.OnError = [this](TObject*, const std::string& fn, const std::string& vol, int code) {
        const QString text =
            componentErrorText(desk::visibleText(fn), QString::fromStdString(vol), code);
        if (!text.isEmpty()) desk::showInformation(text, owner_);
    };
    x.OnGetPassword = [this, &x](TObject*, const std::string&, std::string& pw, bool& again) {
        TfrmPassword* p = forms::frmPassword();
        p->setWindowTitle(QFileInfo(QString::fromStdString(x.ArchiveFile())).fileName());
        if (p->exec() == QDialog::Accepted)
            pw = p->txtPassword()->text().toStdString();
        else
            again = false;
    };
    if (askOverwrite)
        x.OnFileExists = [this](TObject*, const std::string& fn, TDateTime, bool& accept) {
            accept = desk::askYesNo(desk::visibleText(fn) + " already exists. Overwrite?", owner_);
        };
    else
        x.OnFileExists = nullptr;
}

void ExtractorDriver::prepareArchive(const QString& archive) {
    members_.clear();
    total_ = done_ = 0;
    current_ = -1;
    cursor_ = 0;
    TArcLister lister;
    lister.SetArchiveFile(archive.toStdString());
    zip_ = isZipType(lister.ArcType());
    lister.OnRead = [this, &lister](TObject*, std::int64_t, int) {
        members_.push_back({lister.FileName, lister.PackedSize, lister.Method});
        total_ += lister.PackedSize;
    };
    lister.Activate();
    if (style_ == Style::Double) {
        TfrmProgress2* p = forms::frmProgress2();
        p->Reset();
        p->SetArchive(archive);
    }
}

void ExtractorDriver::run(TUnBase& x) {
    cancelled_ = false;
    if (style_ == Style::Double) {
        TfrmProgress2* p = forms::frmProgress2();
        p->show();
        QCoreApplication::processEvents();
        x.Extract();
        p->hide();
    } else {
        x.Extract();
        forms::frmProgress()->hide();
    }
}

void ExtractorDriver::onActivate() {
    if (style_ != Style::Single) return;
    TfrmProgress* p = forms::frmProgress();
    p->ProgressBar1()->setValue(0);
    p->lblFile()->clear();
    p->show();
}

void ExtractorDriver::onDeactivate() {
    if (style_ == Style::Single) forms::frmProgress()->hide();
}

void ExtractorDriver::checkCancel(TZipCommon& x) {
    const bool flag = style_ == Style::Single ? forms::frmProgress()->CancelFlag
                                              : forms::frmProgress2()->CancelFlag;
    if (flag || cancelled_) {
        cancelled_ = true;
        x.SetCancel(true);
    }
}

int ExtractorDriver::findMember(const std::string& targetPath, const std::string& extractDir) {
    std::string rel = targetPath;
    if (rel.compare(0, extractDir.size(), extractDir) == 0) rel = rel.substr(extractDir.size());
    const std::string leaf = namePart(rel);
    // Members come in archive order: look forward from the last one found.
    for (int pass = 0; pass < 2; ++pass)
        for (int i = pass == 0 ? cursor_ : 0; i < int(members_.size()); ++i) {
            const std::string& n = members_[std::size_t(i)].name;
            if (n == rel ||
                (n.size() > rel.size() && n.compare(n.size() - rel.size(), rel.size(), rel) == 0) ||
                namePart(n) == leaf) {
                cursor_ = i + 1;
                return i;
            }
        }
    return -1;
}

void ExtractorDriver::onProgress(TUnBase& x, const std::string& fn, std::uint8_t percent) {
    // Pending events run here: the window repaints and its Cancel works.
    QCoreApplication::processEvents();
    checkCancel(x);
    const QString name = desk::visibleText(fn);
    if (style_ == Style::Single) {
        forms::frmProgress()->Progress(name, percent);
        return;
    }
    TfrmProgress2* p = forms::frmProgress2();
    if (current_ < 0) current_ = findMember(fn, x.ExtractDir());
    const int method = current_ >= 0 ? members_[std::size_t(current_)].method : -1;
    p->ItemProgress(zip_ ? TfrmProgress2::MethodVerb(method) : TfrmProgress2::MethodVerb(-1), name,
                    percent);
    if (total_ > 0) {
        const std::int64_t packed = current_ >= 0 ? members_[std::size_t(current_)].packed : 0;
        const std::int64_t at = done_ + packed * percent / 100;
        p->ArchiveProgress(int(qMin<std::int64_t>(99, at * 100 / total_)));
    }
}

void ExtractorDriver::onEnd(TUnBase& x, const std::string& fn, bool pass) {
    checkCancel(x);
    if (style_ == Style::Double) {
        if (current_ < 0) current_ = findMember(fn, x.ExtractDir());
        if (current_ >= 0) done_ += members_[std::size_t(current_)].packed;
        current_ = -1;
        if (total_ > 0) forms::frmProgress2()->ArchiveProgress(int(done_ * 100 / total_));
    }
    if (!pass)
        desk::showInformation(desk::visibleText(fn) + "\rExtract failed\r\rOnEnd Event...", owner_);
}

} // namespace app
