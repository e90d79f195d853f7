#include "app/ArcListWindow.h"

#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/ErrorText.h"
#include "archive/list/ArcLister.h"
#include "desktop/MessageBox.h"
#include "desktop/VisibleText.h"
#include "platform/Time.h"

namespace {

QString folderPart(const QString& name) {
    const int cut = name.lastIndexOf('/');
    return cut < 0 ? QString() : name.left(cut + 1);
}

} // namespace

TfrmArcList::TfrmArcList(QWidget* parent) : QDialog(parent) {
    setObjectName("frmArcList");
    resize(646, 468);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    ListView1 = new QTreeWidget(this);
    ListView1->setObjectName("ListView1");
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setHeaderLabels({"FileName", "Date", "Time", "Packed", "Unpacked", "Ratio", "Method",
                                "Attr", "Folder", "CRC", "Offset", "Encrypted", "File Comment"});
    const int widths[] = {120, 60, 45, 80, 80, 40, 60, 30, 60, 70, 60, 60, 75};
    for (int i = 0; i < 13; ++i) ListView1->setColumnWidth(i, widths[i]);
    layout->addWidget(ListView1, 1);
    ListView2 = new QTreeWidget(this);
    ListView2->setObjectName("ListView2");
    ListView2->setRootIsDecorated(false);
    ListView2->setHeaderLabels({"Files", "Packed", "Unpacked", "Ratio"});
    ListView2->setColumnWidth(0, 158);
    ListView2->setFixedHeight(44);
    layout->addWidget(ListView2);
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setFixedHeight(72);
    layout->addWidget(Memo1);

    ArcLister2 = std::make_unique<TArcLister>();
    ArcLister2->SetZipCmntBufSize(2000);
    ArcLister2->OnRead = [this](TObject*, std::int64_t offset, int) {
        const TArcLister& l = *ArcLister2;
        const QString name = desk::visibleText(l.FileName);
        const plat::DateTimeParts when = plat::decodeDateTime(l.DateTime);
        auto* item = new QTreeWidgetItem(ListView1);
        item->setText(0, name.mid(name.lastIndexOf('/') + 1));
        item->setText(1,
                      QString::asprintf("%02d-%02d-%02d", when.month, when.day, when.year % 100));
        item->setText(2, QString::asprintf("%02d:%02d", when.hour, when.minute));
        item->setText(3, QString::number(l.PackedSize));
        item->setText(4, QString::number(l.UnpackedSize));
        item->setText(5, QString::number(l.Ratio) + "%");
        item->setText(6, desk::visibleText(l.MethodName));
        item->setText(7, QString::number(l.ExternalAttr));
        item->setText(8, folderPart(name));
        item->setText(9, QString("%1").arg(l.CRC, 8, 16, QChar('0')).toUpper());
        item->setText(10, QString::number(offset));
        item->setText(11, l.Encrypted ? "Yes" : "No");
        item->setText(12, desk::visibleText(l.FileComment));
        for (int c : {3, 4, 9, 10}) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    };
    ArcLister2->OnTotals = [this](TObject*, int numFiles) {
        const TArcLister& l = *ArcLister2;
        auto* item = new QTreeWidgetItem(ListView2);
        item->setText(0, QString::number(numFiles));
        item->setText(1, QString::number(l.TotalPackedSize));
        item->setText(2, QString::number(l.TotalUnpackedSize));
        item->setText(3, QString::number(l.TotalRatio) + "%");
        Memo1->setPlainText(QString::fromStdString(l.ArchiveComment));
    };
    ArcLister2->OnError = [this](TObject*, const std::string& fn, const std::string& vol,
                                 int code) {
        const QString text =
            app::componentErrorText(QString::fromStdString(fn), QString::fromStdString(vol), code);
        if (!text.isEmpty()) desk::showInformation(text, this);
    };
}

TfrmArcList::~TfrmArcList() = default;

bool TfrmArcList::listArchive(const QString& path) {
    ListView1->clear();
    ListView2->clear();
    Memo1->clear();
    setWindowTitle(path);
    ArcLister2->SetArchiveFile(path.toStdString());
    ArcLister2->SetFileSpec("*.*");
    return ArcLister2->Activate();
}
