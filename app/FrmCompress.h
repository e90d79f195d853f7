// The compress dialog: one ZIP or LHA archive from the checked files (or
// from a whole folder tree), or each checked file UU-, XX- or Base64-encoded.
#pragma once

#include <QDialog>
#include <memory>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QButtonGroup;
class TCheckList;
class TIniOut;
class TLha;
class TUUCode;

class TfrmCompress : public QDialog {
    Q_OBJECT
public:
    explicit TfrmCompress(QWidget* parent = nullptr);
    ~TfrmCompress() override;

    static constexpr int HistorySize = 20;
    static inline const QString FilesHeading = QStringLiteral("File(s) to Compress:");
    static inline const QString DirectoryHeading = QStringLiteral("Directory to Compress:");
    static inline const QString DriveHeading = QStringLiteral("Drive to Compress:");

    QLabel* lblFile = nullptr;
    TCheckList* lstFiles = nullptr;
    QButtonGroup* optCompressionMethod = nullptr;
    QComboBox* cmbFile = nullptr;
    QPushButton* cmdBrowse = nullptr;
    QPushButton* cmdCompress = nullptr;
    QPushButton* cmdCancel = nullptr;
    QPushButton* cmdHelp = nullptr;
    TIniOut* IniOut1 = nullptr;
    std::unique_ptr<TLha> Lha1;
    std::unique_ptr<TUUCode> UUCode1;

    // What the ZIP writer gathers from in Directory and Drive modes: the
    // callers set it before showing the dialog and empty it afterwards.
    QString BaseDirectory;

    int method() const;
    void setMethod(int index);

    // The Compress button's work (the dialog then closes with OK).
    void Compress();
    // The "..." button's work with a chosen folder.
    void BrowseTo(const QString& folder);

    // Target with ext (".ZIP", ".LZH") appended unless it already ends so
    // (any case).
    static QString withExtension(const QString& target, const QString& ext);
    // Where an encoded copy of input goes for the target box's text: in the
    // folder the text names, else beside the input.
    static QString encodedTarget(const QString& targetText, const QString& input,
                                 const QString& ext);

protected:
    void showEvent(QShowEvent* e) override;

private:
    bool folderMode() const;
    QStringList checkedLines() const;
    void addToHistory();
    void compressZip();
    void compressLha();
    void encode(int index);
};
