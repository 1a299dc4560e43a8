#include "writejpg.h"

#include "bmpreader.h"
#include "fileio.h"
#include "jpegencoder.h"

namespace zx {

JpgResult writeJpegFile(const std::string &bitmapPath, const char *target, int quality)
{
    if (quality < 1 || quality > 100)
        return JpgResult::BadQuality;
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
    const auto jpeg = jpeg::encodeJpeg(*picture, quality);
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
