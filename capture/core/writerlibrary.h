#pragma once

#include <filesystem>
#include <vector>

namespace zx {

// The companion JPEG writer, loaded at run time by its file name on this
// system (libZentrolux.so, Zentrolux.dll). One file per system implements it.
class WriterLibrary {
public:
    using WriteJpg = int (*)(const char *path, int quality, int option);

    // folders: where the library is looked for, in order, before the system's
    // own library search.
    explicit WriterLibrary(std::vector<std::filesystem::path> folders);
    ~WriterLibrary();
    WriterLibrary(const WriterLibrary &) = delete;
    WriterLibrary &operator=(const WriterLibrary &) = delete;

    // DIWriteJpg, loaded on first use; nullptr while it cannot be found, so
    // that a library installed later is still found by the next snapshot.
    [[nodiscard]] WriteJpg function();

private:
    std::vector<std::filesystem::path> m_folders;
    void *m_handle = nullptr;
    WriteJpg m_function = nullptr;
};

} // namespace zx
