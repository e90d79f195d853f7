// The small long-lived windows: splash, about box, password prompt and the
// two progress windows.
#pragma once

#include <QDialog>
#include <QWidget>
#include <memory>

namespace Ui {
class TfrmSplash;
class TfrmAbout;
class TfrmPassword;
class TfrmProgress;
class TfrmProgress2;
} // namespace Ui
class QLabel;
class QLineEdit;
class QProgressBar;

// Narrows a widget's font so that a caption fits a fixed layout.
void condense(QWidget* w);

class TfrmSplash : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSplash(QWidget* parent = nullptr);
    ~TfrmSplash() override;
    QLabel* lblTitle() const;
    QLabel* lblWindow() const;
    // Sets the status line and paints it at once.
    void setStatus(const QString& text);

private:
    std::unique_ptr<Ui::TfrmSplash> ui;
};

class TfrmAbout : public QDialog {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget* parent = nullptr);
    ~TfrmAbout() override;
    QLabel* lblName() const;

protected:
    void showEvent(QShowEvent* e) override;

private:
    std::unique_ptr<Ui::TfrmAbout> ui;
};

class TfrmPassword : public QDialog {
    Q_OBJECT
public:
    explicit TfrmPassword(QWidget* parent = nullptr);
    ~TfrmPassword() override;
    QLineEdit* txtPassword() const;

protected:
    void showEvent(QShowEvent* e) override;

private:
    std::unique_ptr<Ui::TfrmPassword> ui;
};

// Activating either progress window clears its cancel flag.
class TfrmProgress : public QDialog {
    Q_OBJECT
public:
    explicit TfrmProgress(QWidget* parent = nullptr);
    ~TfrmProgress() override;
    QLabel* lblFile() const;
    QProgressBar* ProgressBar1() const;
    bool CancelFlag = false;

protected:
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    std::unique_ptr<Ui::TfrmProgress> ui;
};

class TfrmProgress2 : public QDialog {
    Q_OBJECT
public:
    explicit TfrmProgress2(QWidget* parent = nullptr);
    ~TfrmProgress2() override;
    QLabel* lblUpper() const;
    QLabel* lblLower() const;
    QProgressBar* ProgressBar1() const;
    QProgressBar* ProgressBar2() const;
    bool CancelFlag = false;

protected:
    void changeEvent(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    std::unique_ptr<Ui::TfrmProgress2> ui;
};
