// Snapshots on Wayland desktops: XWayland's root window holds no picture, so
// the compositor takes the screenshot, through the desktop portal.
#include "screengrabber_backends.h"

#include "screencast_portal.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <optional>
#include <utility>

namespace zx {

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");

// The compositor shows the window without its camera button a frame or two
// after the new shape; a picture that still shows it is taken again.
constexpr int FirstFramesMilliseconds = 40;
constexpr int RetryMilliseconds = 50;
constexpr int MaxAttempts = 4;
// The first request may open the desktop's own permission dialog, which
// waits for a person.
constexpr int AnswerTimeoutSeconds = 90;

const char *const NoService = "Zentrolux cannot take snapshots here: this desktop offers no screenshot "
                              "service. Install xdg-desktop-portal and the portal of your desktop "
                              "(xdg-desktop-portal-gnome, -kde or -wlr).";
const char *const Refused = "The desktop did not allow Zentrolux to take a screenshot, so no picture was "
                            "saved. Allow screenshots for Zentrolux in the desktop's privacy or app "
                            "settings, then try again.";
const char *const Failed = "The desktop could not take a screenshot, so no picture was saved.";
const char *const DeclinedAtOnce = "The desktop declined the screenshot at once, without asking, so no picture "
                                   "was saved. If screenshots for Zentrolux were refused before, allow them in "
                                   "the desktop's privacy or app settings; otherwise this desktop cannot take "
                                   "screenshots here.";
const char *const NoAnswer = "The desktop did not answer the screenshot request, so no picture was saved. "
                             "If it asks whether Zentrolux may take screenshots, answer Allow and try again.";

class PortalScreenGrabber final : public QObject, public ScreenGrabber, protected QDBusContext {
    Q_OBJECT

public:
    explicit PortalScreenGrabber(bool x11Window)
        : m_x11Window(x11Window)
    {
    }

    GrabResult grab(const GrabRequest &request) override
    {
        QScreen *screen = QGuiApplication::primaryScreen();
        const QRect root = screen != nullptr ? screen->virtualGeometry() : QRect();
        QThread::msleep(FirstFramesMilliseconds);
        Shot shot;
        for (int attempt = 0; attempt < MaxAttempts; ++attempt) {
            if (attempt > 0)
                QThread::msleep(RetryMilliseconds);
            shot = screenshot(request.window);
            if (shot.outcome != GrabResult::Outcome::Taken)
                return { shot.outcome, {}, shot.problem };
            if (!mostlyShowsButton(
                    screenPixels(cropScreenPicture(shot.screen, root, request.buttonSquare)), request.button.painted))
                break;
        }
        return { GrabResult::Outcome::Taken, cropScreenPicture(shot.screen, root, request.area), {} };
    }

    std::optional<ScreenWatch> watchPixels(const QRect &area, WId window) override
    {
        return m_cast.look(area, parentWindow(window));
    }

    void stopWatching() override { m_cast.stop(); }

    void cancel() override
    {
        if (m_loop == nullptr)
            return;
        m_cancelled = true;
        // Closes a dialog the desktop may be showing for the request.
        QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
            PortalService, m_requestPath, RequestInterface, QStringLiteral("Close")));
        m_loop->quit();
    }

private slots:
    void onResponse(uint code, const QVariantMap &results)
    {
        const QString path = message().path();
        if (path != m_requestPath) {
            // The answer to a request given up on: its file must not stay.
            if (code == 0)
                removeFile(results.value(QStringLiteral("uri")).toString());
            unwatch(path);
            return;
        }
        m_code = code;
        m_results = results;
        if (m_loop != nullptr)
            m_loop->quit();
    }

private:
    struct Shot {
        GrabResult::Outcome outcome = GrabResult::Outcome::Impossible;
        QImage screen;
        QString problem;
    };

    Shot screenshot(WId window)
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected())
            return { GrabResult::Outcome::Impossible, {}, QString::fromUtf8(NoService) };
        // The request's object path is known before the call, so its answer
        // cannot come before we listen for it.
        const QString token = QStringLiteral("zentrolux%1").arg(++m_tokens);
        QString sender = bus.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        m_requestPath = PortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token;
        watch(m_requestPath);

        QDBusMessage call = QDBusMessage::createMethodCall(PortalService, PortalPath,
            QStringLiteral("org.freedesktop.portal.Screenshot"), QStringLiteral("Screenshot"));
        call << parentWindow(window)
             << QVariantMap { { QStringLiteral("handle_token"), token }, { QStringLiteral("modal"), false },
                    { QStringLiteral("interactive"), false } };

        QEventLoop loop;
        m_loop = &loop;
        m_cancelled = false;
        m_code.reset();
        m_results.clear();
        QString callError;
        QElapsedTimer answered;
        answered.start();
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, AnswerTimeoutSeconds * 1000), &loop);
        connect(watcher, &QDBusPendingCallWatcher::finished, &loop, [&](QDBusPendingCallWatcher *w) {
            const QDBusPendingReply<QDBusObjectPath> reply = *w;
            if (reply.isError()) {
                callError = reply.error().name();
                loop.quit();
            } else if (const QString handle = reply.value().path(); handle != m_requestPath) {
                // An older portal chose its own path.
                unwatch(m_requestPath);
                m_requestPath = handle;
                watch(m_requestPath);
            }
        });
        QTimer::singleShot(AnswerTimeoutSeconds * 1000, &loop, &QEventLoop::quit);
        // The window keeps repainting and takes Esc and its close request.
        loop.exec();
        const double seconds = double(answered.elapsed()) / 1000.0;
        m_loop = nullptr;
        const QString path = std::exchange(m_requestPath, QString());

        // Unanswered requests stay watched: a late answer's file is removed.
        if (m_cancelled)
            return { GrabResult::Outcome::Cancelled, {}, {} };
        const PortalOutcome outcome = portalOutcome(m_code, callError.toStdString(), seconds);
        if (m_code)
            unwatch(path);
        const auto impossible = [](const char *why) {
            return Shot { GrabResult::Outcome::Impossible, {}, QString::fromUtf8(why) };
        };
        switch (outcome) {
        case PortalOutcome::NoAnswer:
            return impossible(NoAnswer);
        case PortalOutcome::NoService:
            return impossible(NoService);
        case PortalOutcome::DeclinedAtOnce:
            return impossible(DeclinedAtOnce);
        case PortalOutcome::Refused:
            return impossible(Refused);
        case PortalOutcome::Failed:
            return impossible(Failed);
        case PortalOutcome::Picture:
            break;
        }
        const QString uri = m_results.value(QStringLiteral("uri")).toString();
        QImage picture(QUrl(uri).toLocalFile());
        // A sequence must not fill the user's folders with screenshots.
        removeFile(uri);
        if (picture.isNull())
            return impossible(Failed);
        return { GrabResult::Outcome::Taken, std::move(picture), {} };
    }

    // The window a dialog of the desktop belongs to, as the portal names it.
    QString parentWindow(WId window) const
    {
        return window != 0 && m_x11Window ? QStringLiteral("x11:%1").arg(window, 0, 16) : QString();
    }

    void watch(const QString &path)
    {
        QDBusConnection::sessionBus().connect(PortalService, path, RequestInterface,
            QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
    }

    void unwatch(const QString &path)
    {
        QDBusConnection::sessionBus().disconnect(PortalService, path, RequestInterface,
            QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
    }

    static void removeFile(const QString &uri)
    {
        const QFileInfo file(QUrl(uri).toLocalFile());
        if (file.isFile() && !file.isSymLink())
            QFile::remove(file.filePath());
    }

    PortalScreenCast m_cast;
    QEventLoop *m_loop = nullptr;
    bool m_cancelled = false;
    int m_tokens = 0;
    bool m_x11Window = false; // the portal names an X11 parent window as "x11:<id>"
    QString m_requestPath;
    std::optional<uint> m_code;
    QVariantMap m_results;
};

} // namespace

std::unique_ptr<ScreenGrabber> makePortalScreenGrabber(bool x11Window)
{
    return std::make_unique<PortalScreenGrabber>(x11Window);
}

} // namespace zx

#include "screengrabber_portal.moc"
