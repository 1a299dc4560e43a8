#include "helpwindow.h"

#include "infotext.h"
#include "numbers.h"

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>

namespace zx {

HelpWindow::HelpWindow(QSize frameEstimate, QWidget *parent)
    : QDialog(parent,
        Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint
            | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmZentroluxHelp"));
    setModal(true);
    m_txtHelp = new QPlainTextEdit(this);
    m_txtHelp->setObjectName(QStringLiteral("txtHelp"));
    m_txtHelp->setReadOnly(true);
    m_txtHelp->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_txtHelp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    QScreen *screen = QGuiApplication::primaryScreen();
    const int tppX = twipsPerPixel(screen ? screen->logicalDotsPerInchX() : 96.0);
    const int tppY = twipsPerPixel(screen ? screen->logicalDotsPerInchY() : 96.0);
    const InfoSize inside = helpInsideSize(tppX, tppY);
    resize(inside.width, inside.height);
    if (screen != nullptr) {
        const QRect area = screen->geometry();
        const PixelPoint at = centredOnScreen({ area.left(), area.top(), area.right() + 1, area.bottom() + 1 },
            { width() + frameEstimate.width(), height() + frameEstimate.height() }, tppX, tppY);
        move(at.x, at.y);
    }
    setWindowTitle(QString::fromStdString(helpCaption()));
    // The text keeps CR LF breaks; the editor wants plain line feeds.
    m_txtHelp->setPlainText(
        QString::fromStdString(helpText()).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
}

void HelpWindow::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    m_txtHelp->setGeometry(0, 0, qMax(0, width()), qMax(0, height()));
}

} // namespace zx
