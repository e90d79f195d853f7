#include "shellctl/CheckList.h"

TCheckList::TCheckList(QWidget* parent) : QListWidget(parent) {
    setUniformItemSizes(true);
}

int TCheckList::AddItem(const QString& text, bool checked) {
    auto* item = new QListWidgetItem(text, this);
    item->setFlags((item->flags() | Qt::ItemIsUserCheckable) & ~Qt::ItemIsUserTristate);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    item->setSizeHint(QSize(fontMetrics().horizontalAdvance(text) + 24, ItemHeight));
    return count() - 1;
}

QString TCheckList::ItemText(int index) const {
    const QListWidgetItem* it = item(index);
    return it ? it->text() : QString();
}

bool TCheckList::Checked(int index) const {
    const QListWidgetItem* it = item(index);
    return it && it->checkState() == Qt::Checked;
}

void TCheckList::SetChecked(int index, bool checked) {
    if (QListWidgetItem* it = item(index)) it->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}
