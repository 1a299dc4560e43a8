#include "ownframe.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace zx {

namespace {

const QColor FrameGrey(56, 56, 60);
const QColor CaptionGrey(225, 225, 225);
// A press this close to an outer edge sizes the window, also on the title bar.
constexpr int GripPixels = 6;

} // namespace

OwnFrame::OwnFrame(QWidget *window)
    : QWidget(window)
{
    setObjectName(QStringLiteral("OwnFrame"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    hide();
    window->installEventFilter(this);
}

void OwnFrame::setMargins(const QMargins &margins)
{
    if (margins == m_margins)
        return;
    m_margins = margins;
    follow();
}

void OwnFrame::follow()
{
    setVisible(!m_margins.isNull());
    if (m_margins.isNull())
        return;
    const QRect whole(QPoint(0, 0), parentWidget()->size());
    setGeometry(whole);
    // Only the ring is the frame's: the inside's widgets take their own clicks.
    setMask(QRegion(whole).subtracted(whole.marginsRemoved(m_margins)));
    raise();
    update();
}

bool OwnFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == parentWidget() && !m_margins.isNull()) {
        if (event->type() == QEvent::Resize)
            follow();
        else if (event->type() == QEvent::WindowTitleChange)
            repaint(0, 0, width(), m_margins.top()); // a snapshot's caption must show before the grab
    }
    return QWidget::eventFilter(watched, event);
}

QRect OwnFrame::closeBox() const
{
    const int side = m_margins.top() - 2 * m_margins.left();
    return { width() - m_margins.right() - side, m_margins.left(), side, side };
}

Qt::Edges OwnFrame::edgesAt(QPoint at) const
{
    Qt::Edges edges;
    if (at.x() < std::max(GripPixels, m_margins.left()))
        edges |= Qt::LeftEdge;
    if (at.x() >= width() - std::max(GripPixels, m_margins.right()))
        edges |= Qt::RightEdge;
    if (at.y() < GripPixels)
        edges |= Qt::TopEdge;
    if (at.y() >= height() - std::max(GripPixels, m_margins.bottom()))
        edges |= Qt::BottomEdge;
    return edges;
}

void OwnFrame::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), FrameGrey);
    const QRect title(m_margins.left(), 0, width() - m_margins.left() - m_margins.right(), m_margins.top());
    const QRect box = closeBox();
    p.setPen(CaptionGrey);
    p.drawText(title.adjusted(m_margins.left(), 0, -box.width() - m_margins.left(), 0),
        Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, parentWidget()->windowTitle());
    p.drawRect(box.adjusted(0, 0, -1, -1));
    const QRect cross = box.adjusted(box.width() / 4, box.height() / 4, -box.width() / 4, -box.height() / 4);
    p.drawLine(cross.topLeft(), cross.bottomRight());
    p.drawLine(cross.topRight(), cross.bottomLeft());
}

void OwnFrame::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const QPoint at = event->position().toPoint();
    m_closePressed = closeBox().contains(at);
    if (m_closePressed)
        return;
    QWindow *handle = window()->windowHandle();
    if (handle == nullptr)
        return;
    if (const Qt::Edges edges = edgesAt(at))
        handle->startSystemResize(edges);
    else
        handle->startSystemMove();
}

void OwnFrame::mouseReleaseEvent(QMouseEvent *event)
{
    const bool close = m_closePressed && closeBox().contains(event->position().toPoint());
    m_closePressed = false;
    if (close)
        window()->close();
}

} // namespace zx
