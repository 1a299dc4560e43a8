#pragma once

#include <QDialog>
#include <QPixmap>

namespace zx {

// The program's artwork with its name and version; a click opens the web site.
class AboutWindow final : public QDialog {
    Q_OBJECT

public:
    explicit AboutWindow(QWidget *owner);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    QPixmap m_artwork;
};

} // namespace zx
