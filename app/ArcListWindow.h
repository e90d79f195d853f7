// A plain window listing one archive's members with the lister, standing
// in where the archive viewer will open.
#pragma once

#include <QDialog>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QTreeWidget;
class TArcLister;

class TfrmArcList : public QDialog {
    Q_OBJECT
public:
    explicit TfrmArcList(QWidget* parent = nullptr);
    ~TfrmArcList() override;

    QTreeWidget* ListView1 = nullptr;
    QTreeWidget* ListView2 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    std::unique_ptr<TArcLister> ArcLister2;

    // Lists path (the caption becomes the path); false when the lister failed.
    bool listArchive(const QString& path);
};
