#include "privatefile.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace zx {

// The folder it goes to, the user's temporary folder, is the user's alone: no
// one else can put a link there, and a new file takes the folder's access list.
struct PrivateFile::Handle {
    std::filesystem::path path;
    std::ofstream out;
    bool created = false;
    bool finished = false;
};

PrivateFile::PrivateFile(const std::string &path)
    : m_handle(std::make_unique<Handle>())
{
    m_handle->path = std::filesystem::path(std::u8string(path.begin(), path.end()));
    m_handle->out.open(m_handle->path, std::ios::binary | std::ios::trunc);
    m_handle->created = m_handle->out.is_open();
}

PrivateFile::~PrivateFile()
{
    if (m_handle->created && !m_handle->finished) {
        m_handle->out.close();
        std::error_code ignored;
        std::filesystem::remove(m_handle->path, ignored);
    }
}

bool PrivateFile::isOpen() const
{
    return m_handle->out.is_open();
}

bool PrivateFile::write(std::span<const std::uint8_t> bytes)
{
    m_handle->out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(m_handle->out);
}

bool PrivateFile::finish()
{
    m_handle->out.close();
    m_handle->finished = static_cast<bool>(m_handle->out);
    return m_handle->finished;
}

} // namespace zx
