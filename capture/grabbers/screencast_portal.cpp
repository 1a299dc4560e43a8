// The star offset on Wayland desktops reads the screen several times a
// second; one screenshot at a time through the portal is far too slow for
// that, so it asks the desktop for a screen cast once and keeps the newest
// picture the cast sends.
#include "screencast_portal.h"

#include "screengrabber.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QImage>
#include <QObject>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <mutex>
#include <optional>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <pipewire/pipewire.h>
#include <spa/param/video/format-utils.h>
#include <spa/pod/builder.h>
#pragma GCC diagnostic pop

namespace zx {

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString CastInterface = QStringLiteral("org.freedesktop.portal.ScreenCast");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString SessionInterface = QStringLiteral("org.freedesktop.portal.Session");

constexpr uint MonitorSource = 1;
constexpr uint HiddenCursor = 1; // the pointer over the star would be read as one
constexpr int AnswerTimeoutMilliseconds = 120000; // the desktop's dialog waits for a person

const char *const NoCastService
    = "The star offset needs a live view of the screen, and this desktop offers none: its desktop portal has no "
      "screen-cast service. The star offset is off. It needs xdg-desktop-portal with the portal of your desktop "
      "(xdg-desktop-portal-gnome, -kde or -wlr) and PipeWire.";
const char *const CastRefused = "The desktop did not share the screen with Zentrolux, so the star offset is off. "
                                "To use it, turn it on again and choose the screen to share.";
const char *const CastFailed = "The desktop could not share the screen with Zentrolux, so the star offset is off.";
const char *const CastEnded = "The desktop stopped sharing the screen with Zentrolux, so the star offset is off.";

// The cast's pictures, received on PipeWire's own thread; the newest is kept.
class CastStream {
public:
    CastStream() = default;
    CastStream(const CastStream &) = delete;
    CastStream &operator=(const CastStream &) = delete;

    ~CastStream()
    {
        if (m_loop != nullptr)
            pw_thread_loop_stop(m_loop);
        if (m_stream != nullptr)
            pw_stream_destroy(m_stream);
        if (m_core != nullptr)
            pw_core_disconnect(m_core);
        if (m_context != nullptr)
            pw_context_destroy(m_context);
        if (m_loop != nullptr)
            pw_thread_loop_destroy(m_loop);
    }

    // Connects to the portal's PipeWire (fd, taken over) and the cast's node.
    bool open(int fd, uint node)
    {
        static std::once_flag initialised;
        std::call_once(initialised, [] { pw_init(nullptr, nullptr); });
        m_loop = pw_thread_loop_new("zx-screencast", nullptr);
        if (m_loop == nullptr) {
            ::close(fd);
            return false;
        }
        m_context = pw_context_new(pw_thread_loop_get_loop(m_loop), nullptr, 0);
        if (m_context == nullptr || pw_thread_loop_start(m_loop) < 0) {
            ::close(fd);
            return false;
        }
        pw_thread_loop_lock(m_loop);
        const bool connected = connect(fd, node);
        pw_thread_loop_unlock(m_loop);
        return connected;
    }

    struct Frame {
        QImage picture; // empty until the first picture
        bool broken = false;
    };

    Frame newest()
    {
        const std::lock_guard lock(m_mutex);
        return { m_picture, m_broken };
    }

private:
    bool connect(int fd, uint node)
    {
        m_core = pw_context_connect_fd(m_context, fd, nullptr, 0);
        if (m_core == nullptr)
            return false;
        m_stream = pw_stream_new(m_core, "Zentrolux star offset",
            pw_properties_new(PW_KEY_MEDIA_TYPE, "Video", PW_KEY_MEDIA_CATEGORY, "Capture", PW_KEY_MEDIA_ROLE,
                "Screen", nullptr));
        if (m_stream == nullptr)
            return false;
        static const pw_stream_events events = [] {
            pw_stream_events e {};
            e.version = PW_VERSION_STREAM_EVENTS;
            e.state_changed = &CastStream::onState;
            e.param_changed = &CastStream::onParam;
            e.process = &CastStream::onProcess;
            return e;
        }();
        pw_stream_add_listener(m_stream, &m_listener, &events, this);

        std::uint8_t buffer[1024];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
        spa_rectangle size { 1920, 1080 };
        spa_rectangle minSize { 1, 1 };
        spa_rectangle maxSize { 16384, 16384 };
        // A few pictures a second are all the read-out needs.
        spa_fraction rate { 10, 1 };
        spa_fraction minRate { 0, 1 };
        spa_fraction maxRate { 60, 1 };
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
        const spa_pod *params[] = { static_cast<const spa_pod *>(spa_pod_builder_add_object(&b,
            SPA_TYPE_OBJECT_Format, SPA_PARAM_EnumFormat, SPA_FORMAT_mediaType, SPA_POD_Id(SPA_MEDIA_TYPE_video),
            SPA_FORMAT_mediaSubtype, SPA_POD_Id(SPA_MEDIA_SUBTYPE_raw), SPA_FORMAT_VIDEO_format,
            SPA_POD_CHOICE_ENUM_Id(5, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRx, SPA_VIDEO_FORMAT_BGRA,
                SPA_VIDEO_FORMAT_RGBx, SPA_VIDEO_FORMAT_RGBA),
            SPA_FORMAT_VIDEO_size, SPA_POD_CHOICE_RANGE_Rectangle(&size, &minSize, &maxSize),
            SPA_FORMAT_VIDEO_framerate, SPA_POD_CHOICE_RANGE_Fraction(&rate, &minRate, &maxRate))) };
#pragma GCC diagnostic pop
        return pw_stream_connect(m_stream, PW_DIRECTION_INPUT, node,
                   static_cast<pw_stream_flags>(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS), params, 1)
            >= 0;
    }

    static void onState(void *data, pw_stream_state, pw_stream_state state, const char *)
    {
        auto *self = static_cast<CastStream *>(data);
        if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
            const std::lock_guard lock(self->m_mutex);
            self->m_broken = true;
        }
    }

    static void onParam(void *data, uint32_t id, const spa_pod *param)
    {
        auto *self = static_cast<CastStream *>(data);
        if (param == nullptr || id != SPA_PARAM_Format)
            return;
        spa_video_info_raw info {};
        if (spa_format_video_raw_parse(param, &info) < 0)
            return;
        self->m_format = info.format;
        self->m_width = int(info.size.width);
        self->m_height = int(info.size.height);
        // Pictures in memory the program can read: no GPU buffers.
        std::uint8_t buffer[256];
        spa_pod_builder b = SPA_POD_BUILDER_INIT(buffer, sizeof(buffer));
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wpedantic"
        const spa_pod *params[] = { static_cast<const spa_pod *>(spa_pod_builder_add_object(&b,
            SPA_TYPE_OBJECT_ParamBuffers, SPA_PARAM_Buffers, SPA_PARAM_BUFFERS_dataType,
            SPA_POD_CHOICE_FLAGS_Int((1 << SPA_DATA_MemPtr) | (1 << SPA_DATA_MemFd)))) };
#pragma GCC diagnostic pop
        pw_stream_update_params(self->m_stream, params, 1);
    }

    static void onProcess(void *data)
    {
        auto *self = static_cast<CastStream *>(data);
        // Only the newest picture counts: older ones waiting are handed back.
        pw_buffer *newest = nullptr;
        while (pw_buffer *b = pw_stream_dequeue_buffer(self->m_stream)) {
            if (newest != nullptr)
                pw_stream_queue_buffer(self->m_stream, newest);
            newest = b;
        }
        if (newest == nullptr)
            return;
        const spa_buffer *buf = newest->buffer;
        const spa_data &d = buf->datas[0];
        // A buffer without pixels only moves the pointer.
        if (d.data != nullptr && d.chunk != nullptr && d.chunk->size > 0 && self->m_width > 0 && self->m_height > 0)
            self->keep(static_cast<const std::uint8_t *>(d.data) + d.chunk->offset, d.chunk->stride, d.maxsize);
        pw_stream_queue_buffer(self->m_stream, newest);
    }

    void keep(const std::uint8_t *bytes, int stride, std::uint32_t size)
    {
        if (stride <= 0)
            stride = m_width * 4;
        if (std::uint64_t(stride) * std::uint64_t(m_height) > size || stride < m_width * 4)
            return;
        const bool swapRedBlue = m_format == SPA_VIDEO_FORMAT_RGBx || m_format == SPA_VIDEO_FORMAT_RGBA;
        QImage picture(m_width, m_height, QImage::Format_RGB32);
        for (int y = 0; y < m_height; ++y) {
            const auto *in = bytes + std::size_t(y) * std::size_t(stride);
            auto *out = reinterpret_cast<std::uint32_t *>(picture.scanLine(y));
            for (int x = 0; x < m_width; ++x, in += 4) {
                const std::uint32_t r = swapRedBlue ? in[0] : in[2];
                const std::uint32_t b = swapRedBlue ? in[2] : in[0];
                out[x] = 0xff000000u | (r << 16) | (std::uint32_t(in[1]) << 8) | b;
            }
        }
        const std::lock_guard lock(m_mutex);
        m_picture = std::move(picture);
    }

    pw_thread_loop *m_loop = nullptr;
    pw_context *m_context = nullptr;
    pw_core *m_core = nullptr;
    pw_stream *m_stream = nullptr;
    spa_hook m_listener {};
    // Written on PipeWire's thread only.
    spa_video_format m_format = SPA_VIDEO_FORMAT_UNKNOWN;
    int m_width = 0;
    int m_height = 0;

    std::mutex m_mutex;
    QImage m_picture;
    bool m_broken = false;
};

} // namespace

// Asks the portal step by step, each answer arriving as a Response signal on
// a request path known before the call.
class PortalScreenCast::Session final : public QObject, protected QDBusContext {
    Q_OBJECT

public:
    explicit Session(const QString &parent)
        : m_parent(parent)
    {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!bus.isConnected()) {
            fail(NoCastService);
            return;
        }
        m_sender = bus.baseService().mid(1).replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString token = QStringLiteral("zentrolux_cast");
        m_sessionPath = PortalPath + QStringLiteral("/session/") + m_sender + QLatin1Char('/') + token;
        ask(Step::CreateSession, QStringLiteral("CreateSession"),
            { QVariant(QVariantMap { { QStringLiteral("session_handle_token"), token } }) });
    }

    ~Session() override
    {
        // Closes a dialog the desktop may be showing for the request.
        if (!m_requestPath.isEmpty()) {
            QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
                PortalService, m_requestPath, RequestInterface, QStringLiteral("Close")));
        }
        if (m_sessionOpen) {
            QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
                PortalService, m_sessionPath, SessionInterface, QStringLiteral("Close")));
        }
    }

    ScreenWatch look(const QRect &area)
    {
        if (m_problem)
            return { ScreenWatch::State::Impossible, {}, *m_problem };
        if (!m_stream)
            return { ScreenWatch::State::Starting, {}, {} };
        const CastStream::Frame frame = m_stream->newest();
        if (frame.broken) {
            fail(CastEnded);
            return { ScreenWatch::State::Impossible, {}, *m_problem };
        }
        if (frame.picture.isNull())
            return { ScreenWatch::State::Starting, {}, {} };
        // A portal that names no place for the monitor: it starts at the origin, unscaled.
        const QRect monitor = m_monitor.isEmpty() ? QRect(QPoint(0, 0), frame.picture.size()) : m_monitor;
        return { ScreenWatch::State::Pixels, screenPixels(cropScreenPicture(frame.picture, monitor, area)), {} };
    }

private slots:
    void onResponse(uint code, const QVariantMap &results)
    {
        if (message().path() != m_requestPath)
            return;
        QDBusConnection::sessionBus().disconnect(PortalService, m_requestPath, RequestInterface,
            QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
        m_requestPath.clear();
        if (code == 1) {
            fail(CastRefused);
            return;
        }
        if (code != 0) {
            fail(CastFailed);
            return;
        }
        switch (m_step) {
        case Step::CreateSession:
            m_sessionOpen = true;
            m_sessionPath = results.value(QStringLiteral("session_handle")).toString();
            QDBusConnection::sessionBus().connect(PortalService, m_sessionPath, SessionInterface,
                QStringLiteral("Closed"), this, SLOT(onClosed()));
            ask(Step::SelectSources, QStringLiteral("SelectSources"),
                { QVariant::fromValue(QDBusObjectPath(m_sessionPath)),
                    QVariant(QVariantMap { { QStringLiteral("types"), MonitorSource },
                        { QStringLiteral("multiple"), false }, { QStringLiteral("cursor_mode"), HiddenCursor } }) });
            break;
        case Step::SelectSources:
            ask(Step::Start, QStringLiteral("Start"),
                { QVariant::fromValue(QDBusObjectPath(m_sessionPath)), m_parent, QVariant(QVariantMap {}) });
            break;
        case Step::Start:
            started(results);
            break;
        }
    }

    void onClosed()
    {
        m_sessionOpen = false;
        fail(CastEnded);
    }

private:
    enum class Step { CreateSession, SelectSources, Start };

    void ask(Step step, const QString &method, const QVariantList &arguments)
    {
        m_step = step;
        const QString token = QStringLiteral("zentrolux_cast%1").arg(++m_tokens);
        m_requestPath = PortalPath + QStringLiteral("/request/") + m_sender + QLatin1Char('/') + token;
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.connect(PortalService, m_requestPath, RequestInterface, QStringLiteral("Response"), this,
            SLOT(onResponse(uint, QVariantMap)));
        QVariantList args = arguments;
        QVariantMap options = args.takeLast().toMap();
        options.insert(QStringLiteral("handle_token"), token);
        args.append(options);
        QDBusMessage call = QDBusMessage::createMethodCall(PortalService, PortalPath, CastInterface, method);
        call.setArguments(args);
        auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, AnswerTimeoutMilliseconds), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            const QDBusPendingReply<QDBusObjectPath> reply = *w;
            if (reply.isError()) {
                fail(m_step == Step::CreateSession ? NoCastService : CastFailed);
            } else if (const QString handle = reply.value().path(); handle != m_requestPath && !m_requestPath.isEmpty()) {
                // An older portal chose its own path.
                QDBusConnection bus = QDBusConnection::sessionBus();
                bus.disconnect(PortalService, m_requestPath, RequestInterface, QStringLiteral("Response"), this,
                    SLOT(onResponse(uint, QVariantMap)));
                m_requestPath = handle;
                bus.connect(PortalService, m_requestPath, RequestInterface, QStringLiteral("Response"), this,
                    SLOT(onResponse(uint, QVariantMap)));
            }
        });
    }

    void started(const QVariantMap &results)
    {
        // streams: a(ua{sv}), the node and where the monitor lies.
        std::optional<uint> node;
        const QDBusArgument streams = results.value(QStringLiteral("streams")).value<QDBusArgument>();
        streams.beginArray();
        while (!streams.atEnd()) {
            uint id = 0;
            QVariantMap properties;
            streams.beginStructure();
            streams >> id >> properties;
            streams.endStructure();
            if (node)
                continue;
            node = id;
            const QPoint size = point(properties.value(QStringLiteral("size")));
            m_monitor = QRect(point(properties.value(QStringLiteral("position"))), QSize(size.x(), size.y()));
        }
        streams.endArray();
        if (!node) {
            fail(CastFailed);
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            PortalService, PortalPath, CastInterface, QStringLiteral("OpenPipeWireRemote"));
        call << QVariant::fromValue(QDBusObjectPath(m_sessionPath)) << QVariantMap {};
        auto *watcher = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, id = *node](QDBusPendingCallWatcher *w) {
            w->deleteLater();
            const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
            const int fd = reply.isError() || !reply.value().isValid()
                ? -1
                : fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 3);
            if (fd < 0) {
                fail(CastFailed);
                return;
            }
            auto stream = std::make_unique<CastStream>();
            if (!stream->open(fd, id)) {
                fail(CastFailed);
                return;
            }
            m_stream = std::move(stream);
        });
    }

    // A (ii) pair; (0, 0) where the portal gave none.
    static QPoint point(const QVariant &value)
    {
        if (!value.canConvert<QDBusArgument>())
            return {};
        const QDBusArgument arg = value.value<QDBusArgument>();
        int x = 0;
        int y = 0;
        arg.beginStructure();
        arg >> x >> y;
        arg.endStructure();
        return { x, y };
    }

    void fail(const char *why)
    {
        if (!m_problem)
            m_problem = QString::fromUtf8(why).toStdString();
    }

    QString m_parent;
    QString m_sender;
    QString m_sessionPath;
    QString m_requestPath;
    bool m_sessionOpen = false;
    int m_tokens = 0;
    Step m_step = Step::CreateSession;
    QRect m_monitor;
    std::unique_ptr<CastStream> m_stream;
    std::optional<std::string> m_problem;
};

PortalScreenCast::PortalScreenCast() = default;
PortalScreenCast::~PortalScreenCast() = default;

ScreenWatch PortalScreenCast::look(const QRect &area, const QString &parent)
{
    if (!m_session)
        m_session = std::make_unique<Session>(parent);
    return m_session->look(area);
}

void PortalScreenCast::stop()
{
    m_session.reset();
}

} // namespace zx

#include "screencast_portal.moc"
