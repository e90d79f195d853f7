#include "app/Dialogs.h"

#include <QApplication>
#include <QScreen>

#include "app/Artwork.h"
#include "app/FrmMain.h"
#include "ui_FrmAbout.h"
#include "ui_FrmPassword.h"
#include "ui_FrmProgress.h"
#include "ui_FrmProgress2.h"
#include "ui_FrmSplash.h"

namespace {

void centre(QWidget* w) {
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect r = w->frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        w->move(r.topLeft());
    }
}

void fixedDialog(QDialog* d) {
    d->setFixedSize(d->size());
    d->setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                      Qt::WindowCloseButtonHint);
}

// Long names lose their middle rather than their end, so that the file
// name stays readable; the whole text is the tool tip.
void setElided(QLabel* label, const QString& text) {
    const int width = qMax(40, label->width());
    label->setText(label->fontMetrics().elidedText(text, Qt::ElideMiddle, width));
    label->setToolTip(text);
}

} // namespace

void condense(QWidget* w) {
    QFont f = w->font();
    f.setStretch(QFont::Condensed);
    w->setFont(f);
}

TfrmSplash::TfrmSplash(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), ui(new Ui::TfrmSplash) {
    ui->setupUi(this);
    setFixedSize(size());
    ui->imgLogo->setPixmap(app::logoPixmap(150));
    QFont title = ui->lblTitle->font();
    title.setPointSize(title.pointSize() + 6);
    title.setBold(true);
    ui->lblTitle->setFont(title);
    ui->lblTitle->setText(kAppTitle);
    for (QLabel* l : {ui->lblLine1, ui->lblLine2, ui->lblLine3}) condense(l);
    centre(this);
}

TfrmSplash::~TfrmSplash() = default;
QLabel* TfrmSplash::lblTitle() const {
    return ui->lblTitle;
}
QLabel* TfrmSplash::lblWindow() const {
    return ui->lblWindow;
}

void TfrmSplash::setStatus(const QString& text) {
    ui->lblWindow->setText(text);
    ui->lblWindow->repaint();
}

TfrmAbout::TfrmAbout(QWidget* parent) : QDialog(parent), ui(new Ui::TfrmAbout) {
    ui->setupUi(this);
    fixedDialog(this);
    ui->imgLogo->setPixmap(app::logoPixmap(96));
    QFont f = ui->lblName->font();
    f.setBold(true);
    f.setPointSize(f.pointSize() + 2);
    ui->lblName->setFont(f);
    connect(ui->cmdOk, &QPushButton::clicked, this, &QDialog::accept);
}

TfrmAbout::~TfrmAbout() = default;
QLabel* TfrmAbout::lblName() const {
    return ui->lblName;
}

void TfrmAbout::showEvent(QShowEvent* e) {
    ui->lblName->setText(kAppTitle);
    QDialog::showEvent(e);
}

TfrmPassword::TfrmPassword(QWidget* parent) : QDialog(parent), ui(new Ui::TfrmPassword) {
    ui->setupUi(this);
    setFixedSize(size());
    setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    connect(ui->cmdOk, &QPushButton::clicked, this, &QDialog::accept);
}

TfrmPassword::~TfrmPassword() = default;
QLineEdit* TfrmPassword::txtPassword() const {
    return ui->txtPassword;
}

void TfrmPassword::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    ui->txtPassword->setFocus();
    ui->txtPassword->selectAll();
}

TfrmProgress::TfrmProgress(QWidget* parent) : QDialog(parent), ui(new Ui::TfrmProgress) {
    ui->setupUi(this);
    fixedDialog(this);
    connect(ui->cmdCancel, &QPushButton::clicked, this, [this] { CancelFlag = true; });
}

QPushButton* TfrmProgress::cmdCancel() const {
    return ui->cmdCancel;
}

void TfrmProgress::Progress(const QString& fileName, int percent) {
    setElided(ui->lblFile, fileName);
    ui->lblFile->repaint();
    ui->ProgressBar1->setValue(qBound(0, percent, 100));
}

TfrmProgress::~TfrmProgress() = default;
QLabel* TfrmProgress::lblFile() const {
    return ui->lblFile;
}
QProgressBar* TfrmProgress::ProgressBar1() const {
    return ui->ProgressBar1;
}

void TfrmProgress::showEvent(QShowEvent* e) {
    CancelFlag = false;
    centre(this);
    QDialog::showEvent(e);
}

TfrmProgress2::TfrmProgress2(QWidget* parent) : QDialog(parent), ui(new Ui::TfrmProgress2) {
    ui->setupUi(this);
    fixedDialog(this);
    connect(ui->cmdCancel, &QPushButton::clicked, this, [this] { CancelFlag = true; });
}

QPushButton* TfrmProgress2::cmdCancel() const {
    return ui->cmdCancel;
}

QString TfrmProgress2::MethodVerb(int zipMethod) {
    static const char* const verbs[] = {"UnStoring",          "UnShrinking",   "UnReducing",
                                        "UnReducing",         "UnReducing",    "UnReducing",
                                        "Exploding",          "DeTokenizing",  "Inflating",
                                        "Enhanced Inflating", "DCL Exploding", "Extracting"};
    const int i = zipMethod >= 0 && zipMethod <= 10 ? zipMethod : 11;
    return QString::fromLatin1(verbs[i]) + "  ";
}

void TfrmProgress2::ItemProgress(const QString& verb, const QString& memberName, int percent) {
    QString name = memberName;
    name = name.mid(qMax(name.lastIndexOf('/'), name.lastIndexOf('\\')) + 1);
    setElided(ui->lblUpper, verb + name + "   ");
    ui->ProgressBar1->setValue(percent >= 100 ? 0 : qBound(0, percent, 100));
}

void TfrmProgress2::SetArchive(const QString& archivePath) {
    setElided(ui->lblLower, archivePath);
}

void TfrmProgress2::ArchiveProgress(int percent) {
    ui->ProgressBar2->setValue(percent >= 100 ? 0 : qBound(0, percent, 100));
}

void TfrmProgress2::Reset() {
    ui->lblUpper->clear();
    ui->lblLower->clear();
    ui->ProgressBar1->setValue(0);
    ui->ProgressBar2->setValue(0);
}

TfrmProgress2::~TfrmProgress2() = default;
QLabel* TfrmProgress2::lblUpper() const {
    return ui->lblUpper;
}
QLabel* TfrmProgress2::lblLower() const {
    return ui->lblLower;
}
QProgressBar* TfrmProgress2::ProgressBar1() const {
    return ui->ProgressBar1;
}
QProgressBar* TfrmProgress2::ProgressBar2() const {
    return ui->ProgressBar2;
}

void TfrmProgress2::showEvent(QShowEvent* e) {
    CancelFlag = false;
    centre(this);
    QDialog::showEvent(e);
}
