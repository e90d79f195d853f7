// The file-mask dialog.
#pragma once

#include <QDialog>
#include <memory>

#include "app/IniOut.h"

namespace Ui {
class TfrmMask;
}
class QLineEdit;

class TfrmMask : public QDialog {
    Q_OBJECT
public:
    explicit TfrmMask(QWidget* parent = nullptr);
    ~TfrmMask() override;

    QLineEdit* txtSourcePathMask() const;
    TIniOut* IniOut1;

protected:
    void showEvent(QShowEvent* e) override;

private:
    void cmdOkClick();
    std::unique_ptr<Ui::TfrmMask> ui;
};
