#include "writerlibrary.h"

#include <zentrolux/jpegwriter.h>

#include <dlfcn.h>

#include <string>

namespace zx {

namespace {

constexpr const char *FileName = "libZentrolux.so";

} // namespace

WriterLibrary::WriterLibrary(std::vector<std::filesystem::path> folders)
    : m_folders(std::move(folders))
{
}

WriterLibrary::~WriterLibrary()
{
    if (m_handle != nullptr)
        ::dlclose(m_handle);
}

WriterLibrary::WriteJpg WriterLibrary::function()
{
    if (m_function != nullptr)
        return m_function;
    std::vector<std::string> candidates;
    for (const auto &folder : m_folders)
        candidates.push_back((folder / FileName).string());
    candidates.emplace_back(FileName); // the system's search
    for (const std::string &candidate : candidates) {
        void *handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr)
            continue;
        if (void *symbol = ::dlsym(handle, kDIWriteJpgSymbol)) {
            m_handle = handle;
            m_function = reinterpret_cast<WriteJpg>(symbol);
            return m_function;
        }
        ::dlclose(handle);
    }
    return nullptr;
}

} // namespace zx
