// A folder window: the folder tree on the left, the selected folder's
// contents on the right, and the two pop-up menus of file and folder commands.
#pragma once

#include <QMdiSubWindow>
#include <memory>

#include "app/IniOut.h"

class QMenu;
class QSplitter;
class TArcLister;
class TFolderEnumerator;
class TNameSpaceEnumerator;
class TfrmMain;

class TfrmChild : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit TfrmChild(TfrmMain* frame);
    ~TfrmChild() override;

    TNameSpaceEnumerator* dirSource = nullptr;
    TFolderEnumerator* filSource = nullptr;
    QSplitter* Splitter1 = nullptr;
    QMenu* popFile = nullptr;
    QMenu* popDir = nullptr;
    TIniOut* IniOut1 = nullptr;
    std::unique_ptr<TArcLister> ArcLister1;

    // Width of the folder tree pane (the "Panel" of the window records).
    int panelWidth() const;
    void setPanelWidth(int width);

    // Shows folder: selects it in the tree and makes the list show it.
    void showFolder(const QString& folder);
    // The tree's selected path with '/' appended; empty for a virtual folder.
    QString currentDirectory() const;
    // Refresh: the tree, then the list.
    void refresh();
    void updateCaption();

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    QMenu* buildPopup(const char* name, const QList<QPair<QString, QString>>& items);
    void activateForPopup();
    TfrmMain* frame_;
    int panelWidth_ = 189;
};
