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
class QPushButton;

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

// Showing either progress window clears its cancel flag (a new piece of
// work starts); its Cancel button sets it, and whoever runs the work copies
// it into the work's own cancel at the next progress or end event.  (A
// late activation must not undo a click, so activation leaves it alone.)
class TfrmProgress : public QDialog {
    Q_OBJECT
public:
    explicit TfrmProgress(QWidget* parent = nullptr);
    ~TfrmProgress() override;
    QLabel* lblFile() const;
    QProgressBar* ProgressBar1() const;
    QPushButton* cmdCancel() const;
    bool CancelFlag = false;

    // The file label (a long path loses its middle) and the bar.
    void Progress(const QString& fileName, int percent);

protected:
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
    QPushButton* cmdCancel() const;
    bool CancelFlag = false;

    // The verb shown before a member's name: "UnStoring  ", "Inflating  ",
    // ... by ZIP compression method; "Extracting  " for other methods.
    static QString MethodVerb(int zipMethod);
    static inline const QString AddingVerb = QStringLiteral("Adding  ");
    static inline const QString FresheningVerb = QStringLiteral("Freshening  ");

    // Upper line: verb + the member's file name (its folder dropped) + three
    // blanks; the upper bar follows percent and goes back to 0 at 100.
    void ItemProgress(const QString& verb, const QString& memberName, int percent);
    // Lower line: the archive; the lower bar follows the whole archive and
    // goes back to 0 at 100.
    void SetArchive(const QString& archivePath);
    void ArchiveProgress(int percent);
    // Both lines and bars emptied.
    void Reset();

protected:
    void showEvent(QShowEvent* e) override;

private:
    std::unique_ptr<Ui::TfrmProgress2> ui;
};
