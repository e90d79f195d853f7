#include "app/FileDialogs.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QScreen>

#include "desktop/FileOperation.h"
#include "desktop/MessageBox.h"
#include "platform/FileSystem.h"

// ---- TSmallDialog -------------------------------------------------------

TSmallDialog::TSmallDialog(QWidget* parent) : QDialog(parent) {
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
}

void TSmallDialog::finish(QBoxLayout* layout) {
    auto* row = new QHBoxLayout;
    cmdOk = new QPushButton("Ok", this);
    cmdOk->setObjectName("cmdOk");
    cmdOk->setDefault(true);
    cmdCancel = new QPushButton("Cancel", this);
    cmdCancel->setObjectName("cmdCancel");
    row->addStretch(1);
    row->addWidget(cmdOk);
    row->addWidget(cmdCancel);
    layout->addLayout(row);
    connect(cmdOk, &QPushButton::clicked, this, [this] {
        if (Ok()) accept();
    });
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TSmallDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
}

// ---- TfrmRenameFile -----------------------------------------------------

TfrmRenameFile::TfrmRenameFile(QWidget* parent) : TSmallDialog(parent) {
    setObjectName("frmRenameFile");
    setWindowTitle("Rename File");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    lblPath = new QLabel(this);
    lblPath->setObjectName("lblPath");
    lblOldFile = new QLabel(this);
    lblOldFile->setObjectName("lblOldFile");
    txtNewFile = new QLineEdit(this);
    txtNewFile->setObjectName("txtNewFile");
    txtNewFile->setMinimumWidth(300);
    form->addRow("Path:", lblPath);
    form->addRow("Old File:", lblOldFile);
    form->addRow("New File:", txtNewFile);
    layout->addLayout(form);
    finish(layout);
}

void TfrmRenameFile::Prepare(const QString& folder, const QString& name) {
    Folder = folder.endsWith('/') ? folder : folder + '/';
    lblPath->setText(Folder);
    lblOldFile->setText(name);
    txtNewFile->setText(name);
}

void TfrmRenameFile::showEvent(QShowEvent* e) {
    TSmallDialog::showEvent(e);
    txtNewFile->setFocus();
    txtNewFile->selectAll();
}

bool TfrmRenameFile::Ok() {
    const QString name = txtNewFile->text();
    if (name.isEmpty()) {
        reject();
        return false;
    }
    QString why;
    if (name.contains('/') || !desk::RenameItem(Folder + lblOldFile->text(), Folder + name, &why))
        desk::ShowMessage("Error renaming file!", this);
    return true;
}

// ---- TfrmNewDirectory ---------------------------------------------------

TfrmNewDirectory::TfrmNewDirectory(QWidget* parent) : TSmallDialog(parent) {
    setObjectName("frmNewDirectory");
    setWindowTitle(NewCaption);
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    lblOldDirectory = new QLabel(this);
    lblOldDirectory->setObjectName("lblOldDirectory");
    QPalette p = lblOldDirectory->palette();
    p.setColor(QPalette::WindowText, QColor(128, 0, 0));
    lblOldDirectory->setPalette(p);
    txtNewDirectory = new QLineEdit(this);
    txtNewDirectory->setObjectName("txtNewDirectory");
    txtNewDirectory->setMinimumWidth(320);
    form->addRow("Old Directory:", lblOldDirectory);
    form->addRow("New Directory:", txtNewDirectory);
    layout->addLayout(form);
    finish(layout);
}

void TfrmNewDirectory::Prepare(bool rename, const QString& folder) {
    setWindowTitle(rename ? RenameCaption : NewCaption);
    lblOldDirectory->setText(folder);
    txtNewDirectory->setText(folder);
}

void TfrmNewDirectory::showEvent(QShowEvent* e) {
    TSmallDialog::showEvent(e);
    txtNewDirectory->setFocus();
}

bool TfrmNewDirectory::Ok() {
    QString t = txtNewDirectory->text().trimmed();
    if (t.isEmpty()) return false;
    const QString old = lblOldDirectory->text();
    const bool rename = windowTitle() != NewCaption;
    // A bare name is taken beside the old folder (rename) or inside it (new).
    if (QFileInfo(t).isRelative()) {
        const QString base = rename ? QFileInfo(old).absolutePath() : old;
        t = QDir(base.isEmpty() ? QDir::homePath() : base).filePath(t);
    }
    t = QDir::cleanPath(t);
    if (rename) {
        QString why;
        if (!desk::RenameItem(old, t, &why)) {
            desk::showInformation("Cannot rename " + old + ".\r\r" + why, this);
            return false;
        }
    } else if (!QFileInfo(t).isDir() && !QDir().mkpath(t)) {
        desk::showInformation("The folder " + t + " could not be created.", this);
        return false;
    }
    if (AfterChange) AfterChange(t);
    if (QFileInfo(t).isDir()) desk::showInformation(t + " was created.", this);
    return true;
}

// ---- TfrmFileAttributes -------------------------------------------------

namespace {
constexpr int faReadOnly = 0x01, faHidden = 0x02, faSysFile = 0x04, faArchive = 0x20;
}

TfrmFileAttributes::TfrmFileAttributes(QWidget* parent) : TSmallDialog(parent) {
    setObjectName("frmFileAttributes");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("Current Attributes:", this));
    const struct {
        QCheckBox** slot;
        const char* name;
        const char* caption;
        const char* why;
    } boxes[] = {
        {&chkReadOnly, "chkReadOnly", "&Read Only", nullptr},
        {&chkArchive, "chkArchive", "&Archive", "Every file counts as changed since its backup."},
        {&chkSystem, "chkSystem", "&System", "Files have no system flag on this system."},
        {&chkHidden, "chkHidden", "&Hidden", "Names beginning with a dot are hidden."},
    };
    for (const auto& b : boxes) {
        auto* c = new QCheckBox(b.caption, this);
        c->setObjectName(b.name);
        // Only the read-only flag is kept by the file system; the others
        // follow from the file and are shown as they are.
        if (b.why) {
            c->setEnabled(false);
            c->setToolTip(b.why);
        }
        layout->addWidget(c);
        *b.slot = c;
    }
    setMinimumWidth(320);
    finish(layout);
}

void TfrmFileAttributes::Prepare(const QString& path) {
    setWindowTitle(path);
}

void TfrmFileAttributes::LoadAttributes() {
    Written = false;
    const int a = plat::getAttributes(windowTitle().toStdString());
    CurrentAttributes = a < 0 ? 0 : a;
    chkReadOnly->setChecked(CurrentAttributes & faReadOnly);
    chkArchive->setChecked(CurrentAttributes & faArchive);
    chkSystem->setChecked(CurrentAttributes & faSysFile);
    chkHidden->setChecked(CurrentAttributes & faHidden);
}

void TfrmFileAttributes::showEvent(QShowEvent* e) {
    LoadAttributes();
    TSmallDialog::showEvent(e);
}

bool TfrmFileAttributes::Ok() {
    int a = CurrentAttributes;
    auto apply = [&a](int bit, bool on) { a = on ? (a | bit) : (a & ~bit); };
    apply(faReadOnly, chkReadOnly->isChecked());
    apply(faArchive, chkArchive->isChecked());
    apply(faSysFile, chkSystem->isChecked());
    apply(faHidden, chkHidden->isChecked());
    a &= 0xFFFF;
    if (a == CurrentAttributes) return true;
    if (!plat::setAttributes(windowTitle().toStdString(), a)) {
        desk::showInformation("The attributes of " + windowTitle() + " could not be changed.",
                              this);
        return false;
    }
    Written = true;
    return true;
}

// ---- TfrmFileDateTime ---------------------------------------------------

TfrmFileDateTime::TfrmFileDateTime(QWidget* parent) : TSmallDialog(parent) {
    setObjectName("frmFileDateTime");
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    lblCurrentDate = new QLabel(this);
    lblCurrentDate->setObjectName("lblCurrentDate");
    lblCurrentTime = new QLabel(this);
    lblCurrentTime->setObjectName("lblCurrentTime");
    mskDate = new QLineEdit(this);
    mskDate->setObjectName("mskDate");
    mskTime = new QLineEdit(this);
    mskTime->setObjectName("mskTime");
    form->addRow("Current Date:", lblCurrentDate);
    form->addRow("Current Time:", lblCurrentTime);
    form->addRow("New Date:", mskDate);
    form->addRow("New Time:", mskTime);
    layout->addLayout(form);
    setMinimumWidth(320);
    finish(layout);
}

namespace {

// Rewrites a locale format so that every field has two digits; drops what
// a digit mask cannot hold (time zones, milliseconds, quoted text).
QString twoDigitFormat(const QString& format, bool time) {
    QString out;
    for (int i = 0; i < format.size();) {
        const QChar c = format[i];
        int run = 1;
        while (i + run < format.size() && format[i + run] == c) ++run;
        if (c == '\'') {
            const int end = format.indexOf('\'', i + 1);
            i = end < 0 ? format.size() : end + 1;
            continue;
        }
        const char l = c.toLatin1();
        if (!time && (l == 'd' || l == 'M' || l == 'y')) {
            // Weekday names (dddd) say nothing a date needs.
            if (l == 'd' && run >= 3) {
                i += run;
                while (i < format.size() && !format[i].isLetter()) ++i;
                continue;
            }
            out += QString(2, c);
        } else if (time && (l == 'h' || l == 'H' || l == 'm' || l == 's')) {
            out += QString(2, c);
        } else if (time && (l == 'A' || l == 'a')) {
            out += "AP";
            if (i + run < format.size() && (format[i + run] == 'P' || format[i + run] == 'p'))
                ++run;
        } else if (c.isLetter()) {
            // t (time zone), z (milliseconds) and the like.
            while (out.endsWith(' ') || out.endsWith('.') || out.endsWith(',')) out.chop(1);
        } else {
            out += c;
        }
        i += run;
    }
    return out.trimmed();
}

} // namespace

QString TfrmFileDateTime::DateEditFormat() {
    return twoDigitFormat(QLocale().dateFormat(QLocale::ShortFormat), false);
}

QString TfrmFileDateTime::TimeEditFormat() {
    return twoDigitFormat(QLocale().timeFormat(QLocale::LongFormat), true);
}

QString TfrmFileDateTime::MaskOf(const QString& format) {
    QString mask;
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (format.mid(i, 2) == "AP") {
            mask += ">AA!";
            ++i;
        } else if (c.isLetter()) {
            mask += '9';
        } else {
            mask += '\\';
            mask += c;
        }
    }
    return mask + ";_";
}

QDateTime TfrmFileDateTime::ParseDateTime(const QString& dateText, const QString& timeText) {
    const QLocale c = QLocale::c();
    QDate date = c.toDate(dateText.trimmed(), DateEditFormat());
    const QTime time = c.toTime(timeText.trimmed(), TimeEditFormat());
    if (!date.isValid() || !time.isValid()) return {};
    // Two-digit years: 80 years back, 20 ahead.
    if (!DateEditFormat().contains("yyy")) {
        const int now = QDate::currentDate().year();
        int year = date.year() % 100 + (now / 100) * 100;
        if (year > now + 20) year -= 100;
        if (year <= now - 80) year += 100;
        date = QDate(year, date.month(), date.day());
        if (!date.isValid()) return {};
    }
    return QDateTime(date, time);
}

void TfrmFileDateTime::Prepare(const QString& path) {
    setWindowTitle(path);
}

void TfrmFileDateTime::LoadDateTime() {
    Written = false;
    lblCurrentDate->clear();
    lblCurrentTime->clear();
    mskDate->setInputMask(MaskOf(DateEditFormat()));
    mskTime->setInputMask(MaskOf(TimeEditFormat()));
    mskDate->clear();
    mskTime->clear();
    const auto stamp = plat::fileModificationTime(windowTitle().toStdString());
    if (stamp) {
        const QDateTime when = QDateTime::fromSecsSinceEpoch(*stamp);
        lblCurrentDate->setText(QLocale().toString(when.date(), QLocale::ShortFormat));
        lblCurrentTime->setText(QLocale().toString(when.time(), QLocale::LongFormat));
        mskDate->setText(QLocale::c().toString(when.date(), DateEditFormat()));
        mskTime->setText(QLocale::c().toString(when.time(), TimeEditFormat()));
    }
    shownDate_ = mskDate->text();
    shownTime_ = mskTime->text();
}

void TfrmFileDateTime::showEvent(QShowEvent* e) {
    LoadDateTime();
    TSmallDialog::showEvent(e);
    mskDate->setFocus();
}

bool TfrmFileDateTime::Ok() {
    // Unchanged texts write nothing (writing them would cut the seconds'
    // fractions of the stamp).
    if (mskDate->text() == shownDate_ && mskTime->text() == shownTime_) return true;
    const QString text = mskDate->text() + " " + mskTime->text();
    const QDateTime when = ParseDateTime(mskDate->text(), mskTime->text());
    if (!when.isValid()) {
        desk::MessageDlg("'" + text + "' is not a valid date and time", desk::mtError, desk::mbOK,
                         this);
        return false;
    }
    if (!plat::setFileModificationTime(windowTitle().toStdString(), when.toSecsSinceEpoch())) {
        desk::showInformation("The date of " + windowTitle() + " could not be changed.", this);
        return false;
    }
    Written = true;
    return true;
}
