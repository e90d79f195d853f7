// The small dialogs of the file and folder commands: rename a file, new or
// renamed folder, file attributes, file date and time.  Each does its work
// in its Ok handler.
#pragma once

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// Fixed-size dialog with the system-menu icon only, Ok (default) and Cancel.
class TSmallDialog : public QDialog {
    Q_OBJECT
public:
    explicit TSmallDialog(QWidget* parent);
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;
    // Ok's work; the dialog stays open when it returns false.
    virtual bool Ok() = 0;

protected:
    // Adds the button row and fixes the size.
    void finish(class QBoxLayout* layout);
    void showEvent(QShowEvent* e) override;
};

class TfrmRenameFile : public TSmallDialog {
    Q_OBJECT
public:
    explicit TfrmRenameFile(QWidget* parent = nullptr);
    QLabel* lblPath = nullptr;
    QLabel* lblOldFile = nullptr;
    QLineEdit* txtNewFile = nullptr;
    // The folder shown in lblPath (with its trailing '/').
    QString Folder;
    void Prepare(const QString& folder, const QString& name);
    bool Ok() override;

protected:
    void showEvent(QShowEvent* e) override;
};

class TfrmNewDirectory : public TSmallDialog {
    Q_OBJECT
public:
    explicit TfrmNewDirectory(QWidget* parent = nullptr);
    QLabel* lblOldDirectory = nullptr;
    QLineEdit* txtNewDirectory = nullptr;
    static inline const QString NewCaption = QStringLiteral("New Directory");
    static inline const QString RenameCaption = QStringLiteral("Rename Directory");
    // After a folder was made or renamed: its full path (the folder window
    // refreshes and follows it).
    std::function<void(const QString& folder)> AfterChange;
    void Prepare(bool rename, const QString& folder);
    bool Ok() override;

protected:
    void showEvent(QShowEvent* e) override;
};

class TfrmFileAttributes : public TSmallDialog {
    Q_OBJECT
public:
    explicit TfrmFileAttributes(QWidget* parent = nullptr);
    QCheckBox* chkReadOnly = nullptr;
    QCheckBox* chkArchive = nullptr;
    QCheckBox* chkSystem = nullptr;
    QCheckBox* chkHidden = nullptr;
    // The caption is the file; the boxes show its attributes when shown.
    void Prepare(const QString& path);
    void LoadAttributes();
    bool Ok() override;
    // The attribute word read when shown, and whether Ok wrote one.
    int CurrentAttributes = 0;
    bool Written = false;

protected:
    void showEvent(QShowEvent* e) override;
};

class TfrmFileDateTime : public TSmallDialog {
    Q_OBJECT
public:
    explicit TfrmFileDateTime(QWidget* parent = nullptr);
    QLabel* lblCurrentDate = nullptr;
    QLabel* lblCurrentTime = nullptr;
    QLineEdit* mskDate = nullptr;
    QLineEdit* mskTime = nullptr;
    void Prepare(const QString& path);
    void LoadDateTime();
    bool Ok() override;
    bool Written = false;

    // The edit formats: the locale's short date and long time formats with
    // two digits per field (so that the masks fit), year in two digits,
    // no time zone.
    static QString DateEditFormat();
    static QString TimeEditFormat();
    // An input mask for an edit format ('9' for each digit).
    static QString MaskOf(const QString& format);
    // Date and time texts as the edits hold them; invalid when they do not
    // convert (two-digit years fall within 80 years back and 20 ahead).
    static QDateTime ParseDateTime(const QString& date, const QString& time);

protected:
    void showEvent(QShowEvent* e) override;

private:
    QString shownDate_, shownTime_;
};
