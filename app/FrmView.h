// The archive viewer: one archive's directory as a fourteen-column list
// with the totals line and the archive comment; its members are extracted,
// opened with their application or the text editor, deleted, and files are
// added.
#pragma once

#include <QDialog>
#include <QStringList>
#include <map>
#include <memory>

#include "archive/core/ArcTypes.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TArcLister;
class TIniOut;
class TUnBase;

namespace app {
class ExtractorDriver;
}

class TfrmView : public QDialog {
    Q_OBJECT
public:
    explicit TfrmView(QWidget* parent = nullptr);
    ~TfrmView() override;

    QToolBar* ToolBar1 = nullptr;
    QToolButton* cmdDecompress = nullptr;
    QToolButton* cmdDelete = nullptr;
    QToolButton* cmdView = nullptr;
    QToolButton* cmdViewAsText = nullptr;
    QToolButton* cmdAdd = nullptr;
    QToolButton* cmdExit = nullptr;
    QTreeWidget* ListView1 = nullptr;
    QTreeWidget* ListView2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QLineEdit* txtMask = nullptr;
    QMenu* PopupMenu1 = nullptr;
    TIniOut* IniOut1 = nullptr;
    std::unique_ptr<TArcLister> ArcLister2;

    // The opening protocol: empties the lists and the comment, takes path as
    // caption and archive, lists every member ("*.*") and, when addEnabled
    // is given, enables or disables Add.  False when the lister failed.
    bool OpenArchive(const QString& path, int addEnabled = -1);
    // Empties both lists and the comment and runs the lister again.
    bool Relist();

    // The commands of the tool bar and the pop-up menu.
    void Decompress();
    void Delete();
    void View();
    void ViewAsText();
    void Add();

    // Selected entries in list order: captions (names without folders) and
    // the full stored names.
    QStringList SelectedCaptions() const;
    QStringList SelectedStoredNames() const;

    // The temporary folders this window made for View and View as Text.
    const QStringList& TemporaryFolders() const { return tempFolders_; }
    // The folder under which they are made: $XDG_CACHE_HOME/olmek95/.
    static QString TemporaryRoot();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void done(int r) override;

private:
    void buildToolBar();
    void buildLists();
    void buildPopup();
    void wireLister();
    bool selectionCheck();
    // The next numbered folder; empty (with a message) when none can be made.
    QString newTemporaryFolder();
    void removeTemporaryFolders();
    // The extractor for the archive, attached to this window's handlers;
    // null (with the message) when the type has none.
    TUnBase* extractor();
    // Extracts the stored names into folder, flat; false when cancelled.
    bool extractInto(TUnBase& x, const QString& folder, const QString& storedName);
    void onMaskChanged();
    void fitColumns();

    QStringList tempFolders_;
    std::map<TArcType, std::unique_ptr<TUnBase>> extractors_;
    std::unique_ptr<app::ExtractorDriver> driver_;
    // Set while View waits for an opened member's application; a close
    // meanwhile ends the wait and then closes.
    bool busy_ = false;
    bool closeRequested_ = false;
};
