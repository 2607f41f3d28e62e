#include "platform/posix/posix_file_system.h"

#include "platform/posix/posix_paths.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/statvfs.h>
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
    int Release()
    {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

OsError LastError()
{
    return ErrorFromErrno(errno);
}

FileStatus StatusOf(int parentFd, const char* name, const struct stat& st)
{
    FileStatus status;
    status.isLink = S_ISLNK(st.st_mode);
    status.isFolder = S_ISDIR(st.st_mode);
    if (status.isLink)
    {
        // Only whether the target is a folder is read, nothing of it is used.
        struct stat target;
        status.isFolder = ::fstatat(parentFd, name, &target, 0) == 0 && S_ISDIR(target.st_mode);
    }
    status.readOnly = !status.isLink && (st.st_mode & S_IWUSR) == 0;
    std::string_view base = name;
    status.hidden = !base.empty() && base.front() == '.' && base != "." && base != "..";
    status.size = S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
    status.identity = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                       true};
    status.linkCount = S_ISREG(st.st_mode) ? static_cast<std::uint32_t>(st.st_nlink) : 1;
    return status;
}

// An entry held by an O_PATH descriptor that never followed a link, with its
// folder's descriptor, so that every later call reaches it by the same folder.
class CPosixEntry : public IEntry
{
public:
    CPosixEntry(int parentFd, std::string name, int fd, FileStatus status, std::string path)
        : m_parent(parentFd), m_name(std::move(name)), m_fd(fd), m_status(status),
          m_path(std::move(path))
    {
    }
    const FileStatus& Status() const override { return m_status; }
    std::string Path() const override { return m_path; }
    int Parent() const { return m_parent.Get(); }
    const char* Name() const { return m_name.c_str(); }
    int Fd() const { return m_fd.Get(); }

private:
    CFd m_parent;
    std::string m_name;
    CFd m_fd;
    FileStatus m_status;
    std::string m_path;
};

bool IsPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// Opens `name` in the folder `parentFd` (which the entry then owns) without
// following a link.
std::unique_ptr<IEntry> OpenAt(int parentFd, const std::string& name, std::string path,
                               OsError& error)
{
    CFd parent(parentFd);
    if (parent.Get() < 0)
    {
        error = LastError();
        return nullptr;
    }
    int fd = ::openat(parent.Get(), name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
    {
        error = LastError();
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0)
    {
        error = LastError();
        ::close(fd);
        return nullptr;
    }
    FileStatus status = StatusOf(parent.Get(), name.c_str(), st);
    return std::make_unique<CPosixEntry>(parent.Release(), name, fd, status, std::move(path));
}

// Renames inside the folder `at`, never replacing an entry.
bool RenameNoReplace(int at, const std::string& from, const std::string& to, OsError& error)
{
    if (::renameat2(at, from.c_str(), at, to.c_str(), RENAME_NOREPLACE) == 0)
    {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS)
    {
        error = LastError();
        return false;
    }
    // A file system without no-replace renames: a hard link fails on an
    // existing name just the same.
    if (::linkat(at, from.c_str(), at, to.c_str(), 0) != 0)
    {
        error = LastError();
        return false;
    }
    if (::unlinkat(at, from.c_str(), 0) != 0)
    {
        error = LastError();
        ::unlinkat(at, to.c_str(), 0);
        return false;
    }
    return true;
}

// Memory aligned for reads past the page cache.
struct CAlignedFree
{
    void operator()(std::uint8_t* p) const { std::free(p); }
};

class CPosixOpenFile : public IOpenFile
{
public:
    explicit CPosixOpenFile(int fd) : m_fd(fd) {}
    ~CPosixOpenFile() override
    {
        OsError ignored;
        Close(ignored);
    }
    CPosixOpenFile(const CPosixOpenFile&) = delete;
    CPosixOpenFile& operator=(const CPosixOpenFile&) = delete;

    bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size,
                 OsError& error) override
    {
        while (size > 0)
        {
            ssize_t wrote = ::pwrite(m_fd, data, size, static_cast<off_t>(offset));
            if (wrote < 0 && errno == EINTR)
            {
                continue;
            }
            if (wrote <= 0)
            {
                error = wrote < 0 ? LastError() : ErrorFromErrno(ENOSPC);
                return false;
            }
            data += wrote;
            size -= static_cast<std::size_t>(wrote);
            offset += static_cast<std::uint64_t>(wrote);
        }
        return true;
    }

    bool Flush(OsError& error) override
    {
        if (::fdatasync(m_fd) != 0)
        {
            error = LastError();
            return false;
        }
        return true;
    }

    bool Truncate(std::uint64_t size, OsError& error) override
    {
        if (::ftruncate(m_fd, static_cast<off_t>(size)) != 0)
        {
            error = LastError();
            return false;
        }
        return true;
    }

    std::optional<std::uint64_t> Size(OsError& error) override
    {
        struct stat st;
        if (::fstat(m_fd, &st) != 0)
        {
            error = LastError();
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(st.st_size);
    }

    std::optional<std::span<const std::uint8_t>> ReadBack(std::uint64_t offset, std::size_t most,
                                                          OsError& error) override
    {
        const std::size_t want = (most + kReadBackAlignment - 1) / kReadBackAlignment *
                                 kReadBackAlignment;
        if (offset % kReadBackAlignment != 0 || !OpenForReading(error))
        {
            error = error.kind == ErrorKind::None ? ErrorFromErrno(EINVAL) : error;
            return std::nullopt;
        }
        if (want > m_readCapacity)
        {
            void* memory = nullptr;
            if (::posix_memalign(&memory, kReadBackAlignment, want) != 0)
            {
                error = ErrorFromErrno(ENOMEM);
                return std::nullopt;
            }
            m_readBuffer.reset(static_cast<std::uint8_t*>(memory));
            m_readCapacity = want;
        }
        if (offset == 0 && !m_direct)
        {
            DropCache();
        }
        std::size_t got = 0;
        while (got < want)
        {
            ssize_t read = ::pread(m_readFd, m_readBuffer.get() + got, want - got,
                                   static_cast<off_t>(offset + got));
            if (read < 0 && errno == EINTR)
            {
                continue;
            }
            if (read < 0 && errno == EINVAL && m_direct)
            {
                // The file system took O_DIRECT at the open but not for reads.
                ::close(m_readFd);
                m_readFd = -1;
                m_direct = false;
                if (!OpenForReading(error, false))
                {
                    return std::nullopt;
                }
                DropCache();
                continue;
            }
            if (read < 0)
            {
                error = LastError();
                return std::nullopt;
            }
            if (read == 0)
            {
                break;
            }
            got += static_cast<std::size_t>(read);
        }
        return std::span<const std::uint8_t>(m_readBuffer.get(), std::min(got, most));
    }

    bool Close(OsError& error) override
    {
        if (m_readFd >= 0)
        {
            ::close(m_readFd);
            m_readFd = -1;
        }
        if (m_fd < 0)
        {
            return true;
        }
        int result = ::close(m_fd);
        m_fd = -1;
        if (result != 0 && errno != EINTR)
        {
            error = LastError();
            return false;
        }
        return true;
    }

    bool Rename(IEntry& folder, const std::string& from, const std::string& to,
                OsError& error) override
    {
        const int at = static_cast<CPosixEntry&>(folder).Fd();
        if (!IsPlainName(from) || !IsPlainName(to))
        {
            error = ErrorFromErrno(EINVAL);
            return false;
        }
        if (!Names(at, from, error))
        {
            return false;
        }
        if (!RenameNoReplace(at, from, to, error))
        {
            return false;
        }
        // Another file may have taken the name between the check and the
        // rename: what moved is then put back, and this file is not named.
        OsError moved;
        if (!Names(at, to, moved))
        {
            OsError ignored;
            RenameNoReplace(at, to, from, ignored);
            error = moved;
            return false;
        }
        return true;
    }

    bool Delete(IEntry& folder, const std::string& name, OsError& error) override
    {
        const int at = static_cast<CPosixEntry&>(folder).Fd();
        if (!IsPlainName(name))
        {
            error = ErrorFromErrno(EINVAL);
            return false;
        }
        if (!Names(at, name, error))
        {
            return false;
        }
        if (::unlinkat(at, name.c_str(), 0) != 0)
        {
            error = LastError();
            return false;
        }
        return true;
    }

private:
    // Whether `name` in the folder `at` is this open file, not a link and not
    // another file; ESTALE when it leads elsewhere.
    bool Names(int at, const std::string& name, OsError& error) const
    {
        struct stat self;
        struct stat named;
        if (::fstat(m_fd, &self) != 0 ||
            ::fstatat(at, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0)
        {
            error = LastError();
            return false;
        }
        if (self.st_dev != named.st_dev || self.st_ino != named.st_ino || !S_ISREG(named.st_mode))
        {
            error = ErrorFromErrno(ESTALE);
            return false;
        }
        return true;
    }

    // Each reading starts from the drive: what the cache held is written out
    // and dropped.
    void DropCache()
    {
        ::fdatasync(m_fd);
        ::posix_fadvise(m_readFd, 0, 0, POSIX_FADV_DONTNEED);
    }

    // A second descriptor of the same inode, opened for reading: with
    // O_DIRECT where the file system allows it, so that what is read comes
    // from the drive; elsewhere (tmpfs) after the cached pages were dropped.
    bool OpenForReading(OsError& error, bool direct = true)
    {
        if (m_readFd >= 0)
        {
            return true;
        }
        const std::string proc = "/proc/self/fd/" + std::to_string(m_fd);
        m_direct = direct;
        m_readFd = direct ? ::open(proc.c_str(), O_RDONLY | O_DIRECT | O_CLOEXEC) : -1;
        if (m_readFd < 0)
        {
            m_direct = false;
            m_readFd = ::open(proc.c_str(), O_RDONLY | O_CLOEXEC);
        }
        if (m_readFd < 0)
        {
            error = LastError();
            return false;
        }
        return true;
    }

    int m_fd;
    int m_readFd = -1;
    bool m_direct = false;
    std::unique_ptr<std::uint8_t, CAlignedFree> m_readBuffer;
    std::size_t m_readCapacity = 0;
};

} // namespace

OsError ErrorFromErrno(int code)
{
    OsError error;
    error.code = static_cast<std::uint32_t>(code);
    switch (code)
    {
    case 0:
        error.kind = ErrorKind::None;
        break;
    case ENOENT:
    case ENOTDIR:
        error.kind = ErrorKind::NotFound;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        error.kind = ErrorKind::AccessDenied;
        break;
    case EEXIST:
        error.kind = ErrorKind::AlreadyExists;
        break;
    case ENOSPC:
    case EDQUOT:
        error.kind = ErrorKind::DiskFull;
        break;
    case ENOTEMPTY:
        error.kind = ErrorKind::NotEmpty;
        break;
    case EBUSY:
    case ETXTBSY:
        error.kind = ErrorKind::SharingViolation;
        break;
    default:
        error.kind = ErrorKind::Other;
        break;
    }
    return error;
}

std::string CPosixFileSystem::AbsolutePath(const std::string& path)
{
    if (!path.empty() && (path.front() == '\\' || path.front() == '/'))
    {
        return path;
    }
    char buffer[4096];
    if (!::getcwd(buffer, sizeof buffer))
    {
        return path;
    }
    return FromPosixPath(buffer) + "\\" + path;
}

std::optional<FileStatus> CPosixFileSystem::Status(const std::string& path, OsError& error)
{
    std::unique_ptr<IEntry> entry = Open(path, error);
    if (!entry)
    {
        return std::nullopt;
    }
    return entry->Status();
}

std::unique_ptr<IEntry> CPosixFileSystem::Open(const std::string& path, OsError& error)
{
    std::string posixPath = ToPosixPath(path);
    while (posixPath.size() > 1 && posixPath.back() == '/')
    {
        posixPath.pop_back();
    }
    std::size_t slash = posixPath.rfind('/');
    if (posixPath == "/" || slash == std::string::npos)
    {
        // The root is its own folder; a bare name lies in the current one.
        std::string name = posixPath == "/" ? "." : posixPath;
        return OpenAt(::open(posixPath == "/" ? "/" : ".", O_PATH | O_DIRECTORY | O_CLOEXEC), name,
                      path, error);
    }
    // The folders above were named by the user and may be reached through
    // links; the last name never is.
    std::string parent = slash == 0 ? "/" : posixPath.substr(0, slash);
    return OpenAt(::open(parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC),
                  posixPath.substr(slash + 1), path, error);
}

std::unique_ptr<IEntry> CPosixFileSystem::OpenIn(IEntry& folder, const std::string& name,
                                                 OsError& error)
{
    auto& parent = static_cast<CPosixEntry&>(folder);
    if (!IsPlainName(name))
    {
        error = ErrorFromErrno(EINVAL);
        return nullptr;
    }
    return OpenAt(::fcntl(parent.Fd(), F_DUPFD_CLOEXEC, 0), name, JoinPath(folder.Path(), name),
                  error);
}

bool CPosixFileSystem::List(IEntry& folder, std::vector<FolderEntry>& entries, OsError& error)
{
    auto& self = static_cast<CPosixEntry&>(folder);
    if (folder.Status().isLink || !folder.Status().isFolder)
    {
        error = ErrorFromErrno(ENOTDIR);
        return false;
    }
    int fd = ::openat(self.Fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir)
    {
        error = LastError();
        if (fd >= 0)
        {
            ::close(fd);
        }
        return false;
    }
    entries.clear();
    while (dirent* entry = ::readdir(dir))
    {
        std::string_view name = entry->d_name;
        if (name == "." || name == "..")
        {
            continue;
        }
        struct stat st;
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0)
        {
            continue; // gone since the listing began
        }
        entries.push_back({std::string(name), StatusOf(::dirfd(dir), entry->d_name, st)});
    }
    ::closedir(dir);
    return true;
}

bool CPosixFileSystem::SetNormalAttributes(IEntry& entry, OsError& error)
{
    auto& self = static_cast<CPosixEntry&>(entry);
    struct stat st;
    if (::fstat(self.Fd(), &st) != 0)
    {
        error = LastError();
        return false;
    }
    if (S_ISLNK(st.st_mode) || (st.st_mode & S_IWUSR) != 0)
    {
        return true;
    }
    // The descriptor's own inode, whatever its name leads to by now.
    std::string proc = "/proc/self/fd/" + std::to_string(self.Fd());
    if (::chmod(proc.c_str(), (st.st_mode & 07777) | S_IWUSR) != 0)
    {
        error = LastError();
        return false;
    }
    return true;
}

std::unique_ptr<IOpenFile> CPosixFileSystem::OpenForOverwrite(IEntry& file, OsError& error)
{
    auto& self = static_cast<CPosixEntry&>(file);
    // O_NOFOLLOW: a link swapped in for the file is refused, not followed.
    // No O_DSYNC: the fdatasync that ends every pass puts the pass on the
    // disk just the same, while a sync per 64 KiB block measured 2.4 times
    // slower than GNU shred, which also syncs once per pass.
    int fd = ::openat(self.Parent(), self.Name(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
    {
        error = LastError();
        return nullptr;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
        !(FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
                       true} == file.Status().identity))
    {
        // Another file took the name since it was checked.
        error = ErrorFromErrno(ESTALE);
        ::close(fd);
        return nullptr;
    }
    return std::make_unique<CPosixOpenFile>(fd);
}

std::vector<std::string> CPosixFileSystem::Streams(IEntry&)
{
    return {};
}

std::unique_ptr<IOpenFile> CPosixFileSystem::OpenStreamForOverwrite(IEntry&, const std::string&,
                                                                    OsError& error)
{
    error = ErrorFromErrno(ENOTSUP);
    return nullptr;
}

std::vector<std::string> CPosixFileSystem::OtherNames(IEntry&)
{
    return {}; // only a search of the whole file system would find them
}

bool CPosixFileSystem::RenameIn(IEntry& folder, const std::string& from, const std::string& to,
                                OsError& error)
{
    int fd = static_cast<CPosixEntry&>(folder).Fd();
    if (!IsPlainName(from) || !IsPlainName(to))
    {
        error = ErrorFromErrno(EINVAL);
        return false;
    }
    return RenameNoReplace(fd, from, to, error);
}

bool CPosixFileSystem::RemoveIn(IEntry& folder, const std::string& name, RemoveKind kind,
                                OsError& error)
{
    int fd = static_cast<CPosixEntry&>(folder).Fd();
    if (!IsPlainName(name))
    {
        error = ErrorFromErrno(EINVAL);
        return false;
    }
    struct stat st;
    if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
    {
        error = LastError();
        return false;
    }
    // Only what the caller decided on is removed.
    bool matches = kind == RemoveKind::Link     ? S_ISLNK(st.st_mode)
                   : kind == RemoveKind::Folder ? S_ISDIR(st.st_mode)
                                                : !S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode);
    if (!matches)
    {
        error = ErrorFromErrno(EINVAL);
        return false;
    }
    if (::unlinkat(fd, name.c_str(), kind == RemoveKind::Folder ? AT_REMOVEDIR : 0) != 0)
    {
        error = LastError();
        return false;
    }
    return true;
}

bool CPosixFileSystem::RemoveFile(const std::string& path, OsError& error)
{
    if (::unlink(ToPosixPath(path).c_str()) != 0)
    {
        error = LastError();
        return false;
    }
    return true;
}

bool CPosixFileSystem::RemoveFolder(const std::string& path, OsError& error)
{
    if (::rmdir(ToPosixPath(path).c_str()) != 0)
    {
        error = LastError();
        return false;
    }
    return true;
}

bool CPosixFileSystem::ListFolder(const std::string& path, std::vector<FolderEntry>& entries,
                                  OsError& error)
{
    std::unique_ptr<IEntry> folder = Open(path, error);
    return folder && List(*folder, entries, error);
}

bool CPosixFileSystem::CreateFolder(const std::string& path, OsError& error)
{
    if (::mkdir(ToPosixPath(path).c_str(), 0700) != 0)
    {
        error = LastError();
        return false;
    }
    return true;
}

std::unique_ptr<IOpenFile> CPosixFileSystem::CreateForWriting(const std::string& path,
                                                              OsError& error)
{
    // Flushed by the caller when it has written what it wanted, as above.
    int fd = ::open(ToPosixPath(path).c_str(),
                    O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
    {
        error = LastError();
        return nullptr;
    }
    return std::make_unique<CPosixOpenFile>(fd);
}

std::unique_ptr<IOpenFile> CPosixFileSystem::CreateNewForWriting(const std::string& path,
                                                                 OsError& error)
{
    // O_EXCL fails on any existing name, a link too, wherever it leads.
    int fd = ::open(ToPosixPath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0600);
    if (fd < 0)
    {
        error = LastError();
        return nullptr;
    }
    return std::make_unique<CPosixOpenFile>(fd);
}

std::optional<FreeSpaceInfo> CPosixFileSystem::QueryFreeSpace(const std::string& root, bool legacy,
                                                              OsError& error)
{
    struct statvfs st;
    if (::statvfs(ToPosixPath(root).c_str(), &st) != 0)
    {
        error = LastError();
        return std::nullopt;
    }
    // The blocks a file system keeps back (root's reserve, ext4's own) are no
    // user quota: what this process may fill is the free space here.
    FreeSpaceInfo info;
    info.available = static_cast<std::uint64_t>(st.f_bavail) * st.f_frsize;
    info.totalFree = info.available;
    if (legacy)
    {
        // The old call multiplies in 32 bits and knows no reserve.
        info.available = info.totalFree = info.totalFree & 0xFFFFFFFFu;
    }
    return info;
}

std::string CPosixFileSystem::ErrorText(std::uint32_t code)
{
    return std::strerror(static_cast<int>(code));
}

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

std::optional<std::uint64_t> CPosixFileSystem::FileSize(const std::string& path)
{
    struct stat info
    {
    };
    if (::stat(ToPosixPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_size);
}

std::optional<std::uint64_t> CPosixFileSystem::LastWriteTime(const std::string& path)
{
    struct stat info
    {
    };
    if (::stat(ToPosixPath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 1000000000ull +
           static_cast<std::uint64_t>(info.st_mtim.tv_nsec);
}

} // namespace qw
