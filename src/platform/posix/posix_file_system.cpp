#include "platform/posix/posix_file_system.h"

#include "platform/posix/posix_paths.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace qw
{
namespace
{

class CFd
{
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd()
    {
        if (m_fd >= 0)
        {
            ::close(m_fd);
        }
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

std::optional<std::string> CPosixFileSystem::ReadWholeFile(const std::string& path)
{
    CFd fd(::open(ToPosixPath(path).c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0)
    {
        return std::nullopt;
    }
    std::string data;
    char chunk[16384];
    while (true)
    {
        ssize_t got = ::read(fd.Get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
        {
            continue;
        }
        if (got < 0)
        {
            return std::nullopt;
        }
        if (got == 0)
        {
            return data;
        }
        data.append(chunk, static_cast<std::size_t>(got));
    }
}

bool CPosixFileSystem::AppendToFile(const std::string& path, std::string_view bytes)
{
    CFd fd(::open(ToPosixPath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
    if (fd.Get() < 0)
    {
        return false;
    }
    // One write call: O_APPEND places it whole at the end.
    ssize_t wrote = ::write(fd.Get(), bytes.data(), bytes.size());
    return wrote == static_cast<ssize_t>(bytes.size());
}

} // namespace qw
