#include "platform/posix/posix_named_mutexes.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace qw
{
namespace
{

class CHeldLockFile : public IHeldMutex
{
public:
    explicit CHeldLockFile(int fd) : m_fd(fd) {}
    ~CHeldLockFile() override { ::close(m_fd); }
    CHeldLockFile(const CHeldLockFile&) = delete;
    CHeldLockFile& operator=(const CHeldLockFile&) = delete;

private:
    int m_fd;
};

std::string LockFilePath(const std::string& name)
{
    const char* folder = std::getenv("TMPDIR");
    std::string path = folder && *folder ? folder : "/tmp";
    path += '/';
    for (char c : name)
    {
        path += c == '/' || c == ' ' ? '_' : c;
    }
    return path + ".lock";
}

} // namespace

std::unique_ptr<IHeldMutex> CPosixNamedMutexes::Hold(const std::string& name,
                                                     std::chrono::milliseconds timeout)
{
    const std::string path = LockFilePath(name);
    // Read access is enough for flock, so a lock file of another user serves.
    int fd = ::open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EACCES)
    {
        fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    }
    if (fd < 0)
    {
        return nullptr;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0)
    {
        if ((errno != EWOULDBLOCK && errno != EINTR) ||
            std::chrono::steady_clock::now() >= deadline)
        {
            ::close(fd);
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return std::make_unique<CHeldLockFile>(fd);
}

} // namespace qw
