#include "snapshotsaver.h"

#include "bmpfile.h"
#include "pathtext.h"
#include "snapshotnames.h"
#include "writerpath.h"

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

Written SnapshotSaver::write(const Picture &picture, const std::filesystem::path &imagesFolder, std::int64_t number,
    std::int32_t quality, const SnapshotStamp &stamp, SnapshotTimings &timings)
{
    timings.bitmapWrite = timings.encode = timings.cleanUp = 0;
    auto stage = std::chrono::steady_clock::now();

    const auto temp = prepareTempBitmapPath();
    if (!temp || picture.isNull())
        return {};
    const bool bitmapWritten = writeBmp24(*temp, picture.width, picture.height, picture.bits, picture.bytesPerLine,
        { stamp.moment, stamp.description });
    timings.bitmapWrite = microsecondsSince(stage);
    stage = std::chrono::steady_clock::now();

    Written written;
    WriterLibrary::WriteJpg writeJpg = bitmapWritten ? m_library.function() : nullptr;
    for (int attempt = 0; writeJpg != nullptr && attempt < MaxNameRetries && number <= MaxSnapshotNumber;
         ++attempt, ++number) {
        const std::filesystem::path path = imagesFolder / snapshotFileName(number);
        const auto text = writerPathText(path);
        if (!text) {
            written.problem = "The JPEG writer cannot be given the name of the folder " + utf8FromPath(imagesFolder)
                + " in this system's code page.";
            break;
        }
        const int result = writeJpg(text->c_str(), quality, 0);
        if (result == static_cast<int>(JpgResult::Written)) {
            written.number = number;
            break;
        }
        if (result != static_cast<int>(JpgResult::TargetExists))
            break;
    }
    if (bitmapWritten && writeJpg == nullptr)
        written.problem = "The JPEG writer library could not be loaded.";
    timings.encode = microsecondsSince(stage);
    stage = std::chrono::steady_clock::now();

    // The bitmap goes whatever the writer said; its path is UTF-8 on every system.
    std::error_code ec;
    std::filesystem::remove(pathFromUtf8(*temp), ec);
    timings.cleanUp = microsecondsSince(stage);
    return written;
}

} // namespace zx
