#include "app/FrmMask.h"

#include "app/Dialogs.h"
#include "app/Settings.h"
#include "ui_FrmMask.h"

TfrmMask::TfrmMask(QWidget* parent) : QDialog(parent), ui(new Ui::TfrmMask) {
    ui->setupUi(this);
    setFixedSize(size());
    condense(ui->lblExplain);
    condense(ui->lblMask);
    IniOut1 = new TIniOut(this);
    ui->txtSourcePathMask->setText(
        IniOut1->ReadValue(QString::fromLatin1(app::kProgramKey) + "Main", "SPathMask", "*.*"));
    connect(ui->cmdOk, &QPushButton::clicked, this, &TfrmMask::cmdOkClick);
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmMask::~TfrmMask() = default;

QLineEdit* TfrmMask::txtSourcePathMask() const {
    return ui->txtSourcePathMask;
}

void TfrmMask::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    ui->txtSourcePathMask->setFocus();
    ui->txtSourcePathMask->selectAll();
}

void TfrmMask::cmdOkClick() {
    if (ui->txtSourcePathMask->text().isEmpty()) ui->txtSourcePathMask->setText("*.*");
    accept();
}
