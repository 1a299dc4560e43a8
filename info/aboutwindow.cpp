#include "aboutwindow.h"

#include "infotext.h"
#include "numbers.h"

#include <QDesktopServices>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>

namespace zx {

namespace {

constexpr QPoint HandHotSpot(12, 1);

} // namespace

AboutWindow::AboutWindow(QWidget *owner)
    : QDialog(owner,
        Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
    , m_artwork(QStringLiteral(":/zentrolux/about.png"))
{
    setObjectName(QStringLiteral("frmAbout"));
    setModal(true);
    setCursor(QCursor(QPixmap(QStringLiteral(":/zentrolux/hand.png")), HandHotSpot.x(), HandHotSpot.y()));
    QScreen *screen
        = owner != nullptr && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    // The inside is exactly the artwork at its size on the desk: its pixels
    // are those of a 96-dpi screen. The frame is the window manager's.
    const QSize artwork = m_artwork.isNull() ? QSize(395, 111) : m_artwork.size();
    const int tppX = twipsPerPixel(screen != nullptr ? screen->logicalDotsPerInchX() : 96.0);
    const int tppY = twipsPerPixel(screen != nullptr ? screen->logicalDotsPerInchY() : 96.0);
    const InfoSize size = aboutInsideSize({ artwork.width(), artwork.height() }, tppX, tppY);
    const QSize inside(size.width, size.height);
    setFixedSize(inside);
    if (!m_artwork.isNull() && m_artwork.size() != inside)
        m_artwork = m_artwork.scaled(inside, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    if (screen != nullptr) {
        const QRect area = screen->geometry();
        const QSize frame = owner != nullptr ? owner->frameGeometry().size() - owner->size() : QSize();
        const PixelPoint at = centredOnScreen({ area.left(), area.top(), area.right() + 1, area.bottom() + 1 },
            { inside.width() + frame.width(), inside.height() + frame.height() }, tppX, tppY);
        move(at.x, at.y);
    }
    setWindowTitle(QString::fromStdString(aboutTitle()));
}

void AboutWindow::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.drawPixmap(0, 0, m_artwork);
}

void AboutWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(WebSite)));
    QDialog::mousePressEvent(event);
}

} // namespace zx
