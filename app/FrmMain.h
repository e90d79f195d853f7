// The frame window: cool bar with the drive button and the command buttons,
// the MDI area holding the folder windows, the menus and the status bar.
#pragma once

#include <QHash>
#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>

#include "app/IniOut.h"

class QMdiArea;
class QMenu;
class QToolBar;
class QToolButton;
class TArcLister;
class TfrmChild;
class TfrmSplash;
class Commands;
class FileCommands;
namespace desk {
struct MountEntry;
}

inline constexpr const char* kAppTitle = "OLMEK 95 beta 5";

// One item of the main menu: its component name, caption, shortcut and hint.
struct MenuItemDef {
    const char* menu; // component name of the menu ("File1", ...)
    const char* name; // component name of the item, or "-" for a separator
    const char* caption;
    const char* shortcut;
    const char* hint;
    bool visible;
};
const QList<MenuItemDef>& mainMenuItems();

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TfrmMain(QWidget* parent = nullptr);
    ~TfrmMain() override;

    QMdiArea* mdiArea = nullptr;
    QToolBar* ToolBar2 = nullptr;
    QToolBar* ToolBar3 = nullptr;
    QToolButton* cmdDrives = nullptr;
    QMenu* DriveMenu = nullptr;
    QMenu* Window1 = nullptr;
    TIniOut* IniOut1 = nullptr;
    std::unique_ptr<TArcLister> ArcLister1;
    std::unique_ptr<Commands> commands;
    std::unique_ptr<FileCommands> fileCommands;

    // The command-line arguments (without the program name) that the first
    // show looks at.
    QStringList Arguments;
    // The splash that the first show updates and releases (may be null).
    TfrmSplash* Splash = nullptr;
    // Register the file types when the frame is created (tests turn it off).
    static inline bool RegisterFileTypesAtStart = true;

    QAction* action(const QString& name) const { return actions_.value(name); }
    QToolButton* toolButton(const QString& name) const;

    TfrmChild* ActiveChild() const;
    QList<TfrmChild*> children() const;
    TfrmChild* NewChild();
    void RefreshActive();

    // Drive menu from the given drives, or from the machine's mounts.
    void RebuildDriveMenu(const QList<desk::MountEntry>& mounts);
    void RebuildDriveMenu();
    void SelectDrive(const QString& mountPoint);

    // The first-show work: command-line mode or restoring the folder windows.
    void FormShow();
    void RestoreWindows();
    // Writes the window records and retires older ones (done on close).
    void SaveWindows();
    void SaveFrameSettings();
    bool closing() const { return closing_; }

    // An archive path handed over by another start of the program: shown
    // in the viewer (after the current event).
    void ShowArchiveFromOutside(const QString& path);

    void runCommand(const QString& name);
    // Whether the command has its own action (else it says it is not
    // available yet).
    bool handles(const QString& name) const { return handlers_.contains(name); }
    void TileHorizontally();
    void TileVertically();
    void ArrangeIcons();

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void buildMenus();
    void buildToolBars();
    void fillWindowMenu();
    void bindCommands();

    QHash<QString, QAction*> actions_;
    QHash<QString, std::function<void()>> handlers_;
    bool shown_ = false;
    bool closing_ = false;
    bool saved_ = false;
};

// The folder a window record keeps for a caption such as "/home/u/*.*".
QString recordPathOfCaption(const QString& caption);
