#pragma once

#include <QImage>
#include <QLibrary>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class QSoundEffect;

namespace zx {

// How long the stages of the last snapshot took, in microseconds.
struct SnapshotTimings {
    qint64 hideAndReshape = 0; // includes the wait for the screen to settle
    qint64 grab = 0;
    qint64 bitmapWrite = 0;
    qint64 encode = 0;
    qint64 cleanUp = 0;
    qint64 restore = 0; // button shown again, caption, shape
    qint64 total = 0;
};

// Writing a snapshot's picture through the companion JPEG writer, and the
// shutter click.
class SnapshotSaver {
public:
    // writerFolders: where the companion writer is looked for, in order, before the
    // system's library search.
    explicit SnapshotSaver(QStringList writerFolders);
    ~SnapshotSaver();
    SnapshotSaver(const SnapshotSaver &) = delete;
    SnapshotSaver &operator=(const SnapshotSaver &) = delete;

    // Writes a picture as the JPEG file `number` of the folder. When another
    // program took that name meanwhile, the following numbers are tried.
    // Returns the number written, or 0 on failure.
    [[nodiscard]] std::int64_t saveJpeg(
        const QImage &picture, const QString &imagesFolder, std::int64_t number, std::int32_t quality);

    void playClick();

    [[nodiscard]] SnapshotTimings &timings() { return m_timings; }

private:
    using WriteFunction = int (*)(const char *, int, int);
    WriteFunction writer();

    QStringList m_writerFolders;
    QLibrary m_library;
    WriteFunction m_write = nullptr;
    std::unique_ptr<QSoundEffect> m_click;
    SnapshotTimings m_timings;
};

} // namespace zx
