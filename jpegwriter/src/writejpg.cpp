#include "writejpg.h"

#include "bmpreader.h"
#include "exif.h"
#include "fileio.h"
#include "jpegencoder.h"

#include <algorithm>

namespace zx {

JpgResult writeJpegFile(const std::string &bitmapPath, const char *target, int quality)
{
    // As JPEG libraries conventionally do, so a hand-edited quality of 0 or
    // 500 still gives snapshots rather than failing every one of them.
    quality = std::clamp(quality, 1, 100);
    if (target == nullptr || *target == '\0')
        return JpgResult::CannotWrite;
    const std::string targetPath(target);
    // Cheap to ask first; the final rename checks again without a gap.
    if (fileio::nameTaken(targetPath))
        return JpgResult::TargetExists;

    const auto file = fileio::readWholeFile(bitmapPath, kMaxBitmapFileBytes);
    if (!file)
        return JpgResult::BadBitmap;
    const auto picture = bmp::parseBmp(file->bytes());
    if (!picture)
        return JpgResult::BadBitmap;
    // The bitmap's modification time is the moment of the picture: the program
    // sets it to that of the grab; for any other caller it is when the bitmap was written.
    const auto app1 = exif::app1Segment({ fileio::localMoment(file->modified()), picture->description });
    const auto jpeg = jpeg::encodeJpeg(*picture, quality, app1);
    if (!jpeg)
        return JpgResult::Failed;

    switch (fileio::publishNewFile(targetPath, jpeg->bytes())) {
    case fileio::PublishResult::Published:
        return JpgResult::Written;
    case fileio::PublishResult::Exists:
        return JpgResult::TargetExists;
    case fileio::PublishResult::Failed:
        break;
    }
    return JpgResult::CannotWrite;
}

} // namespace zx
