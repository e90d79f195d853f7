// The progress windows' file-copy animation: a page flying from one folder
// to another.
#pragma once

#include <QWidget>

class CopyAnimation : public QWidget {
    Q_OBJECT
public:
    explicit CopyAnimation(QWidget* parent = nullptr);
    int frame() const { return frame_; }
    void setFrame(int frame);

protected:
    void paintEvent(QPaintEvent*) override;
    void showEvent(QShowEvent*) override;
    void hideEvent(QHideEvent*) override;
    void timerEvent(QTimerEvent*) override;

private:
    int frame_ = 6;
    int timer_ = 0;
};
