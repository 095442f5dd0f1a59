#pragma once

#include <QWidget>

class QToolButton;

namespace tarnwell {

// A title bar drawn by the window itself, for a window system that leaves
// the title bar to the program: the icon, the title, a minimise and a close
// button, and nothing to maximise, since the window's size is fixed.
// Dragging the bar moves the window, as the window system's own would.
class TitleBar : public QWidget {
    Q_OBJECT
public:
    explicit TitleBar(QWidget* window);

    static constexpr int kHeight = 30;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QToolButton* minimise_;
    QToolButton* close_;
};

}  // namespace tarnwell
