#include "qtparts.h"

#include "aboutwindow.h"
#include "helpwindow.h"
#include "mainwindow.h"
#include "screengrabber.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEventLoop>
#include <QFile>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSoundEffect>
#include <QUrl>
#include <QWindow>

namespace zx {

// --- Dialogs ---------------------------------------------------------------

QtDialogs::QtDialogs(MainWindow &window, QString title)
    : m_window(window)
    , m_title(std::move(title))
{
    // Installed once: a filter added while a key is being delivered (one that opened the
    // message) would have Qt hand that key to the window's filter a second time.
    qApp->installEventFilter(this);
}

QtDialogs::~QtDialogs()
{
    qApp->removeEventFilter(this);
}

void QtDialogs::warn(const std::string &text)
{
    QMessageBox box(m_window.night() ? QMessageBox::NoIcon : QMessageBox::Warning, m_title,
        QString::fromStdString(text), QMessageBox::Ok, &m_window);
    box.exec();
}

bool QtDialogs::confirm(const std::string &question)
{
    QMessageBox box(m_window.night() ? QMessageBox::NoIcon : QMessageBox::Question, m_title,
        QString::fromStdString(question), QMessageBox::Yes | QMessageBox::No, &m_window);
    return box.exec() == QMessageBox::Yes;
}

std::optional<std::string> QtDialogs::askText(const std::string &prompt, const std::string &initial)
{
    bool accepted = false;
    const QString answer = QInputDialog::getText(&m_window, m_title, QString::fromStdString(prompt),
        QLineEdit::Normal, QString::fromStdString(initial), &accepted);
    if (!accepted)
        return std::nullopt;
    return answer.toStdString();
}

void QtDialogs::showProblem(const std::string &text, const std::function<void()> &onEscape)
{
    // Not modal: the window still takes Esc and its close request while the
    // message waits, so a sequence that fails at every tick can be stopped.
    QMessageBox box(QMessageBox::NoIcon, m_title, QString::fromStdString(text), QMessageBox::Ok, &m_window);
    box.setWindowModality(Qt::NonModal);
    m_problemBox = &box;
    m_onEscape = onEscape;
    QEventLoop loop;
    connect(&box, &QMessageBox::finished, &loop, &QEventLoop::quit);
    box.show();
    loop.exec();
    m_problemBox = nullptr;
    m_onEscape = nullptr;
}

void QtDialogs::closeProblem()
{
    if (m_problemBox)
        m_problemBox->done(QMessageBox::Cancel);
}

bool QtDialogs::eventFilter(QObject *watched, QEvent *event)
{
    // Esc on the message is the crosshair's to act on; the message stays.
    auto *w = qobject_cast<QWidget *>(watched);
    if (event->type() == QEvent::KeyPress && m_problemBox && m_onEscape && w != nullptr
        && w->window() == m_problemBox && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        m_onEscape();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void QtDialogs::showHelp()
{
    const WindowBounds now = m_window.bounds();
    HelpWindow help(QSize(now.outer.width() - now.inside.width(), now.outer.height() - now.inside.height()));
    help.exec();
}

void QtDialogs::showAbout()
{
    AboutWindow about(&m_window);
    about.exec();
}

void QtDialogs::openFolder(const std::filesystem::path &folder)
{
    QDesktopServices::openUrl(
        QUrl::fromLocalFile(QFile::decodeName(QByteArray::fromStdString(folder.string())) + QLatin1Char('/')));
}

// --- Timer and sound -------------------------------------------------------

QtSequenceTimer::QtSequenceTimer(std::function<void()> onTick)
{
    // Short intervals are kept as asked rather than grouped with other timers.
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, std::move(onTick));
}

void QtSequenceTimer::start(int milliseconds)
{
    m_timer.setInterval(milliseconds);
    m_timer.start();
}

void QtSequenceTimer::stop()
{
    m_timer.setInterval(0);
    m_timer.stop();
}

QtSound::QtSound() = default;
QtSound::~QtSound() = default;

void QtSound::playClick()
{
    if (!m_click) {
        m_click = std::make_unique<QSoundEffect>();
        m_click->setSource(QUrl(QStringLiteral("qrc:/zentrolux/click.wav")));
    }
    // Plays in the background; without a sound device nothing is heard.
    m_click->play();
}

// --- Screen ----------------------------------------------------------------

QtScreenReader::QtScreenReader(std::unique_ptr<ScreenGrabber> grabber, const MainWindow &window)
    : m_grabber(std::move(grabber))
    , m_window(window)
{
}

QtScreenReader::~QtScreenReader() = default;

namespace {

// The window's native handle as it is now: QWidget::winId() can name a native
// window that Qt has since re-created with other flags.
WId nativeWindow(const QWidget &window)
{
    const QWindow *handle = window.windowHandle();
    return handle != nullptr && handle->handle() != nullptr ? handle->winId() : 0;
}

} // namespace

void QtScreenReader::prepare()
{
    m_grabber->prepare(nativeWindow(m_window));
}

ScreenPixels QtScreenReader::read(const PixelRect &area)
{
    return m_grabber->readPixels(QRect(area.left, area.top, area.width(), area.height()));
}

ScreenWatch QtScreenReader::watch(const PixelRect &area)
{
    if (std::optional<ScreenWatch> view
        = m_grabber->watchPixels(QRect(area.left, area.top, area.width(), area.height()), nativeWindow(m_window)))
        return std::move(*view);
    return ScreenReader::watch(area);
}

void QtScreenReader::stopWatching()
{
    m_grabber->stopWatching();
}

Grab QtScreenReader::grab(
    const PixelRect &area, const PixelRect &inside, const HiddenButton &button, const CaptionBar &caption)
{
    const auto rect = [](const PixelRect &r) { return QRect(r.left, r.top, r.width(), r.height()); };
    GrabResult shot = m_grabber->grab(
        { rect(area), rect(inside), rect(button.square), button, caption, nativeWindow(m_window) });
    Grab result;
    result.outcome = shot.outcome;
    result.problem = shot.problem.toStdString();
    if (shot.outcome == GrabResult::Outcome::Taken && !shot.picture.isNull()) {
        auto image = std::make_shared<const QImage>(shot.picture.format() == QImage::Format_RGB32
                ? std::move(shot.picture)
                : shot.picture.convertToFormat(QImage::Format_RGB32));
        result.picture = { image->width(), image->height(), std::size_t(image->bytesPerLine()), image->constBits(),
            image };
    }
    return result;
}

void QtScreenReader::cancel()
{
    m_grabber->cancel();
}

} // namespace zx
