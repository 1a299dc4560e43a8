#include "mainwindow.h"

#include "aboutwindow.h"
#include "helpwindow.h"
#include "keymap.h"
#include "numbers.h"
#include "placement.h"
#include "screengrabber.h"
#include "settings.h"
#include "shape.h"
#include "snapshotnames.h"
#include "snapshotsaver.h"
#include "windowsystem.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <ctime>

namespace zx {

namespace {

const QColor CrosshairRed(192, 0, 0);

// X11 cannot hold windows beyond this many pixels; absurd stored sizes stop here.
constexpr int MaxWindowPixels = 16384;
constexpr int MaxWindowOffset = 32000;

void letEventsRun()
{
    QApplication::processEvents();
}

// Waits without taking user input: timers and repaints go on.
void pauseWithoutInput(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

} // namespace

// The picture box: the splash picture while the program starts.
class PictureBox final : public QWidget {
public:
    explicit PictureBox(QWidget *parent)
        : QWidget(parent)
        , m_splash(QStringLiteral(":/zentrolux/splash.png"))
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::black);
        if (m_splash.isNull())
            return;
        // The splash is shown whole, scaled into the visible inside of the window.
        const QSize area = parentWidget() ? parentWidget()->size() : size();
        const QSize fitted = m_splash.size().scaled(area, Qt::KeepAspectRatio);
        const QRect target(
            QPoint((area.width() - fitted.width()) / 2, (area.height() - fitted.height()) / 2), fitted);
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        p.drawPixmap(target, m_splash);
    }

private:
    QPixmap m_splash;
};

MainWindow::MainWindow(ProgramPlace place)
    : QWidget(nullptr, Qt::Window)
    , m_place(std::move(place))
{
    setObjectName(QStringLiteral("frmZentrolux"));
    QIcon icon;
    icon.addFile(QStringLiteral(":/zentrolux/icon16.png"));
    icon.addFile(QStringLiteral(":/zentrolux/icon32.png"));
    setWindowIcon(icon);
    setFocusPolicy(Qt::StrongFocus);

    m_pic = new PictureBox(this);
    m_pic->setObjectName(QStringLiteral("Pic"));

    m_captureTimer = new QTimer(this);
    m_captureTimer->setObjectName(QStringLiteral("CaptureTimer"));
    // Short intervals are kept as asked rather than grouped with other timers.
    m_captureTimer->setTimerType(Qt::PreciseTimer);
    connect(m_captureTimer, &QTimer::timeout, this, &MainWindow::captureTimerTimer);

    m_cmdSave = new QToolButton(this);
    m_cmdSave->setObjectName(QStringLiteral("cmdSave"));
    // Sized in twips, so it keeps its size on the desk on a screen of any density.
    const QSize picture(toInt32Rounded(double(CameraPictureTwips) / twipsPerPixelX()),
        toInt32Rounded(double(CameraPictureTwips) / twipsPerPixelY()));
    m_cmdSave->setIcon(QPixmap(QStringLiteral(":/zentrolux/camera.png"))
                           .scaled(picture, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    m_cmdSave->setIconSize(picture);
    m_cmdSave->setFixedSize(toInt32Rounded(double(CameraButtonTwips) / twipsPerPixelX()),
        toInt32Rounded(double(CameraButtonTwips) / twipsPerPixelY()));
    m_cmdSave->setToolTip(QStringLiteral("Click to save image to file, or Right-Click for options"));
    m_cmdSave->setAutoFillBackground(true);
    // The window takes the keys; a focused button would turn Space into a
    // second snapshot when the key comes up.
    m_cmdSave->setFocusPolicy(Qt::NoFocus);
    m_cmdSave->installEventFilter(this);
    connect(m_cmdSave, &QToolButton::clicked, this, &MainWindow::cmdSaveClick);

    buildMenu();
    m_windowSystem = makeWindowSystem();
    m_windowSystem->prepare(*this);
    m_grabber = makeScreenGrabber([this] { m_windowSystem->sync(); });
    m_saver = new SnapshotSaver(m_place.writerFolders);
    qApp->installEventFilter(this);

    // Design size and place, in pixels of the screen the window opens on.
    const int tppX = twipsPerPixelX();
    const int tppY = twipsPerPixelY();
    // Placed once the window manager has framed it: a position asked for
    // before that is read differently by different window managers.
    resize(
        toInt32Rounded(double(DesignInsideWidth) / tppX), toInt32Rounded(double(DesignInsideHeight) / tppY));
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    delete m_saver;
}

void MainWindow::buildMenu()
{
    m_popMenu = new QMenu(QStringLiteral("Popup Menu"), this);
    m_popMenu->setObjectName(QStringLiteral("mPopMenu"));
    const auto item = [this](QMenu *parent, const char *caption, bool checkable = false) {
        QAction *a = parent->addAction(QString::fromUtf8(caption));
        a->setCheckable(checkable);
        return a;
    };
    m_popHelp = item(m_popMenu, "Help");
    m_popAbout = item(m_popMenu, "About Zentrolux");
    m_popMenu->addSeparator();
    QMenu *crossHair = m_popMenu->addMenu(QStringLiteral("CrossHair"));
    m_popNone = item(crossHair, "None", true);
    m_popCross = item(crossHair, "Cross", true);
    m_popMenu->addSeparator();
    QMenu *capture = m_popMenu->addMenu(QStringLiteral("Capture"));
    m_popForm = item(capture, "Form Area", true);
    m_popClient = item(capture, "Client Area", true);
    m_popMenu->addSeparator();
    QMenu *quality = m_popMenu->addMenu(QStringLiteral("Jpeg Quality"));
    for (int i = 0; i < 10; ++i) {
        const int q = 100 - 10 * i;
        const QString caption = q == 100 ? QStringLiteral("100 (Best/Largest)")
            : q == 10                    ? QStringLiteral("10 (Worst/Smallest)")
                                         : QString::number(q);
        m_popQual[i] = quality->addAction(caption);
        m_popQual[i]->setCheckable(true);
        connect(m_popQual[i], &QAction::triggered, this, [this, q] { setQuality(q); });
    }
    m_popMenu->addSeparator();
    QMenu *sequence = m_popMenu->addMenu(QStringLiteral("Sequence"));
    m_popStart = item(sequence, "Start Capture Sequence");
    m_popMenu->addSeparator();
    QMenu *images = m_popMenu->addMenu(QStringLiteral("Images"));
    m_popExplore = item(images, "Explore Images Folder");
    images->addSeparator();
    m_popClear = item(images, "Clear All Images");
    m_popMenu->addSeparator();
    QMenu *sound = m_popMenu->addMenu(QStringLiteral("Sound"));
    m_popSoundOn = item(sound, "On", true);
    m_popSoundOff = item(sound, "Off", true);

    m_popCross->setChecked(true);
    m_popForm->setChecked(true);

    connect(m_popHelp, &QAction::triggered, this, &MainWindow::mPopHelpClick);
    connect(m_popAbout, &QAction::triggered, this, &MainWindow::mPopAboutClick);
    connect(m_popNone, &QAction::triggered, this, [this] { setPair(m_popNone, m_popCross, true); });
    connect(m_popCross, &QAction::triggered, this, [this] { setPair(m_popCross, m_popNone, true); });
    connect(m_popForm, &QAction::triggered, this, [this] { setPair(m_popForm, m_popClient, true); });
    connect(m_popClient, &QAction::triggered, this, [this] { setPair(m_popClient, m_popForm, true); });
    connect(m_popSoundOn, &QAction::triggered, this, [this] { setPair(m_popSoundOn, m_popSoundOff, false); });
    connect(
        m_popSoundOff, &QAction::triggered, this, [this] { setPair(m_popSoundOff, m_popSoundOn, false); });
    connect(m_popStart, &QAction::triggered, this, &MainWindow::mPopStartClick);
    connect(m_popExplore, &QAction::triggered, this, &MainWindow::mPopExploreClick);
    connect(m_popClear, &QAction::triggered, this, &MainWindow::mPopClearClick);
}

QString MainWindow::settingsFile() const
{
    return m_place.settingsFile;
}

QString MainWindow::imagesFolder() const
{
    return m_place.imagesFolder;
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

// --- Start-up and shutdown -------------------------------------------------

void MainWindow::waitForFrame()
{
    // The window manager frames a new window a little after it is shown; the
    // remembered bounds must include that frame.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 500 && m_windowSystem->place(*this).frame().isNull()) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
        QThread::msleep(2);
    }
}

void MainWindow::formLoad()
{
    QPalette pal = palette();
    pal.setColor(QPalette::Window, CrosshairRed);
    setPalette(pal);
    // A translucent window paints only its opaque parts.
    setAutoFillBackground(!m_windowSystem->translucent());
    setWindowTitle(m_place.name);
    QDir::setCurrent(m_place.directory);

    m_loading = true;
    m_splashing = true;
    formActivate();
    show();
    waitForFrame();
    // The design puts the inside, not the frame, at its place on the screen.
    const QMargins frame = frameMargins();
    const QRect framed = outerRect();
    placeOuter(toInt32Rounded(double(DesignInsideLeft) / twipsPerPixelX()) - frame.left(),
        toInt32Rounded(double(DesignInsideTop) / twipsPerPixelY()) - frame.top(), framed.width(),
        framed.height());

    rememberBounds(outerBounds());
    // The file's values replace these; what it lacks keeps the bounds just taken.
    Settings s = settingsNow();
    readSettings(QFile::encodeName(settingsFile()).toStdString(), s);
    applySettings(s);

    const TwipsRect designBounds = outerBounds();
    keepReachable(designBounds);
    placeOuter(toInt32Rounded(double(m_state.formLeft) / twipsPerPixelX()),
        toInt32Rounded(double(m_state.formTop) / twipsPerPixelY()), designBounds.width / twipsPerPixelX(),
        designBounds.height / twipsPerPixelY());
    letEventsRun();
    repaint();
    pauseWithoutInput(SplashMilliseconds);
    m_splashing = false;
    m_pic->hide();
    // The inside turns see-through at once: placing the window below lets
    // events run, and the picture must not give way to a plain red inside.
    formActivate();
    placeOuter(toInt32Rounded(double(m_state.formLeft) / twipsPerPixelX()),
        toInt32Rounded(double(m_state.formTop) / twipsPerPixelY()),
        toInt32Rounded(double(m_state.formWidth) / twipsPerPixelX()),
        toInt32Rounded(double(m_state.formHeight) / twipsPerPixelY()));
    formResize();
    repaint();
    setQuality(m_state.quality);
    m_loading = false;
    closeIfAsked();
}

void MainWindow::closeIfAsked()
{
    if (m_closePending && !m_loading && !m_snapshotRunning) {
        m_closePending = false;
        // From the event loop: at the end of start-up it is not running yet,
        // and the program would not end with its window.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A close request (the close box, a termination signal) that comes while
    // the program starts or while a snapshot runs, at its pauses or under its
    // message box, is kept and carried out as soon as that is over, so that
    // the settings are written and no sequence outlives it.
    if (m_loading || m_snapshotRunning) {
        m_closePending = true;
        if (m_snapshotRunning)
            stopCaptureSequence();
        event->ignore();
        return;
    }
    if (!m_closed) {
        m_closed = true;
        formQueryUnload();
        formUnload();
    }
    event->accept();
}

void MainWindow::keepReachable(const TwipsRect &designBounds)
{
    // Stored bounds are used as they are while the window fits its screen and
    // shows its camera button; a hand-edited or stale file cannot open it
    // off every screen, larger than the screen or too small to reach the menu.
    const int tppX = twipsPerPixelX();
    const int tppY = twipsPerPixelY();
    StoredPlacement in;
    in.left = double(m_state.formLeft) / tppX;
    in.top = double(m_state.formTop) / tppY;
    in.width = double(m_state.formWidth) / tppX;
    in.height = double(m_state.formHeight) / tppY;
    for (const QScreen *s : QGuiApplication::screens()) {
        const QRect g = s->geometry();
        in.screens.push_back({ g.left(), g.top(), g.left() + g.width(), g.top() + g.height() });
    }
    const QMargins frame = frameMargins();
    in.frame = { frame.left(), frame.top(), frame.right(), frame.bottom() };
    in.buttonSize = m_cmdSave->width();
    in.designPlace = { toInt32Rounded(double(designBounds.left) / tppX),
        toInt32Rounded(double(designBounds.top) / tppY) };
    const PixelRect placed = placeStoredBounds(in);
    // Bounds that were usable stay exactly as stored, to the twip.
    if (placed.left != toInt32Rounded(in.left) || placed.top != toInt32Rounded(in.top)
        || placed.width() != toInt32Rounded(in.width) || placed.height() != toInt32Rounded(in.height)) {
        rememberBounds(
            { placed.left * tppX, placed.top * tppY, placed.width() * tppX, placed.height() * tppY });
    }
}

void MainWindow::formQueryUnload()
{
    if (!isMinimized() && !isMaximized() && !isFullScreen())
        rememberBounds(outerBounds());
    m_captureTimer->setInterval(0);
    m_captureTimer->stop();
}

void MainWindow::formUnload()
{
    if (m_place.installed)
        QDir().mkpath(QFileInfo(settingsFile()).absolutePath());
    // A folder that refuses the file keeps the old one; nothing to tell.
    (void)writeSettings(QFile::encodeName(settingsFile()).toStdString(), settingsNow());
}

void MainWindow::rememberBounds(const TwipsRect &r)
{
    m_state.formTop = r.top;
    m_state.formLeft = r.left;
    m_state.formWidth = r.width;
    m_state.formHeight = r.height;
}

Settings MainWindow::settingsNow() const
{
    Settings s;
    s.formTop = m_state.formTop;
    s.formLeft = m_state.formLeft;
    s.formWidth = m_state.formWidth;
    s.formHeight = m_state.formHeight;
    s.quality = m_state.quality;
    s.pixels = m_state.pixels;
    s.interval = m_state.interval;
    // The marks are the options' only record.
    s.crossHair = !m_popNone->isChecked();
    s.captureClient = !m_popForm->isChecked();
    s.soundOn = !m_popSoundOff->isChecked();
    return s;
}

void MainWindow::applySettings(const Settings &s)
{
    rememberBounds({ s.formLeft, s.formTop, s.formWidth, s.formHeight });
    m_state.quality = s.quality;
    m_state.pixels = s.pixels;
    m_state.interval = s.interval;
    m_popCross->setChecked(s.crossHair);
    m_popNone->setChecked(!s.crossHair);
    m_popClient->setChecked(s.captureClient);
    m_popForm->setChecked(!s.captureClient);
    m_popSoundOn->setChecked(s.soundOn);
    m_popSoundOff->setChecked(!s.soundOn);
}

void MainWindow::setTopMost(bool onTop)
{
    m_windowSystem->setAbove(*this, onTop);
}

// --- Layout and shape -----------------------------------------------------

void MainWindow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    formResize();
}

void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        formActivate();
}

WindowTwips MainWindow::windowTwips() const
{
    const int tppX = twipsPerPixelX();
    const int tppY = twipsPerPixelY();
    const WindowPlace now = m_windowSystem->place(*this);
    return { double(now.outer.width()) * tppX, double(now.outer.height()) * tppY,
        double(now.inside.width()) * tppX, double(now.inside.height()) * tppY, tppX, tppY };
}

void MainWindow::formResize()
{
    const int tppX = twipsPerPixelX();
    const int tppY = twipsPerPixelY();
    if (m_state.resizing)
        return;
    m_state.resizing = true;

    LayoutInput in;
    in.window = windowTwips();
    in.pixels = m_state.pixels;
    in.captureForm = m_popForm->isChecked();
    in.buttonWidth = double(m_cmdSave->width()) * tppX;
    const LayoutResult out = computeLayout(in);

    const auto place = [](Line &line, const std::optional<LineGeometry> &g) {
        if (g)
            line.geometry = *g;
    };
    place(m_vLine1, out.vLine1);
    place(m_vLine2, out.vLine2);
    place(m_hLine1, out.hLine1);
    place(m_hLine2, out.hLine2);
    m_pic->setGeometry(0, 0, std::clamp(toInt32Rounded(out.picWidth / tppX), 0, MaxWindowPixels),
        std::clamp(toInt32Rounded(out.picHeight / tppY), 0, MaxWindowPixels));
    m_cmdSave->move(toInt32Rounded(out.buttonLeft / tppX), toInt32Rounded(out.buttonTop / tppY));

    formActivate();
    setTopMost(true);
    m_state.resizing = false;
}

void MainWindow::formActivate()
{
    const bool cross = m_popCross->isChecked();
    if (cross || m_popNone->isChecked()) {
        for (Line *line : { &m_vLine1, &m_vLine2, &m_hLine1, &m_hLine2 })
            line->visible = cross;
    }

    ShapeInput in;
    in.window = windowTwips();
    const int tppX = in.window.tppX;
    const int tppY = in.window.tppY;
    const auto box = [&](QWidget *w) {
        ShapeControl c;
        c.kind = ShapeControl::Kind::Box;
        c.visible = !w->isHidden();
        c.left = double(w->x()) * tppX;
        c.top = double(w->y()) * tppY;
        c.width = double(w->width()) * tppX;
        c.height = double(w->height()) * tppY;
        return c;
    };
    const auto line = [](const Line &l) {
        ShapeControl c;
        c.kind = ShapeControl::Kind::Line;
        c.visible = l.visible;
        c.line = l.geometry;
        c.lineWidth = l.borderWidth;
        return c;
    };
    ShapeControl timer;
    timer.kind = ShapeControl::Kind::Timer;
    in.controls = { box(m_pic), timer, box(m_cmdSave), line(m_vLine2), line(m_vLine1), line(m_hLine2),
        line(m_hLine1) };
    const Shape shape = computeShape(in);

    QRegion region;
    for (const PixelRect &r : shape.boxes)
        region += QRect(r.left, r.top, r.width(), r.height());
    for (const Band &b : shape.bands) {
        QPolygon polygon;
        for (const PixelPoint &p : b)
            polygon << QPoint(p.x, p.y);
        region += QRegion(polygon, Qt::WindingFill);
    }
    // The window manager draws the frame; only the inside is ours to shape.
    region.translate(-shape.frameLeft, -shape.frameTop);
    region &= QRect(0, 0, shape.inside.width(), shape.inside.height());
    m_opaque = region;
    m_windowSystem->setShape(*this, region);
    update();
}

void MainWindow::paintEvent(QPaintEvent *)
{
    // The background is the crosshair colour, so each band shows its line and
    // the pixel beside it in red; the lines draw over it all the same.
    QPainter p(this);
    if (m_windowSystem->translucent()) {
        // A compositor draws the window with its alpha: the see-through parts
        // are transparent, the shape's parts the crosshair colour.
        p.setCompositionMode(QPainter::CompositionMode_Source);
        p.fillRect(rect(), Qt::transparent);
        for (const QRect &r : m_opaque)
            p.fillRect(r, CrosshairRed);
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        p.fillRect(rect(), CrosshairRed);
    }
    const int tppX = twipsPerPixelX();
    const int tppY = twipsPerPixelY();
    for (const Line *l : { &m_vLine1, &m_vLine2, &m_hLine1, &m_hLine2 }) {
        if (!l->visible)
            continue;
        p.setPen(QPen(CrosshairRed, l->borderWidth));
        p.drawLine(QPointF(l->geometry.x1 / tppX, l->geometry.y1 / tppY),
            QPointF(l->geometry.x2 / tppX, l->geometry.y2 / tppY));
    }
}

// --- Menu -----------------------------------------------------------------

void MainWindow::cmdSaveMouseDown(Qt::MouseButton button, const QPoint &pointer)
{
    if (button != Qt::RightButton)
        return;
    m_popMenu->popup(m_cmdSave->mapToGlobal(pointer));
}

void MainWindow::setPair(QAction *on, QAction *off, bool relayout)
{
    on->setChecked(true);
    off->setChecked(false);
    if (relayout)
        formResize();
    letEventsRun();
}

void MainWindow::setQuality(std::int32_t quality)
{
    for (QAction *a : m_popQual)
        a->setChecked(false);
    m_state.quality = quality;
    if (quality >= 10 && quality <= 100 && quality % 10 == 0)
        m_popQual[(100 - quality) / 10]->setChecked(true);
    letEventsRun();
}

void MainWindow::mPopHelpClick()
{
    setTopMost(false);
    {
        const WindowPlace now = m_windowSystem->place(*this);
        HelpWindow help(now.outer.size() - now.inside.size());
        help.exec();
    }
    setTopMost(true);
}

void MainWindow::mPopAboutClick()
{
    setTopMost(false);
    {
        AboutWindow about(this);
        about.exec();
    }
    setTopMost(true);
}

// --- Keys -----------------------------------------------------------------

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_cmdSave && event->type() == QEvent::MouseButtonPress) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        cmdSaveMouseDown(mouse->button(), mouse->position().toPoint());
        return false;
    }
    if (event->type() == QEvent::KeyPress && !m_splashing) {
        auto *w = qobject_cast<QWidget *>(watched);
        // Esc on the message of a failed snapshot stops the sequence as Esc
        // on the window does; OK and Return leave it running.
        if (m_problemBox && w != nullptr && w->window() == m_problemBox
            && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
            stopCaptureSequence();
            return true;
        }
        // Every key-down of this window, whichever child has the focus; the
        // application sees it once per widget it passes, so take the first.
        if (w != nullptr && w->window() == this && QApplication::focusWidget() == w) {
            const auto *key = static_cast<QKeyEvent *>(event);
            const VirtualKey vkey = toVirtualKey(key->key(), key->modifiers());
            formKeyDown(*this, vkey.code, vkey.mask);
        }
    }
    return QWidget::eventFilter(watched, event);
}

TwipsRect MainWindow::outerBounds() const
{
    const QRect r = outerRect();
    const int tppX = twipsPerPixelX();
    const int tppY = twipsPerPixelY();
    return { r.x() * tppX, r.y() * tppY, r.width() * tppX, r.height() * tppY };
}

QMargins MainWindow::frameMargins() const
{
    return m_windowSystem->place(*this).frame();
}

QRect MainWindow::outerRect() const
{
    return m_windowSystem->place(*this).outer;
}

void MainWindow::placeOuter(int leftPx, int topPx, int widthPx, int heightPx)
{
    const QMargins m = frameMargins();
    const int w = std::clamp(widthPx - m.left() - m.right(), 1, MaxWindowPixels);
    const int h = std::clamp(heightPx - m.top() - m.bottom(), 1, MaxWindowPixels);
    const int left = std::clamp(leftPx, -MaxWindowOffset, MaxWindowOffset);
    const int top = std::clamp(topPx, -MaxWindowOffset, MaxWindowOffset);
    m_windowSystem->requestPlace(*this, QRect(left, top, w + m.left() + m.right(), h + m.top() + m.bottom()));
}

void MainWindow::setOuterBounds(const TwipsRect &r)
{
    placeOuter(toInt32Rounded(double(r.left) / twipsPerPixelX()),
        toInt32Rounded(double(r.top) / twipsPerPixelY()), toInt32Rounded(double(r.width) / twipsPerPixelX()),
        toInt32Rounded(double(r.height) / twipsPerPixelY()));
}

void MainWindow::setOuterWidth(int width)
{
    const QRect r = outerRect();
    placeOuter(r.x(), r.y(), toInt32Rounded(double(width) / twipsPerPixelX()), r.height());
}

void MainWindow::setOuterHeight(int height)
{
    const QRect r = outerRect();
    placeOuter(r.x(), r.y(), r.width(), toInt32Rounded(double(height) / twipsPerPixelY()));
}

void MainWindow::stopCaptureSequence()
{
    m_captureTimer->setInterval(0);
    m_captureTimer->stop();
    setWindowTitle(m_place.name);
    // A failed sequence snapshot's message would otherwise keep the user from
    // ever stopping a sequence that fails at every tick; a snapshot waiting
    // for the desktop ends without a picture.
    if (m_problemBox)
        m_problemBox->done(QMessageBox::Cancel);
    m_grabber->cancel();
}

// --- Snapshots --------------------------------------------------------------

void MainWindow::cmdSaveClick()
{
    runSnapshot(false);
}

void MainWindow::takeSequenceSnapshot()
{
    runSnapshot(true);
}

void MainWindow::runSnapshot(bool sequence)
{
    // One snapshot at a time: a tick or key that arrives while one runs (at
    // its pauses or under its message box) is dropped, not nested.
    if (m_snapshotRunning || m_splashing)
        return;
    m_snapshotRunning = true;
    QElapsedTimer clock;
    clock.start();

    const WindowPlace before = m_windowSystem->place(*this);
    const QRect buttonArea(before.inside.topLeft() + m_cmdSave->pos(), m_cmdSave->size());
    const QImage buttonPainted = m_cmdSave->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const auto showButtonAgain = [this] {
        m_cmdSave->setEnabled(true);
        m_cmdSave->show();
        formResize();
        letEventsRun();
        m_snapshotRunning = false;
        closeIfAsked();
    };
    m_cmdSave->hide();
    formResize();
    letEventsRun();
    // Esc handled just now has stopped the sequence: no snapshot after it.
    if (sequence && !m_captureTimer->isActive()) {
        showButtonAgain();
        return;
    }
    m_saver->timings().hideAndReshape = clock.nsecsElapsed() / 1000;

    const std::time_t now = std::time(nullptr);
    std::tm local {};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    setWindowTitle(QString::fromStdString(momentCaption(m_place.name.toStdString(), local)));
    if (m_popSoundOn->isChecked())
        m_saver->playClick();

    const QString folder = imagesFolder();
    if (m_place.installed)
        QDir().mkpath(folder); // in the user's pictures folder nobody else would make it
    const auto number = m_numbering.next(QFile::encodeName(folder).toStdString());
    m_cmdSave->setEnabled(false);

    // The caption set above is part of a Form Area picture; the grab waits
    // for the display to show it.
    const WindowPlace grabbed = m_windowSystem->place(*this);
    const qint64 grabStart = clock.nsecsElapsed();
    GrabResult shot = m_grabber->grab(
        { m_popForm->isChecked() ? grabbed.outer : grabbed.inside, buttonArea, buttonPainted, winId() });
    m_saver->timings().grab = (clock.nsecsElapsed() - grabStart) / 1000;

    std::int64_t written = 0;
    switch (shot.outcome) {
    case GrabResult::Outcome::Taken:
        m_lastPicture = std::move(shot.picture);
        if (number)
            written = m_saver->saveJpeg(m_lastPicture, folder, *number, m_state.quality);
        if (written == 0)
            showSnapshotProblem(QStringLiteral("Problem saving snapshot"));
        break;
    case GrabResult::Outcome::Impossible:
        // Never a picture the screen does not show. Told once: a sequence
        // would only fail the same way at every tick.
        if (sequence)
            stopCaptureSequence();
        showSnapshotProblem(shot.problem);
        break;
    case GrabResult::Outcome::Cancelled:
        break;
    }

    const qint64 restoreStart = clock.nsecsElapsed();
    // Esc may have stopped the sequence at one of the pauses above; its caption stands.
    if (sequence && m_captureTimer->isActive())
        setWindowTitle(QString::fromStdString(
            sequenceCaption(m_place.name.toStdString(), written ? written : number.value_or(0))));
    else
        setWindowTitle(m_place.name);
    showButtonAgain();
    m_saver->timings().restore = (clock.nsecsElapsed() - restoreStart) / 1000;
    m_saver->timings().total = clock.nsecsElapsed() / 1000;
}

void MainWindow::showSnapshotProblem(const QString &text)
{
    // Not modal: the window still takes Esc and its close request while the
    // message waits, so a sequence that fails at every tick can be stopped.
    QMessageBox box(QMessageBox::NoIcon, m_place.name, text, QMessageBox::Ok, this);
    box.setWindowModality(Qt::NonModal);
    m_problemBox = &box;
    QEventLoop loop;
    connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
    box.show();
    loop.exec();
    m_problemBox = nullptr;
}

void MainWindow::captureTimerTimer()
{
    takeSequenceSnapshot();
}

void MainWindow::mPopStartClick()
{
    const QString prompt
        = QStringLiteral("Enter Interval in milliseconds:\n\n(Once started, press Esc to stop capturing)");
    bool accepted = false;
    const QString answer = QInputDialog::getText(
        this, m_place.name, prompt, QLineEdit::Normal, QString::number(m_state.interval), &accepted);
    if (!accepted || answer.isEmpty())
        return;
    const IntervalAnswer a = readIntervalAnswer(answer.toStdString());
    if (a.kind == IntervalAnswer::Kind::OutOfRange) {
        QMessageBox::warning(this, m_place.name, QStringLiteral("Interval must be between 1 and 65000"));
        return;
    }
    m_state.interval = a.milliseconds;
    startSequence(a.milliseconds);
}

void MainWindow::startSequence(std::int32_t milliseconds)
{
    m_captureTimer->setInterval(milliseconds);
    m_captureTimer->start();
}

const SnapshotTimings &MainWindow::lastSnapshotTimings() const
{
    return m_saver->timings();
}

void MainWindow::mPopExploreClick()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(imagesFolder() + QLatin1Char('/')));
}

void MainWindow::mPopClearClick()
{
    const auto files = listFiles(QFile::encodeName(imagesFolder()).toStdString(), isJpegName);
    if (files.empty()) {
        QMessageBox::warning(
            this, m_place.name, QStringLiteral("There are no files in the folder to Delete!"));
        return;
    }
    const QString question = QStringLiteral("Are you sure you want to Delete %1 images?").arg(files.size());
    if (QMessageBox::question(this, m_place.name, question, QMessageBox::Yes | QMessageBox::No)
        != QMessageBox::Yes)
        return;
    const int stayed = deleteFiles(files);
    if (stayed > 0) {
        QMessageBox::warning(this, m_place.name,
            QStringLiteral("%1 of %2 images could not be deleted.").arg(stayed).arg(files.size()));
    }
}

} // namespace zx
