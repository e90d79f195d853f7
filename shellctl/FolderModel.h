// The rows of a folder list: one folder read from disk (or a fixed set of
// entries for a virtual folder), filtered and sorted.
#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QIcon>
#include <QVector>

#include "shellctl/ShellTypes.h"

// Windows-style file mask: '*' and '?' case-insensitive, several masks
// separated by ';', "*.*" matches every name, "name.*" also matches "name",
// a trailing '.' asks for names without an extension.
bool matchFileMask(const QString& mask, const QString& name);

struct FolderItem {
    QString name;
    QString path;
    bool isDir = false;
    qint64 size = 0;
    QDateTime modified;
    int attributes = 0; // DOS bits
    QString type;
    int order = 0; // position as read, for soUnSorted
};

class FolderModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FolderModel(QObject* parent = nullptr);

    struct Options {
        QString mask = "*.*";
        bool showFolders = true;
        bool showHidden = false;
    };
    // Reads folder; false (and nothing changed) when it cannot be read.
    bool load(const QString& folder, const Options& options);
    // Shows fixed entries (a virtual folder's children).
    void loadEntries(const QVector<FolderItem>& entries);
    void sortBy(TColumnName column, TColumnSortOrder order);
    void setColumns(const TFolderColumn& columns);
    // The owner's rename switch, read whenever a view asks.
    void setEditableFlag(const bool* flag) { editable_ = flag; }
    // The owner's drop switch and the folder that receives drops on no item.
    void setDropFlag(const bool* flag) { droppable_ = flag; }
    void setDropFolder(const QString& folder) { dropFolder_ = folder; }

    const FolderItem& item(int row) const { return items_[row]; }
    int count() const { return static_cast<int>(items_.size()); }
    int rowOfName(const QString& name) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    // Where a drop on parent goes: a folder item, else the folder shown.
    QString dropTarget(const QModelIndex& parent) const;

    static QString sizeText(const FolderItem& item);
    static QString attributeText(int attributes);

signals:
    // A rename through the view failed, for the reason given.
    void renameFailed(const QString& from, const QString& why);
    // Files were dropped (copied or moved) into a folder.
    void dropped(const QString& folder);

private:
    QIcon iconFor(const FolderItem& item) const;
    QVector<FolderItem> items_;
    TFolderColumn columns_;
    TColumnName sortColumn_ = cnName;
    TColumnSortOrder sortOrder_ = soAscending;
    const bool* editable_ = nullptr;
    const bool* droppable_ = nullptr;
    QString dropFolder_;
    mutable QHash<QString, QIcon> iconCache_;
};
