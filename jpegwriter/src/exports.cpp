#include "writejpg.h"

#include <zentrolux/tempbitmap.h>

extern "C" int DIWriteJpg(const char *path, int quality, int /*option: reserved, always 0*/)
{
    // Nothing may unwind into a caller that knows only C.
    try {
        const auto bitmapPath = zx::tempBitmapPath();
        if (!bitmapPath)
            return static_cast<int>(zx::JpgResult::BadBitmap);
        return static_cast<int>(zx::writeJpegFile(*bitmapPath, path, quality));
    } catch (...) {
        return static_cast<int>(zx::JpgResult::Failed);
    }
}
