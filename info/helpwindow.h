#pragma once

#include <QDialog>

class QPlainTextEdit;

namespace zx {

// The help text in a resizable window, centred on the screen.
class HelpWindow final : public QDialog {
    Q_OBJECT

public:
    // frameEstimate: the window manager's frame around a window, used to
    // centre the outer window before it has its own frame.
    explicit HelpWindow(QSize frameEstimate, QWidget *parent = nullptr);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    QPlainTextEdit *m_txtHelp = nullptr;
};

} // namespace zx
