#pragma once

#include <QMargins>
#include <QWidget>

namespace zx {

// The frame the program draws itself where the window manager draws none: a
// title bar with the window's caption and a close box, and borders. A press
// on the title bar or a border lets the window manager move or size the
// window. It covers the window's edges only; the inside stays the window's.
class OwnFrame final : public QWidget {
public:
    explicit OwnFrame(QWidget *window);

    // Shows the frame with these widths, or hides it when they are all 0.
    void setMargins(const QMargins &margins);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void follow();
    [[nodiscard]] QRect closeBox() const;
    [[nodiscard]] Qt::Edges edgesAt(QPoint at) const;

    QMargins m_margins;
    bool m_closePressed = false;
};

} // namespace zx
