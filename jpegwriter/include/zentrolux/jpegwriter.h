#pragma once

// The companion JPEG writer: turns the snapshot bitmap that the program has just
// written to zx::tempBitmapPath() into a JPEG file. It is a library of its own,
// loaded by name at run time, so its one entry point has C linkage.

#if defined(_WIN32)
#if defined(ZX_JPEGWRITER_BUILDING)
#define ZX_JPEGWRITER_API __declspec(dllexport)
#else
#define ZX_JPEGWRITER_API __declspec(dllimport)
#endif
#else
#define ZX_JPEGWRITER_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Writes the temporary snapshot bitmap as a JPEG file at `path` (8-bit text:
// UTF-8 on Linux, the system code page on Windows) with `quality` 1..100; a
// quality below 1 is taken as 1 and one above 100 as 100.
// The file carries in EXIF the bitmap file's modification time as the moment
// of the picture (DateTimeOriginal with its milliseconds and the local time
// zone's offset then), so a caller that wants another moment sets that time;
// and the text of the bitmap's description block (zentrolux/descriptionblock.h),
// if it has one, as its ImageDescription.
// `option` is reserved and should be 0. Returns 1 when the file was written;
// any other value is a failure (see zx::JpgResult). An existing file is never
// replaced, and on failure no file is left behind. The temporary bitmap is
// left in place: the caller removes it.
ZX_JPEGWRITER_API int DIWriteJpg(const char *path, int quality, int option);

#ifdef __cplusplus
}

namespace zx {

// Results of DIWriteJpg. Every value but Written is a failure.
enum class JpgResult : int {
    Failed = 0,
    Written = 1,
    TargetExists = 2, // a file of that name is there already: try another name
    BadBitmap = 3, // the temporary bitmap is missing, unreadable or not one we read
    // 4 is not used: a quality outside 1..100 is brought into it.
    CannotWrite = 5, // the target folder is missing or refuses the file
};

using DIWriteJpgFunction = int (*)(const char *path, int quality, int option);

// What the program looks up once the library is loaded.
inline constexpr const char *kDIWriteJpgSymbol = "DIWriteJpg";

} // namespace zx
#endif
