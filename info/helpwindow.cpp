#include "helpwindow.h"

#include "infotext.h"
#include "numbers.h"

#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScreen>

namespace zx {

namespace {

constexpr int InsideWidthTwips = 7215;
constexpr int InsideHeightTwips = 5400;

} // namespace

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
    // Rounded, not cut: at 200 % the 7215 twips are 901.9 pixels.
    resize(toInt32Rounded(double(InsideWidthTwips) / tppX), toInt32Rounded(double(InsideHeightTwips) / tppY));

    if (screen != nullptr) {
        const QRect area = screen->geometry();
        const int outerW = (width() + frameEstimate.width()) * tppX;
        const int outerH = (height() + frameEstimate.height()) * tppY;
        const int left = centredOrigin(double(area.width()) * tppX, outerW);
        const int top = centredOrigin(double(area.height()) * tppY, outerH);
        move(area.x() + toInt32Rounded(double(left) / tppX), area.y() + toInt32Rounded(double(top) / tppY));
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
