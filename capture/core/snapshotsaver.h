#pragma once

#include "picture.h"
#include "writerlibrary.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zx {

// How long the stages of the last snapshot took, in microseconds.
struct SnapshotTimings {
    std::int64_t hideAndReshape = 0; // includes the wait for the screen to settle
    std::int64_t grab = 0;
    std::int64_t bitmapWrite = 0;
    std::int64_t encode = 0;
    std::int64_t cleanUp = 0;
    std::int64_t restore = 0; // button shown again, caption, shape
    std::int64_t total = 0;
};

// What a snapshot's file says of its picture besides the pixels.
struct SnapshotStamp {
    std::chrono::system_clock::time_point moment; // when the picture was grabbed
    std::string description; // the star's offset while it is read; empty otherwise
};

// What became of a snapshot's picture.
struct Written {
    std::int64_t number = 0; // the file's number; 0 when none was written
    std::string problem; // what the user should know of a failure beyond that it failed; may be empty
};

// Writes a snapshot's picture as a numbered JPEG file.
class SnapshotWriter {
public:
    virtual ~SnapshotWriter() = default;

    // Writes the picture as the file `number` of the folder, stamped with
    // `stamp` (EXIF); when another program took that name meanwhile, the
    // following numbers are tried.
    [[nodiscard]] virtual Written write(const Picture &picture, const std::filesystem::path &imagesFolder,
        std::int64_t number, std::int32_t quality, const SnapshotStamp &stamp, SnapshotTimings &timings)
        = 0;
};

// The road through the companion writer: the picture as a bitmap in the
// temporary file, DIWriteJpg turns it into the JPEG file, the bitmap goes.
// The stamp rides along in the bitmap: its moment as the file's modification
// time, its description in a block before the pixels.
class SnapshotSaver final : public SnapshotWriter {
public:
    explicit SnapshotSaver(std::vector<std::filesystem::path> writerFolders);
    // Removes the private folder of the temporary bitmap, if this run made one.
    ~SnapshotSaver() override;

    [[nodiscard]] Written write(const Picture &picture, const std::filesystem::path &imagesFolder,
        std::int64_t number, std::int32_t quality, const SnapshotStamp &stamp, SnapshotTimings &timings) override;

private:
    WriterLibrary m_library;
};

} // namespace zx
