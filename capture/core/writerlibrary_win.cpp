#include "writerlibrary.h"

#include <zentrolux/jpegwriter.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace zx {

namespace {

constexpr const wchar_t *FileName = L"Zentrolux.dll";

} // namespace

WriterLibrary::WriterLibrary(std::vector<std::filesystem::path> folders)
    : m_folders(std::move(folders))
{
}

WriterLibrary::~WriterLibrary()
{
    if (m_handle != nullptr)
        FreeLibrary(static_cast<HMODULE>(m_handle));
}

WriterLibrary::WriteJpg WriterLibrary::function()
{
    if (m_function != nullptr)
        return m_function;
    std::vector<std::wstring> candidates;
    for (const auto &folder : m_folders)
        candidates.push_back((folder / FileName).wstring());
    candidates.emplace_back(FileName); // the system's search
    for (const std::wstring &candidate : candidates) {
        HMODULE handle = LoadLibraryW(candidate.c_str());
        if (handle == nullptr)
            continue;
        if (FARPROC symbol = GetProcAddress(handle, kDIWriteJpgSymbol)) {
            m_handle = handle;
            m_function = reinterpret_cast<WriteJpg>(reinterpret_cast<void *>(symbol));
            return m_function;
        }
        FreeLibrary(handle);
    }
    return nullptr;
}

} // namespace zx
