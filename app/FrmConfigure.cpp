#include "app/FrmConfigure.h"

#include "ui_FrmConfigure.h"

TfrmConfigure::TfrmConfigure(QWidget* parent) : QDialog(parent), ui(new Ui::TfrmConfigure) {
    ui->setupUi(this);
    setFixedSize(size());
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    IniOut1 = new TIniOut(this);
    IniOut1->Items = QStringList{
        "chkConfirmDelete;Checked;True;\\Software\\Fenwood\\OLMEK95\\Configure\\General;"
        "ConfirmWhenDeleting;1;0",
        "chkConfirmMove;Checked;True;\\Software\\Fenwood\\OLMEK95\\Configure\\General;"
        "ConfirmWhenMoving;1;0",
    };
    connect(ui->cmdOk, &QPushButton::clicked, this, [this] {
        IniOut1->Save();
        accept();
    });
    connect(ui->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmConfigure::~TfrmConfigure() = default;

QCheckBox* TfrmConfigure::chkConfirmDelete() const {
    return ui->chkConfirmDelete;
}
QCheckBox* TfrmConfigure::chkConfirmMove() const {
    return ui->chkConfirmMove;
}

void TfrmConfigure::showEvent(QShowEvent* e) {
    // Every showing starts from the stored settings; Cancel thus discards.
    IniOut1->Load();
    QDialog::showEvent(e);
}
