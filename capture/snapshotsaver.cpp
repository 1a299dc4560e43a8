#include "snapshotsaver.h"

#include "bmpfile.h"
#include "snapshotnames.h"

#include <zentrolux/jpegwriter.h>
#include <zentrolux/tempbitmap.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSoundEffect>

#include <filesystem>
#include <system_error>

namespace zx {

namespace {

// The companion library's file name on this platform.
QString writerFileName()
{
#if defined(Q_OS_WIN)
    return QStringLiteral("Zentrolux.dll");
#elif defined(Q_OS_MACOS)
    return QStringLiteral("libZentrolux.dylib");
#else
    return QStringLiteral("libZentrolux.so");
#endif
}

constexpr int MaxNameRetries = 50;

} // namespace

SnapshotSaver::SnapshotSaver(QStringList writerFolders)
    : m_writerFolders(std::move(writerFolders))
{
}

SnapshotSaver::~SnapshotSaver() = default;

SnapshotSaver::WriteFunction SnapshotSaver::writer()
{
    if (m_write != nullptr)
        return m_write;
    // The given folders first, then the system's library search.
    QStringList candidates;
    for (const QString &folder : m_writerFolders)
        candidates.append(QDir(folder).filePath(writerFileName()));
    candidates.append(QStringLiteral("Zentrolux"));
    for (const QString &candidate : candidates) {
        m_library.setFileName(candidate);
        if (!m_library.load())
            continue;
        m_write = reinterpret_cast<WriteFunction>(m_library.resolve(kDIWriteJpgSymbol));
        if (m_write != nullptr)
            return m_write;
        m_library.unload();
    }
    return nullptr;
}

std::int64_t SnapshotSaver::saveJpeg(
    const QImage &picture, const QString &imagesFolder, std::int64_t number, std::int32_t quality)
{
    m_timings.bitmapWrite = m_timings.encode = m_timings.cleanUp = 0;
    QElapsedTimer clock;
    clock.start();

    const auto temp = prepareTempBitmapPath();
    if (!temp || picture.isNull())
        return 0;
    const QImage rgb
        = picture.format() == QImage::Format_RGB32 ? picture : picture.convertToFormat(QImage::Format_RGB32);
    const bool bitmapWritten = writeBmp24(
        *temp, rgb.width(), rgb.height(), rgb.constBits(), static_cast<std::size_t>(rgb.bytesPerLine()));
    m_timings.bitmapWrite = clock.nsecsElapsed() / 1000;
    clock.restart();

    std::int64_t written = 0;
    if (bitmapWritten) {
        if (WriteFunction write = writer()) {
            for (int attempt = 0; attempt < MaxNameRetries && number <= MaxSnapshotNumber;
                 ++attempt, ++number) {
                const QString path
                    = QDir(imagesFolder).filePath(QString::fromStdString(snapshotFileName(number)));
                const int result = write(QFile::encodeName(path).constData(), quality, 0);
                if (result == static_cast<int>(JpgResult::Written)) {
                    written = number;
                    break;
                }
                if (result != static_cast<int>(JpgResult::TargetExists))
                    break;
            }
        }
    }
    m_timings.encode = clock.nsecsElapsed() / 1000;
    clock.restart();

    // The bitmap goes whatever the writer said.
    std::error_code ec;
    std::filesystem::remove(*temp, ec);
    m_timings.cleanUp = clock.nsecsElapsed() / 1000;
    return written;
}

void SnapshotSaver::playClick()
{
    if (!m_click) {
        m_click = std::make_unique<QSoundEffect>();
        m_click->setSource(QUrl(QStringLiteral("qrc:/zentrolux/click.wav")));
    }
    // Plays in the background; without a sound device nothing is heard.
    m_click->play();
}

} // namespace zx
