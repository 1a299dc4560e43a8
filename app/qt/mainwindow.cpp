#include "mainwindow.h"

#include "crosshair.h"
#include "keymap.h"
#include "ownframe.h"
#include "screengrabber.h"
#include "windowsystem.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

namespace zx {

namespace {

QColor toQColor(const Colour &c)
{
    return { c.red, c.green, c.blue };
}

QRect toQRect(const PixelRect &r)
{
    return { r.left, r.top, r.width(), r.height() };
}

PixelRect toPixelRect(const QRect &r)
{
    return { r.left(), r.top(), r.left() + r.width(), r.top() + r.height() };
}

int mouseButtonCode(Qt::MouseButton button)
{
    switch (button) {
    case Qt::LeftButton:
        return 1;
    case Qt::RightButton:
        return 2;
    case Qt::MiddleButton:
        return 4;
    default:
        return 0;
    }
}

// A picture as the night colours show it.
QPixmap forNight(const QPixmap &day)
{
    QImage image = day.toImage().convertToFormat(QImage::Format_ARGB32);
    tintForNight(image.bits(), image.width(), image.height(), std::size_t(image.bytesPerLine()));
    return QPixmap::fromImage(image);
}

// Every window's colours at night: dim red on black, what is disabled dimmer.
QPalette nightPalette()
{
    const QColor red = toQColor(NightRed);
    const QColor dim = toQColor(NightDim);
    const QColor black = toQColor(NightBlack);
    QPalette night;
    for (const QPalette::ColorRole role : { QPalette::Window, QPalette::Base, QPalette::AlternateBase,
             QPalette::Button, QPalette::ToolTipBase, QPalette::Shadow, QPalette::Dark }) {
        night.setColor(role, black);
    }
    for (const QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText,
             QPalette::ToolTipText, QPalette::BrightText, QPalette::Link, QPalette::LinkVisited,
             QPalette::HighlightedText }) {
        night.setColor(role, red);
    }
    for (const QPalette::ColorRole role : { QPalette::Light, QPalette::Midlight, QPalette::Mid, QPalette::Highlight,
             QPalette::PlaceholderText }) {
        night.setColor(role, dim);
    }
    for (const QPalette::ColorRole role : { QPalette::WindowText, QPalette::Text, QPalette::ButtonText })
        night.setColor(QPalette::Disabled, role, dim);
    night.setColor(QPalette::HighlightedText, black);
    return night;
}

} // namespace

// The picture box: black, with the splash picture where the crosshair puts
// it, while the program starts.
class PictureBox final : public QWidget {
public:
    explicit PictureBox(QWidget *parent)
        : QWidget(parent)
        , m_day(QStringLiteral(":/zentrolux/splash.png"))
        , m_splash(m_day)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    [[nodiscard]] QSize pictureSize() const { return m_day.size(); }
    void setNight(bool night)
    {
        m_splash = night ? forNight(m_day) : m_day;
        update();
    }
    void setPicturePlace(const QRect &place)
    {
        if (place != m_place) {
            m_place = place;
            update();
        }
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        if (m_splash.isNull() || m_place.isEmpty())
            return;
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(m_place, m_splash);
    }

private:
    QPixmap m_day;
    QPixmap m_splash; // as shown: the day's picture or the night's
    QRect m_place;
};

MainWindow::MainWindow(WindowSystem &windowSystem)
    : QWidget(nullptr, Qt::Window)
    , m_windowSystem(windowSystem)
{
    setObjectName(QStringLiteral("frmZentrolux"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/zentrolux/icon16.png"));
    icon.addFile(QStringLiteral(":/zentrolux/icon32.png"));
    setWindowIcon(icon);
    setFocusPolicy(Qt::StrongFocus);
    QPalette pal = palette();
    m_look.colour = CrosshairRed;
    pal.setColor(QPalette::Window, toQColor(CrosshairRed));
    setPalette(pal);

    m_pic = new PictureBox(this);
    m_pic->setObjectName(QStringLiteral("Pic"));
    m_cmdSave = new QToolButton(this);
    m_cmdSave->setObjectName(QStringLiteral("cmdSave"));
    m_cmdSave->setToolTip(QString::fromUtf8(CameraButtonTip));
    m_cmdSave->setAutoFillBackground(true);
    // The window takes the keys; a focused button would turn Space into a
    // second snapshot when the key comes up.
    m_cmdSave->setFocusPolicy(Qt::NoFocus);
    connect(m_cmdSave, &QToolButton::clicked, this, [this] {
        if (m_core)
            m_core->cmdSaveClick();
    });
    buildMenu();
    m_ownFrame = new OwnFrame(this);

    m_windowSystem.prepare(*this);
    // A translucent window paints only its opaque parts.
    setAutoFillBackground(!m_windowSystem.translucent());
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
}

void MainWindow::attach(Crosshair &core)
{
    m_core = &core;
}

void MainWindow::buildMenu()
{
    m_popMenu = new QMenu(QStringLiteral("Popup Menu"), this);
    connect(m_popMenu, &QMenu::aboutToHide, this, [this] {
        if (m_core)
            m_core->menuClosed();
    });
    m_popMenu->setObjectName(QStringLiteral("mPopMenu"));
    std::vector<QMenu *> parents { m_popMenu };
    for (const MenuRow &row : popupMenuRows()) {
        parents.resize(std::size_t(row.depth) + 1);
        QMenu *parent = parents.back();
        if (row.isSeparator()) {
            parent->addSeparator();
        } else if (row.isTitle()) {
            parents.push_back(parent->addMenu(QString::fromUtf8(row.caption)));
        } else {
            QAction *action = parent->addAction(QString::fromUtf8(row.caption));
            action->setCheckable(row.checkable);
            const MenuCommand command = row.command;
            connect(action, &QAction::triggered, this, [this, command] {
                if (m_core)
                    m_core->choose(command);
            });
            if (row.checkable)
                m_checkable.emplace_back(command, action);
        }
    }
}

// --- What the crosshair asks of the window ---------------------------------

WindowBounds MainWindow::bounds() const
{
    const WindowPlace now = m_windowSystem.place(*this);
    return { toPixelRect(now.outer), toPixelRect(now.inside) };
}

int MainWindow::twipsPerPixelX() const
{
    const QScreen *s = screen();
    return twipsPerPixel(s ? s->logicalDotsPerInchX() : 96.0);
}

int MainWindow::twipsPerPixelY() const
{
    const QScreen *s = screen();
    return twipsPerPixel(s ? s->logicalDotsPerInchY() : 96.0);
}

std::vector<PixelRect> MainWindow::screens() const
{
    std::vector<PixelRect> all;
    for (const QScreen *s : QGuiApplication::screens())
        all.push_back(toPixelRect(s->geometry()));
    return all;
}

bool MainWindow::isNormal() const
{
    return !isMinimized() && !isMaximized() && !isFullScreen();
}

void MainWindow::resizeInside(int width, int height)
{
    resize(width, height);
}

PixelRect MainWindow::splashPictureSize() const
{
    const QSize size = m_pic->pictureSize();
    return { 0, 0, size.width(), size.height() };
}

void MainWindow::showFramed()
{
    show();
    // The window manager frames a new window a little after it is shown; the
    // remembered bounds must include that frame.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 500 && m_windowSystem.place(*this).frame().isNull()) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(2);
    }
}

void MainWindow::requestPlace(const PixelRect &outer)
{
    m_windowSystem.requestPlace(*this, toQRect(outer));
}

void MainWindow::setCaption(const std::string &caption)
{
    setWindowTitle(QString::fromStdString(caption));
}

void MainWindow::setLook(const WindowLook &look)
{
    const QSize picture(look.cameraPictureWidth, look.cameraPictureHeight);
    const bool nightChanged = look.night != m_night;
    if (nightChanged) {
        // Every window of the program: menus, messages, prompts, Help and About.
        m_night = look.night;
        if (!m_dayPalette)
            m_dayPalette = QApplication::palette();
        QApplication::setPalette(m_night ? nightPalette() : *m_dayPalette);
        QToolTip::setPalette(m_night ? nightPalette() : *m_dayPalette);
        m_pic->setNight(m_night);
        // The buttons of messages and prompts: some themes give them coloured icons, and the style
        // draws their bevels in greys of its own.
        qApp->setStyleSheet(m_night
                ? QStringLiteral("QDialogButtonBox { dialogbuttonbox-buttons-have-icons: 0; }"
                                 "QPushButton { background: %1; color: %2; border: 1px solid %3; padding: 4px 16px; }"
                                 "QPushButton:focus { border-color: %2; }")
                      .arg(toQColor(NightBlack).name(), toQColor(NightRed).name(), toQColor(NightDim).name())
                : QString());
        // The style draws the button's bevel in greys of its own.
        m_cmdSave->setStyleSheet(m_night ? QStringLiteral("QToolButton { background: %1; border: 1px solid %2; }")
                                               .arg(toQColor(NightBlack).name(), toQColor(NightDim).name())
                                         : QString());
    }
    if (m_cmdSave->iconSize() != picture || nightChanged) {
        const QPixmap camera = QPixmap(QStringLiteral(":/zentrolux/camera.png"))
                                   .scaled(picture, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        m_cmdSave->setIcon(m_night ? forNight(camera) : camera);
        m_cmdSave->setIconSize(picture);
    }
    if (look.buttonShown != !m_cmdSave->isHidden())
        m_cmdSave->setVisible(look.buttonShown);
    const QMargins own = m_windowSystem.ownFrame(*this);
    m_insideAt = QPoint(own.left(), own.top());
    m_ownFrame->setMargins(own);
    m_cmdSave->setGeometry(toQRect(look.button).translated(m_insideAt));
    m_pic->setGeometry(toQRect(look.pictureBox).translated(m_insideAt));
    m_pic->setPicturePlace(toQRect(look.splashPicture));
    m_pic->setVisible(look.splash);

    QRegion region;
    for (const PixelRect &r : look.shape.boxes)
        region += toQRect(r);
    for (const Band &b : look.shape.bands) {
        QPolygon polygon;
        for (const PixelPoint &p : b)
            polygon << QPoint(p.x, p.y);
        region += QRegion(polygon, Qt::WindingFill);
    }
    // The window manager draws the frame; only the inside is ours to shape.
    region.translate(-look.shape.frameLeft, -look.shape.frameTop);
    region &= QRect(0, 0, look.shape.inside.width(), look.shape.inside.height());
    // The window paints its lines on the crosshair colour, and, translucent,
    // clears what lies outside its opaque parts: with the same lines only the
    // parts that joined or left them change (the button's square, when it is
    // hidden for a snapshot and shown again), not the whole window.
    const bool sameLines = look.lines == m_look.lines && look.colour == m_look.colour;
    const QRegion changed = region.xored(m_opaque);
    m_look = look;
    m_opaque = region;
    m_windowSystem.setShape(*this, region);
    if (!sameLines)
        update();
    else if (!changed.isEmpty())
        update(changed.translated(m_insideAt));
}

ScreenPixels MainWindow::buttonPixels() const
{
    return screenPixels(m_cmdSave->grab().toImage());
}

void MainWindow::enableButton(bool enabled)
{
    m_cmdSave->setEnabled(enabled);
}

void MainWindow::setAbove(bool above)
{
    m_windowSystem.setAbove(*this, above);
}

std::string MainWindow::whyNotOnTop() const
{
    return m_windowSystem.whyNotOnTop(*this);
}

bool MainWindow::canKeepOnTopItself() const
{
    return m_windowSystem.canKeepOnTopItself();
}

std::string MainWindow::keepOnTopItself()
{
    return m_windowSystem.keepOnTopItself(*this);
}

void MainWindow::showChecks(const MenuChecks &checks)
{
    for (const auto &[command, action] : m_checkable)
        action->setChecked(checks.isChecked(command));
}

void MainWindow::popupMenu(PixelPoint atInside)
{
    m_popMenu->popup(mapToGlobal(QPoint(atInside.x, atInside.y) + m_insideAt));
}

void MainWindow::letEventsRun()
{
    QApplication::processEvents();
}

void MainWindow::pauseWithoutInput(int milliseconds)
{
    repaint();
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

void MainWindow::closeSoon()
{
    // From the event loop: at the end of start-up it is not running yet,
    // and the program would not end with its window.
    QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

// --- Events ----------------------------------------------------------------

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_core)
        m_core->formResize();
}

void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (m_core && event->type() == QEvent::ActivationChange && isActiveWindow())
        m_core->formActivate();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (m_core && !m_core->closeRequested())
        event->ignore();
    else
        event->accept();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (m_core == nullptr)
        return QWidget::eventFilter(watched, event);
    if (watched == m_cmdSave && event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QPoint at = mouse->position().toPoint();
        m_core->cmdSaveMouseDown(mouseButtonCode(mouse->button()), { at.x(), at.y() });
        return false;
    }
    if (event->type() == QEvent::KeyPress) {
        // Every key-down of this window, whichever child has the focus; the
        // application sees it once per widget it passes, so take the first.
        auto *w = qobject_cast<QWidget *>(watched);
        if (w != nullptr && w->window() == this && QApplication::focusWidget() == w) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const VirtualKey vkey = toVirtualKey(key->key(), key->modifiers());
            m_core->keyDown(vkey.code, vkey.mask);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::paintEvent(QPaintEvent *)
{
    // The background is the crosshair colour, so each band shows its line and
    // the pixel beside it in red; the lines draw over it all the same.
    QPainter p(this);
    const QColor colour = toQColor(m_look.colour);
    p.translate(m_insideAt);
    if (m_windowSystem.translucent()) {
        // A compositor draws the window with its alpha: the see-through parts
        // are transparent, the shape's parts the crosshair colour.
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(rect(), Qt::transparent);
        for (const QRect &r : m_opaque)
            p.fillRect(r, colour);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        p.fillRect(rect(), colour);
    }
    for (const DrawnLine &l : m_look.lines) {
        p.setPen(QPen(colour, l.width));
        p.drawLine(QPointF(l.x1, l.y1), QPointF(l.x2, l.y2));
    }
}

} // namespace zx
