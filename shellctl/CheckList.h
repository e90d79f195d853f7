// TCheckList: a list box with a check box per line (no grey state) and a
// per-line checked flag.
#pragma once

#include <QListWidget>

class TCheckList : public QListWidget {
    Q_OBJECT
public:
    explicit TCheckList(QWidget* parent = nullptr);

    static constexpr int ItemHeight = 16;

    // Adds a line, unchecked unless checked is true; returns its index.
    int AddItem(const QString& text, bool checked = false);
    int ItemCount() const { return count(); }
    QString ItemText(int index) const;
    // Out-of-range indexes read false and are ignored when set.
    bool Checked(int index) const;
    void SetChecked(int index, bool checked);
    void Clear() { clear(); }
};
