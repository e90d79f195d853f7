// The configuration dialog (Options > Configure).
#pragma once

#include <QDialog>
#include <memory>

#include "app/IniOut.h"

namespace Ui {
class TfrmConfigure;
}
class QCheckBox;

class TfrmConfigure : public QDialog {
    Q_OBJECT
public:
    explicit TfrmConfigure(QWidget* parent = nullptr);
    ~TfrmConfigure() override;

    QCheckBox* chkConfirmDelete() const;
    QCheckBox* chkConfirmMove() const;
    TIniOut* IniOut1;

protected:
    void showEvent(QShowEvent* e) override;

private:
    std::unique_ptr<Ui::TfrmConfigure> ui;
};
