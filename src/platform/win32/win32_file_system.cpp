#include "platform/win32/win32_file_system.h"

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace qw
{
namespace
{

OsError LastError()
{
    return ErrorFromWin32(GetLastError());
}

FileStatus StatusOf(DWORD attributes, DWORD sizeHigh, DWORD sizeLow)
{
    FileStatus status;
    status.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    status.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    status.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    status.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    status.system = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    status.size = status.isFolder ? 0 : (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow;
    return status;
}

class CWin32OpenFile : public IOpenFile
{
public:
    explicit CWin32OpenFile(HANDLE file) : m_file(file) {}

    bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size,
                 OsError& error) override
    {
        while (size > 0)
        {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset);
            at.OffsetHigh = static_cast<DWORD>(offset >> 32);
            DWORD wrote = 0;
            if (!WriteFile(m_file.Get(), data, static_cast<DWORD>(size), &wrote, &at))
            {
                error = LastError();
                return false;
            }
            if (wrote == 0)
            {
                error = ErrorFromWin32(ERROR_DISK_FULL);
                return false;
            }
            data += wrote;
            size -= wrote;
            offset += wrote;
        }
        return true;
    }

    bool Flush(OsError& error) override
    {
        if (!FlushFileBuffers(m_file.Get()))
        {
            error = LastError();
            return false;
        }
        return true;
    }

    bool Truncate(std::uint64_t size, OsError& error) override
    {
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(size);
        if (!SetFilePointerEx(m_file.Get(), to, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file.Get()))
        {
            error = LastError();
            return false;
        }
        return true;
    }

    void Close() override { m_file.Reset(); }

private:
    CUniqueHandle m_file;
};

class CFindHandle
{
public:
    explicit CFindHandle(HANDLE handle) : m_handle(handle) {}
    ~CFindHandle()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
        {
            FindClose(m_handle);
        }
    }
    CFindHandle(const CFindHandle&) = delete;
    CFindHandle& operator=(const CFindHandle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

} // namespace

OsError ErrorFromWin32(std::uint32_t code)
{
    OsError error;
    error.code = code;
    switch (code)
    {
    case ERROR_SUCCESS:
        error.kind = ErrorKind::None;
        break;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        error.kind = ErrorKind::NotFound;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
        error.kind = ErrorKind::AccessDenied;
        break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        error.kind = ErrorKind::SharingViolation;
        break;
    case ERROR_ALREADY_EXISTS:
    case ERROR_FILE_EXISTS:
        error.kind = ErrorKind::AlreadyExists;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        error.kind = ErrorKind::DiskFull;
        break;
    case ERROR_DIR_NOT_EMPTY:
        error.kind = ErrorKind::NotEmpty;
        break;
    default:
        error.kind = ErrorKind::Other;
        break;
    }
    return error;
}

std::optional<FileStatus> CWin32FileSystem::Status(const std::string& path, OsError& error)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &data))
    {
        error = LastError();
        return std::nullopt;
    }
    return StatusOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow);
}

bool CWin32FileSystem::SetNormalAttributes(const std::string& path, OsError& error)
{
    std::wstring wide = WidePath(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        error = LastError();
        return false;
    }
    DWORD normal =
        attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (normal == attributes)
    {
        return true;
    }
    if (!SetFileAttributesW(wide.c_str(), normal ? normal : FILE_ATTRIBUTE_NORMAL))
    {
        error = LastError();
        return false;
    }
    return true;
}

std::unique_ptr<IOpenFile> CWin32FileSystem::OpenForOverwrite(const std::string& path,
                                                              OsError& error)
{
    // Wine 8.0 ignores FILE_FLAG_WRITE_THROUGH; the engine flushes each pass.
    HANDLE file = CreateFileW(
        WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        error = LastError();
        return nullptr;
    }
    return std::make_unique<CWin32OpenFile>(file);
}

bool CWin32FileSystem::Rename(const std::string& from, const std::string& to, OsError& error)
{
    // Without MOVEFILE_REPLACE_EXISTING an existing name makes it fail.
    if (!MoveFileExW(WidePath(from).c_str(), WidePath(to).c_str(), 0))
    {
        error = LastError();
        return false;
    }
    return true;
}

bool CWin32FileSystem::RemoveFile(const std::string& path, OsError& error)
{
    if (!DeleteFileW(WidePath(path).c_str()))
    {
        error = LastError();
        return false;
    }
    return true;
}

bool CWin32FileSystem::RemoveFolder(const std::string& path, OsError& error)
{
    if (!RemoveDirectoryW(WidePath(path).c_str()))
    {
        error = LastError();
        return false;
    }
    return true;
}

bool CWin32FileSystem::RemoveLink(const std::string& path, OsError& error)
{
    std::wstring wide = WidePath(path);
    DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        error = LastError();
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
    {
        error = ErrorFromWin32(ERROR_NOT_A_REPARSE_POINT);
        return false;
    }
    // A folder link or junction goes with RemoveDirectory, which removes
    // the link and never the folder it points to.
    BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(wide.c_str())
                                                           : DeleteFileW(wide.c_str());
    if (!removed)
    {
        error = LastError();
        return false;
    }
    return true;
}

bool CWin32FileSystem::ListFolder(const std::string& path, std::vector<FolderEntry>& entries,
                                  OsError& error)
{
    WIN32_FIND_DATAW data;
    CFindHandle find(FindFirstFileExW(WidePath(path + "\\*").c_str(), FindExInfoBasic, &data,
                                      FindExSearchNameMatch, nullptr, 0));
    if (find.Get() == INVALID_HANDLE_VALUE)
    {
        error = LastError();
        return false;
    }
    entries.clear();
    do
    {
        std::wstring_view name = data.cFileName;
        if (name == L"." || name == L"..")
        {
            continue;
        }
        entries.push_back({WideToUtf8(name),
                           StatusOf(data.dwFileAttributes, data.nFileSizeHigh, data.nFileSizeLow)});
    } while (FindNextFileW(find.Get(), &data));
    DWORD last = GetLastError();
    if (last != ERROR_NO_MORE_FILES)
    {
        error = ErrorFromWin32(last);
        return false;
    }
    return true;
}

bool CWin32FileSystem::CreateFolder(const std::string& path, OsError& error)
{
    if (!CreateDirectoryW(WidePath(path).c_str(), nullptr))
    {
        error = LastError();
        return false;
    }
    return true;
}

std::unique_ptr<IOpenFile> CWin32FileSystem::CreateForWriting(const std::string& path,
                                                              OsError& error)
{
    HANDLE file = CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        error = LastError();
        return nullptr;
    }
    return std::make_unique<CWin32OpenFile>(file);
}

std::optional<FreeSpaceInfo> CWin32FileSystem::QueryFreeSpace(const std::string& root, bool legacy,
                                                              OsError& error)
{
    std::wstring wide = Utf8ToWide(root);
    FreeSpaceInfo info;
    if (!legacy)
    {
        ULARGE_INTEGER available;
        ULARGE_INTEGER total;
        ULARGE_INTEGER totalFree;
        if (!GetDiskFreeSpaceExW(wide.c_str(), &available, &total, &totalFree))
        {
            error = LastError();
            return std::nullopt;
        }
        info.available = available.QuadPart;
        info.totalFree = totalFree.QuadPart;
        return info;
    }
    DWORD sectorsPerCluster = 0;
    DWORD bytesPerSector = 0;
    DWORD freeClusters = 0;
    DWORD clusters = 0;
    if (!GetDiskFreeSpaceW(wide.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &clusters))
    {
        error = LastError();
        return std::nullopt;
    }
    // The old call's product wraps at 32 bits, as on the systems that need it.
    DWORD bytes = sectorsPerCluster * bytesPerSector * freeClusters;
    info.available = info.totalFree = bytes;
    return info;
}

std::string CWin32FileSystem::ErrorText(std::uint32_t code)
{
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n == 0 || !text)
    {
        return "Error " + std::to_string(code);
    }
    std::string result = WideToUtf8({text, n});
    LocalFree(text);
    return result;
}

std::optional<std::string> CWin32FileSystem::ReadWholeFile(const std::string& path)
{
    CUniqueHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
    {
        return std::nullopt;
    }
    std::string data;
    char chunk[16384];
    while (true)
    {
        DWORD got = 0;
        if (!ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr))
        {
            return std::nullopt;
        }
        if (got == 0)
        {
            return data;
        }
        data.append(chunk, got);
    }
}

bool CWin32FileSystem::AppendToFile(const std::string& path, std::string_view bytes)
{
    // Append-only access makes every write land at the current end, so two
    // processes appending at once never overwrite each other's entries.
    CUniqueHandle file(CreateFileW(WidePath(path).c_str(), FILE_APPEND_DATA,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid())
    {
        return false;
    }
    DWORD wrote = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) &&
           wrote == bytes.size();
}

} // namespace qw
