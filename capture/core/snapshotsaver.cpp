#include "snapshotsaver.h"

#include "bmpfile.h"
#include "snapshotnames.h"

#include <zentrolux/jpegwriter.h>
#include <zentrolux/tempbitmap.h>

#include <chrono>
#include <system_error>

namespace zx {

namespace {

constexpr int MaxNameRetries = 50;

std::int64_t microsecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

SnapshotSaver::SnapshotSaver(std::vector<std::filesystem::path> writerFolders)
    : m_library(std::move(writerFolders))
{
}

SnapshotSaver::~SnapshotSaver()
{
    removeRunTempFolder();
}

std::int64_t SnapshotSaver::write(const Picture &picture, const std::filesystem::path &imagesFolder,
    std::int64_t number, std::int32_t quality, SnapshotTimings &timings)
{
    timings.bitmapWrite = timings.encode = timings.cleanUp = 0;
    auto stage = std::chrono::steady_clock::now();

    const auto temp = prepareTempBitmapPath();
    if (!temp || picture.isNull())
        return 0;
    const bool bitmapWritten
        = writeBmp24(*temp, picture.width, picture.height, picture.bits, picture.bytesPerLine);
    timings.bitmapWrite = microsecondsSince(stage);
    stage = std::chrono::steady_clock::now();

    std::int64_t written = 0;
    WriterLibrary::WriteJpg writeJpg = bitmapWritten ? m_library.function() : nullptr;
    for (int attempt = 0; writeJpg != nullptr && attempt < MaxNameRetries && number <= MaxSnapshotNumber;
         ++attempt, ++number) {
        const std::filesystem::path path = imagesFolder / snapshotFileName(number);
        const int result = writeJpg(path.string().c_str(), quality, 0);
        if (result == static_cast<int>(JpgResult::Written)) {
            written = number;
            break;
        }
        if (result != static_cast<int>(JpgResult::TargetExists))
            break;
    }
    timings.encode = microsecondsSince(stage);
    stage = std::chrono::steady_clock::now();

    // The bitmap goes whatever the writer said.
    std::error_code ec;
    std::filesystem::remove(*temp, ec);
    timings.cleanUp = microsecondsSince(stage);
    return written;
}

} // namespace zx
