#include "app/FrmView.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScreen>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/Artwork.h"
#include "app/ErrorText.h"
#include "app/ExtractRun.h"
#include "app/Forms.h"
#include "app/FrmTo.h"
#include "app/IniOut.h"
#include "app/Metrics.h"
#include "app/OpenArchive.h"
#include "app/ZipEdit.h"
#include "archive/extract/UnBase.h"
#include "archive/list/ArcLister.h"
#include "desktop/FileInfo.h"
#include "desktop/FileOperation.h"
#include "desktop/FolderPicker.h"
#include "desktop/Launch.h"
#include "desktop/MessageBox.h"
#include "desktop/Shell.h"
#include "desktop/VisibleText.h"
#include "platform/FileSystem.h"
#include "platform/Time.h"

namespace {

const char* const kViewKey = "\\Software\\Fenwood\\OLMEK95\\View";
constexpr int kStoredNameRole = Qt::UserRole + 1;

QString folderPart(const QString& name) {
    const int cut = qMax(name.lastIndexOf('/'), name.lastIndexOf(':'));
    if (cut < 0) return {};
    QString folder = name.left(cut + 1);
    if (!folder.endsWith('/')) folder += '/';
    return folder;
}

QString captionPart(const QString& name) {
    return name.mid(qMax(name.lastIndexOf('/'), name.lastIndexOf(':')) + 1);
}

struct Column {
    const char* caption;
    int width; // layout width; 0 = the list's default
    bool right;
};

const Column kColumns[14] = {
    {"FileName", 120, false},  {"Date", 60, false},         {"Time", 0, false},
    {"Packed", 80, true},      {"Unpacked", 80, true},      {"Ratio", 40, false},
    {"Method", 60, false},     {"Attr", 30, false},         {"Folder", 41, false},
    {"File Type", 110, false}, {"CRC", 70, true},           {"Offset", 60, true},
    {"Encrypted", 60, false},  {"File Comment", 75, false},
};

// The default width of a report column the layouts left unset.
constexpr int kDefaultColumnWidth = 50;

int headerFit(const QTreeWidget* list, const QString& caption) {
    // Text plus the header's margins and a sort arrow's room.
    return list->header()->fontMetrics().horizontalAdvance(caption) + 16;
}

} // namespace

TfrmView::TfrmView(QWidget* parent) : QDialog(parent) {
    setObjectName("frmView");
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    resize(app::scaledWidth(646), 468);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildToolBar();
    layout->addWidget(ToolBar1);
    buildLists();
    layout->addWidget(ListView1, 1);

    auto* bottom = new QWidget(this);
    bottom->setObjectName("Panel1");
    bottom->setFixedHeight(122);
    auto* row = new QHBoxLayout(bottom);
    row->setContentsMargins(4, 4, 4, 4);
    auto* left = new QWidget(bottom);
    auto* col = new QVBoxLayout(left);
    col->setContentsMargins(0, 0, 0, 0);
    auto* lblMask = new QLabel("File &Mask", left);
    lblMask->setObjectName("Label1");
    txtMask = new QLineEdit("*.*", left);
    txtMask->setObjectName("txtMask");
    lblMask->setBuddy(txtMask);
    auto* lblComment = new QLabel("Archive Comment:", left);
    lblComment->setObjectName("Label2");
    col->addWidget(lblMask);
    col->addWidget(txtMask);
    col->addWidget(lblComment);
    col->addStretch(1);
    left->setFixedWidth(qMax(app::scaledWidth(65),
                             lblComment->fontMetrics().horizontalAdvance(lblComment->text()) + 4));
    row->addWidget(left);
    auto* right = new QVBoxLayout;
    right->setSpacing(2);
    right->addWidget(ListView2);
    Memo1 = new QPlainTextEdit(bottom);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    right->addWidget(Memo1, 1);
    row->addLayout(right, 1);
    layout->addWidget(bottom);

    buildPopup();
    ArcLister2 = std::make_unique<TArcLister>();
    ArcLister2->SetFileSpec("*.*");
    ArcLister2->SetZipCmntBufSize(2000);
    wireLister();
    driver_ = std::make_unique<app::ExtractorDriver>(this, app::ExtractorDriver::Style::Single);

    IniOut1 = new TIniOut(this);
    IniOut1->Items << QString("txtMask;Text;*.*;%1;FileMask;1;0").arg(kViewKey);
    connect(txtMask, &QLineEdit::textChanged, this, [this] { onMaskChanged(); });
    IniOut1->Load();

    if (QScreen* s = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(s->availableGeometry().center());
        move(r.topLeft());
    }
}

TfrmView::~TfrmView() {
    IniOut1->Save();
    removeTemporaryFolders();
}

void TfrmView::buildToolBar() {
    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName("ToolBar1");
    ToolBar1->setIconSize(QSize(20, 20));
    const struct {
        QToolButton** slot;
        const char* name;
        const char* caption;
        app::ToolImage image;
        void (TfrmView::*command)();
    } buttons[] = {
        {&cmdDecompress, "cmdDecompress", "Decompress", app::ToolImage::Decompress,
         &TfrmView::Decompress},
        {&cmdDelete, "cmdDelete", "Delete", app::ToolImage::Delete, &TfrmView::Delete},
        {&cmdView, "cmdView", "View", app::ToolImage::View, &TfrmView::View},
        {&cmdViewAsText, "cmdViewAsText", "View as Text", app::ToolImage::ViewAsText,
         &TfrmView::ViewAsText},
        {&cmdAdd, "cmdAdd", "Add", app::ToolImage::Add, &TfrmView::Add},
        {&cmdExit, "cmdExit", "Exit", app::ToolImage::Exit, nullptr},
    };
    // Captions must fit the buttons' 68 pixels.
    QFont narrow = font();
    narrow.setStretch(QFont::SemiCondensed);
    for (const auto& b : buttons) {
        auto* t = new QToolButton(ToolBar1);
        t->setObjectName(b.name);
        t->setFont(narrow);
        t->setText(b.caption);
        t->setIcon(app::toolIcon(b.image));
        t->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        t->setAutoRaise(true);
        t->setFixedSize(qMax(68, t->fontMetrics().horizontalAdvance(b.caption) + 8), 40);
        if (b.command)
            connect(t, &QToolButton::clicked, this, b.command);
        else
            connect(t, &QToolButton::clicked, this, &QDialog::close);
        ToolBar1->addWidget(t);
        *b.slot = t;
    }
}

void TfrmView::buildLists() {
    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName("ListView1");
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setIconSize(QSize(16, 16));
    ListView1->setColumnCount(14);
    QStringList captions;
    for (const Column& c : kColumns) captions << c.caption;
    ListView1->setHeaderLabels(captions);
    ListView1->header()->setStretchLastSection(false);
    for (int i = 0; i < 14; ++i) {
        const Column& c = kColumns[i];
        int w = app::scaledWidth(c.width ? c.width : kDefaultColumnWidth);
        // Folder sizes itself to its header.
        if (i == 8) w = qMax(w, headerFit(ListView1, c.caption));
        ListView1->setColumnWidth(i, w);
        if (c.right)
            ListView1->headerItem()->setTextAlignment(i, Qt::AlignRight | Qt::AlignVCenter);
    }
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { View(); });
    ListView1->installEventFilter(this);

    ListView2 = new QTreeWidget(this);
    ListView2->setObjectName("ListView2");
    ListView2->setRootIsDecorated(false);
    ListView2->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView2->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView2->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ListView2->setHeaderLabels({"", "Files", "Packed", "Unpacked", "Ratio"});
    ListView2->header()->setStretchLastSection(true);
    ListView2->header()->setMinimumSectionSize(0);
    const int totals[5] = {0, 158, 80, 80, 251};
    for (int i = 0; i < 5; ++i) ListView2->setColumnWidth(i, app::scaledWidth(totals[i]));
    for (int i : {2, 3})
        ListView2->headerItem()->setTextAlignment(i, Qt::AlignRight | Qt::AlignVCenter);
    // Header and one line, whatever the font.
    const int rowHeight = ListView2->fontMetrics().height() + 6;
    ListView2->setFixedHeight(qMax(44, ListView2->header()->sizeHint().height() + rowHeight + 4));
}

void TfrmView::buildPopup() {
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName("PopupMenu1");
    const struct {
        const char* caption;
        const char* shortcut;
        void (TfrmView::*command)();
    } items[] = {
        {"&Decompress", "F4", &TfrmView::Decompress},
        {"-", "", nullptr},
        {"De&lete", "", &TfrmView::Delete},
        {"-", "", nullptr},
        {"&View", "F12", &TfrmView::View},
        {"View as &Text", "", &TfrmView::ViewAsText},
        {"-", "", nullptr},
        {"&Add", "", &TfrmView::Add},
        {"-", "", nullptr},
        {"Cancel", "", nullptr},
    };
    for (const auto& it : items) {
        if (QString(it.caption) == "-") {
            PopupMenu1->addSeparator();
            continue;
        }
        QAction* a = PopupMenu1->addAction(it.caption);
        if (*it.shortcut) {
            a->setShortcut(QKeySequence(it.shortcut));
            a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
            // Also reachable while the menu is closed.
            addAction(a);
        }
        if (it.command) connect(a, &QAction::triggered, this, it.command);
    }
    for (QWidget* w : {static_cast<QWidget*>(ListView1), static_cast<QWidget*>(ListView2),
                       static_cast<QWidget*>(Memo1)}) {
        w->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(w, &QWidget::customContextMenuRequested, this, [this, w](const QPoint& pos) {
            QWidget* at = w;
            if (auto* view = qobject_cast<QAbstractScrollArea*>(w)) at = view->viewport();
            PopupMenu1->popup(at->mapToGlobal(pos));
        });
    }
}

void TfrmView::wireLister() {
    ArcLister2->OnRead = [this](TObject*, std::int64_t offset, int) {
        TArcLister& l = *ArcLister2;
        const QString name = desk::visibleText(l.FileName);
        const plat::DateTimeParts when = plat::decodeDateTime(l.DateTime);
        auto* item = new QTreeWidgetItem(ListView1);
        item->setText(0, captionPart(name));
        item->setData(0, kStoredNameRole, QString::fromStdString(l.FileName));
        item->setIcon(0, desk::iconAt(desk::iconIndexForName(captionPart(name))));
        item->setText(1,
                      QString::asprintf("%02d-%02d-%02d", when.month, when.day, when.year % 100));
        item->setText(2, QString::asprintf("%02d:%02d", when.hour, when.minute));
        item->setText(3, QString::number(l.PackedSize));
        item->setText(4, QString::number(l.UnpackedSize));
        item->setText(5, QString::number(l.Ratio) + "%");
        item->setText(6, desk::visibleText(l.MethodName));
        item->setText(7, QString::number(l.ExternalAttr));
        item->setText(8, folderPart(name));
        item->setText(9, desk::visibleText(desk::typeNameForName(name)).left(80));
        item->setText(10, QString::asprintf("%08X", l.CRC));
        item->setText(11, QString::number(offset));
        item->setText(12, l.Encrypted ? "Yes" : "No");
        item->setText(13, desk::visibleText(l.FileComment));
        for (int c : {3, 4, 10, 11}) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    };
    ArcLister2->OnTotals = [this](TObject*, int numFiles) {
        const TArcLister& l = *ArcLister2;
        auto* item = new QTreeWidgetItem(ListView2);
        item->setText(1, QString::number(numFiles));
        item->setText(2, QString::number(l.TotalPackedSize));
        item->setText(3, QString::number(l.TotalUnpackedSize));
        item->setText(4, QString::number(l.TotalRatio) + "%");
        for (int c : {2, 3}) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        Memo1->setPlainText(QString::fromStdString(l.ArchiveComment));
    };
    ArcLister2->OnError = [this](TObject*, const std::string& fn, const std::string& vol,
                                 int code) {
        const QString text =
            app::componentErrorText(desk::visibleText(fn), QString::fromStdString(vol), code);
        if (!text.isEmpty()) desk::showInformation(text, this);
    };
}

bool TfrmView::OpenArchive(const QString& path, int addEnabled) {
    ListView1->clear();
    ListView2->clear();
    Memo1->clear();
    setWindowTitle(path);
    ArcLister2->SetArchiveFile(path.toStdString());
    ArcLister2->SetFileSpec("*.*");
    if (addEnabled >= 0) cmdAdd->setEnabled(addEnabled != 0);
    const bool ok = ArcLister2->Activate();
    fitColumns();
    return ok;
}

bool TfrmView::Relist() {
    ListView1->clear();
    ListView2->clear();
    Memo1->clear();
    ArcLister2->SetArchiveFile(windowTitle().toStdString());
    const bool ok = ArcLister2->Activate();
    fitColumns();
    return ok;
}

void TfrmView::fitColumns() {
    // Dates, sizes, attributes and CRCs never show cut: a column narrower
    // than its values widens.  Names and comments keep their widths.
    for (int i = 1; i < 13; ++i) {
        if (i == 9) continue;
        const int needed = static_cast<QAbstractItemView*>(ListView1)->sizeHintForColumn(i);
        if (needed > ListView1->columnWidth(i)) ListView1->setColumnWidth(i, needed);
    }
}

void TfrmView::onMaskChanged() {
    ArcLister2->SetFileSpec(txtMask->text().toStdString());
    if (ArcLister2->ArchiveFile().empty()) return;
    ListView1->clear();
    ListView2->clear();
    Memo1->clear();
    ArcLister2->Activate();
    fitColumns();
}

void TfrmView::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    ListView1->setFocus();
}

bool TfrmView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ListView1 && event->type() == QEvent::KeyRelease) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            View();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmView::closeEvent(QCloseEvent* e) {
    if (busy_) {
        // Closed while waiting for an opened member: stop waiting first.
        closeRequested_ = true;
        e->ignore();
        return;
    }
    QDialog::closeEvent(e);
}

void TfrmView::done(int r) {
    if (busy_) {
        closeRequested_ = true;
        return;
    }
    removeTemporaryFolders();
    QDialog::done(r);
}

bool TfrmView::selectionCheck() {
    if (!ListView1->selectedItems().isEmpty()) return true;
    desk::showInformation("Select a file by clicking on its name.\r\rThen, try again.", this);
    return false;
}

QStringList TfrmView::SelectedCaptions() const {
    QStringList out;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i)
        if (ListView1->topLevelItem(i)->isSelected()) out << ListView1->topLevelItem(i)->text(0);
    return out;
}

QStringList TfrmView::SelectedStoredNames() const {
    QStringList out;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* it = ListView1->topLevelItem(i);
        if (it->isSelected()) out << it->data(0, kStoredNameRole).toString();
    }
    return out;
}

QString TfrmView::TemporaryRoot() {
    return QString::fromStdString(plat::cacheDir());
}

QString TfrmView::newTemporaryFolder() {
    const QString root = TemporaryRoot();
    for (int n = 1; n < 100000; ++n) {
        const QString folder = root + QString::number(n);
        if (QFileInfo::exists(folder)) continue;
        if (!QDir().mkpath(folder)) break;
        tempFolders_ << folder;
        return folder;
    }
    desk::showInformation("No temporary folder could be made in " + root + ".", this);
    return {};
}

void TfrmView::removeTemporaryFolders() {
    // Only this window's own folders: another viewer may still use its own.
    if (tempFolders_.isEmpty()) return;
    desk::SHFileOperation(this, desk::FO_DELETE, tempFolders_, {},
                          desk::FOF_SILENT | desk::FOF_NOCONFIRMATION | desk::FOF_NOERRORUI);
    tempFolders_.clear();
}

TUnBase* TfrmView::extractor() {
    const TArcType type = ArcLister2->ArcType();
    auto it = extractors_.find(type);
    if (it == extractors_.end()) {
        std::unique_ptr<TUnBase> x = app::viewerExtractorFor(type);
        if (!x) {
            desk::showInformation(app::extractNotAvailableText(type), this);
            return nullptr;
        }
        x->UseStoredDirs = false;
        x->SetFileSpec("*.*");
        driver_->attach(*x, false);
        it = extractors_.emplace(type, std::move(x)).first;
    }
    return it->second.get();
}

bool TfrmView::extractInto(TUnBase& x, const QString& folder, const QString& storedName) {
    x.SetArchiveFile(ArcLister2->ArchiveFile());
    x.SetExtractDir(folder.toStdString());
    x.SetFileSpec(storedName.toStdString());
    driver_->run(x);
    return !driver_->cancelled();
}

void TfrmView::View() {
    if (busy_ || !selectionCheck()) return;
    TUnBase* x = extractor();
    if (!x) return;
    const QString folder = newTemporaryFolder();
    if (folder.isEmpty()) return;
    const QStringList captions = SelectedCaptions(), stored = SelectedStoredNames();
    busy_ = true;
    for (int i = 0; i < captions.size() && !closeRequested_; ++i) {
        if (!extractInto(*x, folder, stored[i])) break;
        const QString file = folder + '/' + captions[i];
        // Its failure was reported by the extractor's events.
        if (!QFileInfo(file).isFile()) continue;
        if (app::OpensWithSelf(file)) {
            app::ViewArchiveModal(this, file);
            continue;
        }
        const desk::ShellExecResult r =
            desk::ShellExecute(file, {}, folder, desk::ShellWait::KeepProcess);
        if (r.code == desk::SE_ERR_NOASSOC) {
            if (desk::askYesNo("The file " + captions[i].toUpper() +
                                   " is not associated with any application. Would you like "
                                   "to view it with the text editor?",
                               this) &&
                !desk::openTextEditor(file, this))
                desk::showInformation("The file " + captions[i] + " could not be shown.", this);
            continue;
        }
        if (!r.ok()) {
            desk::showInformation(desk::shellErrorText(r.code, file), this);
            continue;
        }
        // The next entry waits until this one's application has ended.
        while (!closeRequested_ && !r.waitForFinished(100)) {}
    }
    busy_ = false;
    if (closeRequested_) {
        closeRequested_ = false;
        close();
    }
}

void TfrmView::ViewAsText() {
    if (busy_ || !selectionCheck()) return;
    TUnBase* x = extractor();
    if (!x) return;
    const QString folder = newTemporaryFolder();
    if (folder.isEmpty()) return;
    const QStringList captions = SelectedCaptions(), stored = SelectedStoredNames();
    for (int i = 0; i < captions.size(); ++i) {
        if (!extractInto(*x, folder, stored[i])) break;
        const QString file = folder + '/' + captions[i];
        if (!QFileInfo(file).isFile()) continue;
        if (!desk::openTextEditor(file, this))
            desk::showInformation("The file " + captions[i] + " could not be shown.", this);
    }
}

void TfrmView::Decompress() {
    if (busy_ || !selectionCheck()) return;
    TfrmTo* to = forms::frmTo();
    to->PrepareArchive(QString::fromStdString(ArcLister2->ArchiveFile()), SelectedStoredNames(),
                       QDir::homePath());
    to->exec();
}

void TfrmView::Delete() {
    if (busy_ || !selectionCheck()) return;
    // By full stored names: a caption alone would also take same-named
    // members of other folders.
    if (app::zipDeleteMembers(this, windowTitle(), ArcLister2->ArcType(), SelectedStoredNames()))
        Relist();
}

void TfrmView::Add() {
    if (busy_) return;
    const TArcType type = ArcLister2->ArcType();
    // Other archive types are only explained.
    if (!app::zipWritable(type)) {
        app::zipAddFile(this, windowTitle(), type, {});
        return;
    }
    const QString file =
        desk::selectExistingFile(this, "Add", QFileInfo(windowTitle()).absolutePath());
    if (file.isEmpty()) return;
    if (app::zipAddFile(this, windowTitle(), type, file)) Relist();
}
