#include "app/Dialogs.h"

#include <QApplication>
#include <QScreen>

#include "app/Artwork.h"
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
    ui->lblTitle->setText(QApplication::applicationDisplayName());
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
    ui->lblName->setText(QApplication::applicationDisplayName());
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

TfrmProgress::~TfrmProgress() = default;
QLabel* TfrmProgress::lblFile() const {
    return ui->lblFile;
}
QProgressBar* TfrmProgress::ProgressBar1() const {
    return ui->ProgressBar1;
}

void TfrmProgress::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) CancelFlag = false;
    QDialog::changeEvent(e);
}

void TfrmProgress::showEvent(QShowEvent* e) {
    CancelFlag = false;
    centre(this);
    QDialog::showEvent(e);
}

TfrmProgress2::TfrmProgress2(QWidget* parent) : QDialog(parent), ui(new Ui::TfrmProgress2) {
    ui->setupUi(this);
    fixedDialog(this);
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

void TfrmProgress2::changeEvent(QEvent* e) {
    if (e->type() == QEvent::ActivationChange && isActiveWindow()) CancelFlag = false;
    QDialog::changeEvent(e);
}

void TfrmProgress2::showEvent(QShowEvent* e) {
    CancelFlag = false;
    centre(this);
    QDialog::showEvent(e);
}
