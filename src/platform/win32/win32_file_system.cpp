#include "platform/win32/win32_file_system.h"

#include "platform/win32/timeline.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

#include <cstring>
#include <winioctl.h>
#include <winternl.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace qw
{
namespace
{

OsError LastError()
{
    return ErrorFromWin32(GetLastError());
}

// The native calls that open a name relative to a folder handle already
// held. A path given whole is looked up again from the drive's root at
// every call: wine 8.0 spent about 5 ms per open at depth 100 and 7 ms at
// depth 200, which made a deep tree cost the square of its depth. Looked
// up at run time: MinGW declares only some of them.
struct NativeCalls
{
    using CreateFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                      PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
    using SetInformationFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                              FILE_INFORMATION_CLASS);
    using QueryInformationFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                FILE_INFORMATION_CLASS);
    using ToWin32Fn = ULONG(NTAPI*)(NTSTATUS);
    CreateFn create = nullptr;
    SetInformationFn setInformation = nullptr;
    QueryInformationFn queryInformation = nullptr;
    ToWin32Fn toWin32 = nullptr;

    bool Usable() const { return create && setInformation && queryInformation && toWin32; }
};

const NativeCalls& Native()
{
    static const NativeCalls calls = []
    {
        NativeCalls c;
        if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll"))
        {
            auto find = [ntdll](const char* name)
            { return reinterpret_cast<void*>(GetProcAddress(ntdll, name)); };
            c.create = reinterpret_cast<NativeCalls::CreateFn>(find("NtCreateFile"));
            c.setInformation =
                reinterpret_cast<NativeCalls::SetInformationFn>(find("NtSetInformationFile"));
            c.queryInformation =
                reinterpret_cast<NativeCalls::QueryInformationFn>(find("NtQueryInformationFile"));
            c.toWin32 = reinterpret_cast<NativeCalls::ToWin32Fn>(find("RtlNtStatusToDosError"));
        }
        return c;
    }();
    return calls;
}

// Whether the program runs under wine, which shows links to files as the
// files they lead to.
bool OnWine()
{
    static const bool wine = []
    {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
    }();
    return wine;
}

// The path the system resolves a handle to, in its native form, without a
// trailing backslash; empty when it cannot tell. Asked of NtQueryObject with
// room for the longest path: wine 8.0's GetFinalPathNameByHandleW fails with
// ERROR_MORE_DATA for a path beyond MAX_PATH whatever the buffer.
std::wstring FinalPath(HANDLE handle)
{
    using QueryObjectFn = NTSTATUS(NTAPI*)(HANDLE, int, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    constexpr int kObjectNameInformation = 1;
    alignas(8) static thread_local std::uint8_t buffer[sizeof(UNICODE_STRING) + 65536];
    ULONG length = 0;
    if (!query || query(handle, kObjectNameInformation, buffer, sizeof buffer, &length) < 0)
    {
        return {};
    }
    const auto* name = reinterpret_cast<const UNICODE_STRING*>(buffer);
    std::wstring path(name->Buffer ? name->Buffer : L"", name->Length / sizeof(wchar_t));
    while (!path.empty() && path.back() == L'\\')
    {
        path.pop_back();
    }
    return path;
}

bool SameNameNoCase(std::wstring_view a, std::wstring_view b)
{
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Where an entry lies: by its plain name inside a folder held open (the
// folder's handle lives as long as anything opened in it), or, for an entry
// opened by path, at its full path only. `path` (\\?\ form) is always set.
struct Location
{
    std::shared_ptr<CUniqueHandle> folder;
    std::wstring name;
    std::wstring path;
    // The volume of `folder`, which everything opened in it without
    // following a link lies on: a mount point is a reparse point, opened as
    // itself and never entered.
    std::uint64_t volume = 0;

    bool Relative() const { return folder && folder->Valid() && Native().Usable(); }
};

// Opens like CreateFileW(OPEN_EXISTING) with these flags, relative to the
// folder where there is one.
CUniqueHandle OpenAt(const Location& at, DWORD access, DWORD share, DWORD flags, OsError& error,
                     bool folderOnly = false)
{
    if (!at.Relative())
    {
        CUniqueHandle handle(
            CreateFileW(at.path.c_str(), access, share, nullptr, OPEN_EXISTING, flags, nullptr));
        if (!handle.Valid())
        {
            error = LastError();
        }
        return handle;
    }
    // What CreateFileW asks of the system for the same flags.
    ULONG options = FILE_SYNCHRONOUS_IO_NONALERT;
    options |= (flags & FILE_FLAG_BACKUP_SEMANTICS) ? FILE_OPEN_FOR_BACKUP_INTENT
                                                    : FILE_NON_DIRECTORY_FILE;
    options |= folderOnly ? FILE_DIRECTORY_FILE : 0;
    options |= (flags & FILE_FLAG_OPEN_REPARSE_POINT) ? FILE_OPEN_REPARSE_POINT : 0;
    options |= (flags & FILE_FLAG_WRITE_THROUGH) ? FILE_WRITE_THROUGH : 0;
    UNICODE_STRING name;
    name.Buffer = const_cast<PWSTR>(at.name.c_str());
    name.Length = static_cast<USHORT>(at.name.size() * sizeof(wchar_t));
    name.MaximumLength = name.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, at.folder->Get(), nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE handle = nullptr;
    NTSTATUS status =
        Native().create(&handle, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &io,
                        nullptr, FILE_ATTRIBUTE_NORMAL, share, FILE_OPEN, options, nullptr, 0);
    if (status < 0)
    {
        error = ErrorFromWin32(Native().toWin32(status));
        return CUniqueHandle();
    }
    return CUniqueHandle(handle);
}

// The attributes the name itself shows. By the full path: wine 8.0 looks a
// name relative to a folder handle up in NtQueryAttributesFile, then reads
// its attributes relative to the process's current folder instead. For a
// name that exists this costs wine no call to its server, where each open
// resolves the whole path once per folder in it.
DWORD NameAttributes(const Location& at)
{
    return GetFileAttributesW(at.path.c_str());
}

// Whether anything still answers to the name, as itself. Asked relative
// to the folder: wine 8.0 finds a name that is gone at once there, where
// by the full path it searches every folder above it.
bool ExistsAt(const Location& at)
{
    OsError ignored;
    return OpenAt(at, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, ignored)
        .Valid();
}

// `name` inside the open folder `folder`, whose own location is `path`.
Location LocationIn(const std::shared_ptr<CUniqueHandle>& folder, const IEntry& entry,
                    const std::string& name)
{
    return {folder, Utf8ToWide(name), WidePath(JoinPath(entry.Path(), name)),
            entry.Status().identity.volume};
}

// The attributes of an open handle.
bool HandleAttributes(HANDLE handle, DWORD& attributes, OsError& error)
{
    FILE_BASIC_INFO basic{};
    if (!GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic))
    {
        error = LastError();
        return false;
    }
    attributes = basic.FileAttributes;
    return true;
}

// GetFileInformationByHandle without the volume's serial and the file's
// name, for a handle opened inside a folder: wine 8.0 finds both by a stat
// of every folder above the file, so that each call cost as much as the
// file was deep.
bool QueryHandleInFolder(HANDLE handle, std::uint64_t volume, BY_HANDLE_FILE_INFORMATION& info,
                         OsError& error)
{
    FILE_STANDARD_INFO standard{};
    FILE_INTERNAL_INFORMATION internal{};
    IO_STATUS_BLOCK io{};
    DWORD attributes = 0;
    if (!HandleAttributes(handle, attributes, error))
    {
        return false;
    }
    if (!GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard))
    {
        error = LastError();
        return false;
    }
    if (NTSTATUS status = Native().queryInformation(handle, &io, &internal, sizeof internal,
                                                    FileInternalInformation);
        status < 0)
    {
        error = ErrorFromWin32(Native().toWin32(status));
        return false;
    }
    info = {};
    info.dwFileAttributes = attributes;
    info.dwVolumeSerialNumber = static_cast<DWORD>(volume);
    info.nFileSizeHigh = static_cast<DWORD>(standard.EndOfFile.QuadPart >> 32);
    info.nFileSizeLow = static_cast<DWORD>(standard.EndOfFile.QuadPart);
    info.nNumberOfLinks = standard.NumberOfLinks;
    info.nFileIndexHigh = static_cast<DWORD>(internal.IndexNumber.QuadPart >> 32);
    info.nFileIndexLow = static_cast<DWORD>(internal.IndexNumber.QuadPart);
    return true;
}

// Whether two handles on one volume reach the same file; true where the
// question cannot be asked.
bool SameFileNumber(HANDLE a, HANDLE b)
{
    if (!Native().queryInformation)
    {
        return true;
    }
    FILE_INTERNAL_INFORMATION first{}, second{};
    IO_STATUS_BLOCK io{};
    return Native().queryInformation(a, &io, &first, sizeof first, FileInternalInformation) >= 0 &&
           Native().queryInformation(b, &io, &second, sizeof second, FileInternalInformation) >=
               0 &&
           first.IndexNumber.QuadPart == second.IndexNumber.QuadPart;
}

// Who a handle is, and what it is: attributes, reparse tag and size read
// from the handle itself.
bool QueryHandle(HANDLE handle, const Location& at, FileStatus& status, std::uint32_t& tag,
                 OsError& error)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (at.Relative() ? !QueryHandleInFolder(handle, at.volume, info, error)
                      : !GetFileInformationByHandle(handle, &info))
    {
        error = at.Relative() ? error : LastError();
        return false;
    }
    FILE_ATTRIBUTE_TAG_INFO tagInfo{};
    bool tagKnown =
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
        GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tagInfo, sizeof tagInfo);
    tag = tagInfo.ReparseTag;
    status = StatusFromAttributes(info.dwFileAttributes, tag, tagKnown,
                                  (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                      info.nFileSizeLow);
    status.identity = {info.dwVolumeSerialNumber,
                       (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                       true};
    status.linkCount = info.nNumberOfLinks;
    return true;
}

// Opens a checked entry again, for another kind of access, and makes sure
// the name still leads to it: the same file, of the same kind, no link. A
// name that leads elsewhere by now is refused with ERROR_FILE_INVALID.
CUniqueHandle OpenAgain(const Location& at, DWORD access, DWORD share, DWORD flags,
                        const FileStatus& decided, FileStatus& now, std::uint32_t& tag,
                        OsError& error)
{
    CUniqueHandle handle = OpenAt(at, access, share, flags, error);
    if (!handle.Valid())
    {
        return handle;
    }
    if (!QueryHandle(handle.Get(), at, now, tag, error))
    {
        return CUniqueHandle();
    }
    if (!(now.identity == decided.identity) || now.isFolder != decided.isFolder || now.isLink)
    {
        error = ErrorFromWin32(ERROR_FILE_INVALID);
        return CUniqueHandle();
    }
    return handle;
}

// The final path of the folder an entry lies in. The last folder's is
// kept: the entries of one folder are opened one after another.
std::wstring FolderFinalPath(const Location& at)
{
    if (at.folder && at.folder->Valid())
    {
        // By the folder's shared handle, which a cached path cannot outlive
        // unnoticed: the weak pointer keeps its control block from reuse.
        static thread_local std::weak_ptr<CUniqueHandle> cachedFolder;
        static thread_local std::wstring cachedPath;
        if (cachedFolder.expired() || cachedFolder.owner_before(at.folder) ||
            at.folder.owner_before(cachedFolder))
        {
            cachedPath = FinalPath(at.folder->Get());
            cachedFolder = at.folder;
        }
        return cachedPath;
    }
    const std::size_t slash = at.path.rfind(L'\\');
    if (slash == std::wstring::npos)
    {
        return {};
    }
    std::wstring parent = at.path.substr(0, slash);
    if (!parent.empty() && parent.back() == L':')
    {
        parent += L'\\';
    }
    CUniqueHandle folder(CreateFileW(parent.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return folder.Valid() ? FinalPath(folder.Get()) : std::wstring();
}

// Wine 8.0 shows a Unix symbolic link to a file as the plain file it leads
// to by every route (attributes 0x20 from the name, the listing and the
// handle), and opens the target even with FILE_FLAG_OPEN_REPARSE_POINT; its
// DeleteFileW and MoveFileExW act on the target too. Only the final path of
// the handle, which wine resolves on the Unix side, tells: it lies elsewhere
// than the name that was opened. Compared with the folder's own final path,
// so that links above the folder do not count. What cannot be resolved
// counts as a link: it is never written.
// The file number of a handle.
std::optional<std::uint64_t> FileNumber(HANDLE handle)
{
    FILE_INTERNAL_INFORMATION internal{};
    IO_STATUS_BLOCK io{};
    if (!Native().Usable() || Native().queryInformation(handle, &io, &internal, sizeof internal,
                                                        FileInternalInformation) < 0)
    {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(internal.IndexNumber.QuadPart);
}

bool IsWineFileLink(HANDLE handle, const Location& at)
{
    if (!OnWine())
    {
        return false;
    }
    const std::wstring file = FinalPath(handle);
    const std::size_t slash = file.rfind(L'\\');
    if (slash == std::wstring::npos)
    {
        return true;
    }
    const std::size_t nameAt = at.path.rfind(L'\\');
    const std::wstring_view name =
        at.Relative()
            ? std::wstring_view(at.name)
            : std::wstring_view(at.path).substr(nameAt == std::wstring::npos ? 0 : nameAt + 1);
    // Wine 8.0 drops trailing dots and blanks from the names it resolves to:
    // "foo." comes back as "foo".
    std::wstring_view plain = name;
    while (!plain.empty() && (plain.back() == L'.' || plain.back() == L' '))
    {
        plain.remove_suffix(1);
    }
    const std::wstring_view resolved = std::wstring_view(file).substr(slash + 1);
    if (!SameNameNoCase(resolved, name) && !SameNameNoCase(resolved, plain))
    {
        return true;
    }
    const std::wstring folder = FolderFinalPath(at);
    if (folder.empty() || !SameNameNoCase(std::wstring_view(file).substr(0, slash), folder))
    {
        return true;
    }
    if (plain.size() == name.size() || plain.empty())
    {
        return false;
    }
    // So "foo." that leads to "foo" beside it resolves like a file of its
    // own: it is that file under the plain name.
    Location sibling = at;
    sibling.name.assign(plain);
    sibling.path.resize(nameAt == std::wstring::npos ? 0 : nameAt + 1);
    sibling.path.append(plain);
    OsError ignored;
    CUniqueHandle other =
        OpenAt(sibling, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, ignored);
    if (!other.Valid())
    {
        return false;
    }
    const std::optional<std::uint64_t> mine = FileNumber(handle);
    const std::optional<std::uint64_t> theirs = FileNumber(other.Get());
    return !mine || !theirs || *mine == *theirs;
}

// Whether a folder link can be told from its target: opened as itself it
// must be another object than what it leads to. Wine 8.0 opens the target
// either way, and its RemoveDirectory then removes the target when that is
// empty: such a link is left alone.
bool LinkStandsApart(const std::wstring& wide)
{
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    CUniqueHandle self(
        CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    CUniqueHandle target(CreateFileW(wide.c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!self.Valid())
    {
        return false;
    }
    if (!target.Valid())
    {
        return true; // a link whose target is gone
    }
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    if (!GetFileInformationByHandle(self.Get(), &a) ||
        !GetFileInformationByHandle(target.Get(), &b))
    {
        return false;
    }
    return a.dwVolumeSerialNumber != b.dwVolumeSerialNumber ||
           a.nFileIndexHigh != b.nFileIndexHigh || a.nFileIndexLow != b.nFileIndexLow;
}

// A plain name inside a folder: no separators, no stream, not "." or "..".
bool IsPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("\\/:") == std::string::npos;
}

// An entry opened without following a link in its last name. A folder keeps
// its handle, shared for reading and writing but not for deletion, so that it
// can be neither renamed nor replaced while the engine works below it. A
// file's handle is closed at once: an open handle would refuse the exclusive
// open for writing, which checks the identity instead.
class CWin32Entry : public IEntry
{
public:
    CWin32Entry(std::shared_ptr<CUniqueHandle> folder, FileStatus status, std::uint32_t tag,
                std::string path, Location at, bool deletable = false)
        : m_folder(std::move(folder)), m_status(status), m_tag(tag), m_path(std::move(path)),
          m_at(std::move(at)), m_deletable(deletable)
    {
    }
    const FileStatus& Status() const override { return m_status; }
    std::string Path() const override { return m_path; }
    HANDLE Folder() const { return m_folder ? m_folder->Get() : nullptr; }
    // For opening names inside this folder relative to its handle.
    const std::shared_ptr<CUniqueHandle>& SharedFolder() const { return m_folder; }
    std::uint32_t Tag() const { return m_tag; }
    const Location& At() const { return m_at; }
    // The folder's handle, when it alone holds it with delete access;
    // otherwise null.
    std::shared_ptr<CUniqueHandle> TakeDeletable()
    {
        if (!m_deletable || !m_folder || m_folder.use_count() != 1)
        {
            return nullptr;
        }
        return std::exchange(m_folder, nullptr);
    }
    // Names its last listing showed as folders: only a hint of which way to
    // open them first.
    std::vector<std::string>& ListedFolders() { return m_listedFolders; }
    bool ListedAsFolder(const std::string& name) const
    {
        return std::binary_search(m_listedFolders.begin(), m_listedFolders.end(), name);
    }

private:
    std::vector<std::string> m_listedFolders;
    std::shared_ptr<CUniqueHandle> m_folder;
    FileStatus m_status;
    std::uint32_t m_tag;
    std::string m_path;
    Location m_at;
    bool m_deletable;
};

// Writes of an overwrite pass come in 64 KiB blocks, one after another.
// Wine 8.0 spends about 50 us on every WriteFile: 1 GiB took 1.05 s in
// 64 KiB calls and 0.23 s in 1 MiB calls. Consecutive blocks are therefore
// gathered and written together; a failure of such a write is returned by
// the next call, so that the pass still ends as failed.
constexpr std::size_t kGatherBytes = 1 << 20;

class CWin32OpenFile : public IOpenFile
{
public:
    // `gatherBytes`: consecutive writes may be held back until that much is
    // reached. Only for overwriting in place, where no write is expected to
    // find the disk full (the free-space fill needs every write's own
    // answer). No more than the file holds: a buffer of 1 MiB for each small
    // file of a folder cost more than its writes.
    CWin32OpenFile(HANDLE file, std::size_t gatherBytes) : m_file(file)
    {
        m_gathered.reserve(std::min(gatherBytes, kGatherBytes));
    }
    ~CWin32OpenFile() override
    {
        OsError ignored;
        WriteGathered(ignored);
    }
    CWin32OpenFile(const CWin32OpenFile&) = delete;
    CWin32OpenFile& operator=(const CWin32OpenFile&) = delete;

    bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size,
                 OsError& error) override
    {
        if (m_gathered.capacity() == 0)
        {
            return WriteThrough(offset, data, size, error);
        }
        if (!m_gathered.empty() && (offset != m_gatheredAt + m_gathered.size() ||
                                    m_gathered.size() + size > m_gathered.capacity()))
        {
            if (!WriteGathered(error))
            {
                return false;
            }
        }
        if (m_gathered.empty())
        {
            m_gatheredAt = offset;
        }
        if (size >= m_gathered.capacity())
        {
            return WriteThrough(offset, data, size, error);
        }
        m_gathered.insert(m_gathered.end(), data, data + size);
        return true;
    }

    bool Flush(OsError& error) override
    {
        if (!WriteGathered(error))
        {
            return false;
        }
        timeline::CTimed timed(timeline::Call::Flush);
        if (!FlushFileBuffers(m_file.Get()))
        {
            error = LastError();
            return false;
        }
        return true;
    }

    bool Truncate(std::uint64_t size, OsError& error) override
    {
        if (!WriteGathered(error))
        {
            return false;
        }
        timeline::CTimed timed(timeline::Call::Truncate);
        LARGE_INTEGER to;
        to.QuadPart = static_cast<LONGLONG>(size);
        if (!SetFilePointerEx(m_file.Get(), to, nullptr, FILE_BEGIN) || !SetEndOfFile(m_file.Get()))
        {
            error = LastError();
            return false;
        }
        return true;
    }

    std::optional<std::uint64_t> Size(OsError& error) override
    {
        LARGE_INTEGER size;
        if (!WriteGathered(error) || !GetFileSizeEx(m_file.Get(), &size))
        {
            error = LastError();
            return std::nullopt;
        }
        return static_cast<std::uint64_t>(size.QuadPart);
    }

    // By a second handle on the same file without the system's cache:
    // FILE_FLAG_NO_BUFFERING wants reads of whole sectors into sector-aligned
    // memory, and answers a read past the end with the short count. Wine 8.0
    // takes the flag and ignores it: its reads come from Linux's page cache,
    // filled by the writes and not dropped by FlushFileBuffers (fsync).
    std::optional<std::span<const std::uint8_t>> ReadBack(std::uint64_t offset, std::size_t most,
                                                          OsError& error) override
    {
        const std::size_t want =
            (most + kReadBackAlignment - 1) / kReadBackAlignment * kReadBackAlignment;
        if (offset % kReadBackAlignment != 0 || want > MAXDWORD)
        {
            error = ErrorFromWin32(ERROR_INVALID_PARAMETER);
            return std::nullopt;
        }
        if (!WriteGathered(error))
        {
            return std::nullopt;
        }
        if (!m_read.Valid())
        {
            // The handle itself is opened again, never the name: what is read
            // is the file that was written.
            constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
            m_read = CUniqueHandle(
                ReOpenFile(m_file.Get(), GENERIC_READ, kShareAll, FILE_FLAG_NO_BUFFERING));
            if (!m_read.Valid() && (GetLastError() == ERROR_INVALID_PARAMETER ||
                                    GetLastError() == ERROR_NOT_SUPPORTED))
            {
                // A file system that reads only through its cache: what it
                // holds after the flush is compared all the same.
                m_read = CUniqueHandle(ReOpenFile(m_file.Get(), GENERIC_READ, kShareAll, 0));
            }
            if (!m_read.Valid())
            {
                error = LastError();
                return std::nullopt;
            }
            // Wine 8.0 opens the handle again by the name it was opened
            // with: once another file holds that name, it would be compared
            // instead, and never this one.
            if (!SameFileNumber(m_read.Get(), m_file.Get()))
            {
                m_read.Reset();
                error = ErrorFromWin32(ERROR_FILE_INVALID);
                return std::nullopt;
            }
        }
        if (want > m_readCapacity)
        {
            m_readBuffer.reset(static_cast<std::uint8_t*>(
                VirtualAlloc(nullptr, want, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
            m_readCapacity = m_readBuffer ? want : 0;
            if (!m_readBuffer)
            {
                error = LastError();
                return std::nullopt;
            }
        }
        timeline::CTimed timed(timeline::Call::Read);
        std::size_t got = 0;
        while (got < want)
        {
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset + got);
            at.OffsetHigh = static_cast<DWORD>((offset + got) >> 32);
            DWORD read = 0;
            if (!ReadFile(m_read.Get(), m_readBuffer.get() + got, static_cast<DWORD>(want - got),
                          &read, &at))
            {
                if (GetLastError() == ERROR_HANDLE_EOF)
                {
                    break;
                }
                error = LastError();
                return std::nullopt;
            }
            if (read == 0)
            {
                break;
            }
            got += read;
            if (got % kReadBackAlignment != 0)
            {
                break; // the end of the file
            }
        }
        return std::span<const std::uint8_t>(m_readBuffer.get(), std::min(got, most));
    }

    bool Close(OsError& error) override
    {
        m_read.Reset();
        bool written = WriteGathered(error);
        timeline::CTimed timed(timeline::Call::Close);
        HANDLE file = m_file.Release();
        if (file == nullptr || file == INVALID_HANDLE_VALUE)
        {
            return written;
        }
        if (!CloseHandle(file))
        {
            error = LastError();
            return false;
        }
        // A file marked for deletion goes as its last handle closes; one
        // whose name is still there did not go.
        if (!m_deleting.path.empty() && ExistsAt(m_deleting))
        {
            error = ErrorFromWin32(ERROR_ACCESS_DENIED);
            return false;
        }
        return written;
    }

    // By the handle: the entry that moves is the file that was written,
    // whatever holds `from` by now. The new name is given relative to the
    // folder's handle; without one, by its full path, which Windows and wine
    // 8.0 turn into the native one here, as MoveFileEx does.
    bool Rename(IEntry& folder, const std::string&, const std::string& to, OsError& error) override
    {
        if (!IsPlainName(to) || !WriteGathered(error))
        {
            error = error.kind == ErrorKind::None ? ErrorFromWin32(ERROR_INVALID_NAME) : error;
            return false;
        }
        timeline::CTimed timed(timeline::Call::Rename);
        const Location at =
            LocationIn(static_cast<CWin32Entry&>(folder).SharedFolder(), folder, to);
        if (at.Relative())
        {
            return RenameRelative(at, error);
        }
        const std::wstring& target = at.path;
        const std::size_t nameBytes = target.size() * sizeof(wchar_t);
        std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
        auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
        info->ReplaceIfExists = FALSE;
        info->RootDirectory = nullptr;
        info->FileNameLength = static_cast<DWORD>(nameBytes);
        std::memcpy(info->FileName, target.c_str(), nameBytes + sizeof(wchar_t));
        if (!SetFileInformationByHandle(m_file.Get(), FileRenameInfo, info,
                                        static_cast<DWORD>(buffer.size())))
        {
            error = LastError();
            return false;
        }
        return true;
    }

    bool Delete(IEntry& folder, const std::string& name, OsError& error) override
    {
        if (!IsPlainName(name) || !WriteGathered(error))
        {
            error = error.kind == ErrorKind::None ? ErrorFromWin32(ERROR_INVALID_NAME) : error;
            return false;
        }
        timeline::CTimed timed(timeline::Call::Delete);
        // The structure's one member is named like a macro of windows.h.
        BOOLEAN deleteFile = TRUE;
        static_assert(sizeof deleteFile == sizeof(FILE_DISPOSITION_INFO));
        if (!SetFileInformationByHandle(m_file.Get(), FileDispositionInfo, &deleteFile,
                                        sizeof deleteFile))
        {
            error = LastError();
            return false;
        }
        m_deleting = LocationIn(static_cast<CWin32Entry&>(folder).SharedFolder(), folder, name);
        return true;
    }

private:
    bool RenameRelative(const Location& at, OsError& error)
    {
        const std::size_t nameBytes = at.name.size() * sizeof(wchar_t);
        std::vector<std::uint8_t> buffer(sizeof(FILE_RENAME_INFORMATION) + nameBytes);
        auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
        info->ReplaceIfExists = FALSE;
        info->RootDirectory = at.folder->Get();
        info->FileNameLength = static_cast<ULONG>(nameBytes);
        std::memcpy(info->FileName, at.name.c_str(), nameBytes);
        IO_STATUS_BLOCK io{};
        NTSTATUS status = Native().setInformation(
            m_file.Get(), &io, info, static_cast<ULONG>(buffer.size()), FileRenameInformation);
        if (status < 0)
        {
            error = ErrorFromWin32(Native().toWin32(status));
            return false;
        }
        return true;
    }

    bool WriteThrough(std::uint64_t offset, const std::uint8_t* data, std::size_t size,
                      OsError& error)
    {
        timeline::FirstWrite();
        timeline::CTimed timed(timeline::Call::Write);
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

    bool WriteGathered(OsError& error)
    {
        if (m_gathered.empty() || !m_file.Valid())
        {
            return true;
        }
        bool written = WriteThrough(m_gatheredAt, m_gathered.data(), m_gathered.size(), error);
        m_gathered.clear();
        return written;
    }

    struct CVirtualFree
    {
        void operator()(std::uint8_t* p) const { VirtualFree(p, 0, MEM_RELEASE); }
    };

    CUniqueHandle m_file;
    CUniqueHandle m_read; // for reading back, without the cache
    std::unique_ptr<std::uint8_t, CVirtualFree> m_readBuffer;
    std::size_t m_readCapacity = 0;
    std::vector<std::uint8_t> m_gathered;
    std::uint64_t m_gatheredAt = 0;
    Location m_deleting; // where a file marked for deletion lies
};

constexpr DWORD kEntryFlags = FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS;
// A folder is held open by this: listable, and neither renamed nor removed
// by anyone while it is held.
constexpr DWORD kPinAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
constexpr DWORD kPinShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// `expectFolder`: a listing called it a folder, so it is opened as one to
// be held at once; should that fail, it is opened as anything first.
std::unique_ptr<IEntry> OpenEntry(const std::string& path, Location at, OsError& error,
                                  bool expectFolder = false, bool toRemove = false)
{
    timeline::CTimed timed(timeline::Call::Open);
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    CUniqueHandle handle;
    bool pinned = false;
    bool deletable = false;
    if (expectFolder && at.Relative())
    {
        // With delete access, where the folder allows it, for a folder to be
        // removed through this handle once it is empty.
        OsError ignored;
        if (toRemove)
        {
            handle = OpenAt(at, kPinAccess | DELETE, kPinShare, kEntryFlags, ignored, true);
            deletable = handle.Valid();
        }
        if (!deletable)
        {
            handle = OpenAt(at, kPinAccess, kPinShare, kEntryFlags, ignored, true);
        }
        pinned = handle.Valid();
    }
    if (!pinned)
    {
        handle = OpenAt(at, FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll, kEntryFlags, error);
    }
    if (!handle.Valid())
    {
        return nullptr;
    }
    FileStatus status;
    std::uint32_t tag = 0;
    if (!QueryHandle(handle.Get(), at, status, tag, error))
    {
        return nullptr;
    }
    // Wine 8.0 opens the target of a folder link even with
    // FILE_FLAG_OPEN_REPARSE_POINT, and only the name's attributes show the
    // link: either one saying so makes it a link, unless the handle knows it
    // for a reparse point with data.
    // A drive's root is no link, though wine marks one that is a Unix mount
    // point as a reparse point.
    const bool driveRoot = path.size() == 3 && path[1] == ':' && path[2] == '\\';
    // Only a folder needs it: a link to a file is no reparse point on wine
    // 8.0 either way, and on Windows the handle shows it.
    DWORD named = driveRoot || !status.isFolder ? INVALID_FILE_ATTRIBUTES : NameAttributes(at);
    if (named != INVALID_FILE_ATTRIBUTES && (named & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        !status.isLink && (tag == 0 || IsReparseTagNameSurrogate(tag)))
    {
        status.isLink = true;
    }
    if (!status.isFolder && !status.isLink && IsWineFileLink(handle.Get(), at))
    {
        status.isLink = true;
        status.linkStays = true;
    }
    if (!status.isFolder || status.isLink)
    {
        return std::make_unique<CWin32Entry>(nullptr, status, tag, path, std::move(at));
    }
    if (pinned)
    {
        // Decided on the very handle that holds it.
        return std::make_unique<CWin32Entry>(std::make_shared<CUniqueHandle>(std::move(handle)),
                                             status, tag, path, std::move(at), deletable);
    }
    handle.Reset();
    FileStatus held;
    std::uint32_t heldTag = 0;
    CUniqueHandle folder =
        OpenAgain(at, kPinAccess, kPinShare, kEntryFlags, status, held, heldTag, error);
    if (!folder.Valid())
    {
        return nullptr;
    }
    return std::make_unique<CWin32Entry>(std::make_shared<CUniqueHandle>(std::move(folder)), held,
                                         heldTag, path, std::move(at));
}

// Opens a file (or one of its streams) for exclusive writing and checks that
// it is the file that was decided on.
std::unique_ptr<IOpenFile> OpenCheckedForWriting(const Location& at, const CWin32Entry& file,
                                                 OsError& error)
{
    timeline::CTimed timed(timeline::Call::OpenForWrite);
    // A name surrogate is never written. Other reparse points (cloud
    // placeholders, deduplicated files) are opened through their filter, so
    // that their data is what gets overwritten.
    const bool plainReparse = (file.Tag() != 0 && !IsReparseTagNameSurrogate(file.Tag()));
    DWORD flags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH |
                  (plainReparse ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
    // Wine 8.0 ignores FILE_FLAG_WRITE_THROUGH; the engine flushes each pass.
    // With DELETE the file is renamed and deleted by this very handle. A
    // file that may be written but not deleted is still overwritten; its
    // rename then fails and is reported.
    FileStatus now;
    std::uint32_t tag = 0;
    // Readers are let in so that the overwrite can be read back by a
    // second, uncached handle; a reader must share writing and deletion,
    // so that nobody else writes, and nobody keeps the file from going.
    CUniqueHandle handle = OpenAgain(at, GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE,
                                     FILE_SHARE_READ, flags, file.Status(), now, tag, error);
    if (!handle.Valid() && error.code == ERROR_ACCESS_DENIED)
    {
        handle = OpenAgain(at, GENERIC_WRITE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ, flags,
                           file.Status(), now, tag, error);
    }
    if (!handle.Valid())
    {
        return nullptr;
    }
    // NTFS compression stores a unit of zeroes as a hole: a quick pass would
    // give the old clusters back unwritten. The file is decompressed first,
    // so that every pass lands on allocated clusters.
    DWORD attributes = 0;
    if (!HandleAttributes(handle.Get(), attributes, error))
    {
        return nullptr;
    }
    if ((attributes & FILE_ATTRIBUTE_COMPRESSED) != 0)
    {
        // The control needs read access as well; the name is checked again.
        handle.Reset();
        handle = OpenAgain(at, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, flags, file.Status(),
                           now, tag, error);
        if (!handle.Valid())
        {
            return nullptr;
        }
        USHORT none = COMPRESSION_FORMAT_NONE;
        DWORD returned = 0;
        if (!DeviceIoControl(handle.Get(), FSCTL_SET_COMPRESSION, &none, sizeof none, nullptr, 0,
                             &returned, nullptr))
        {
            error = LastError();
            return nullptr;
        }
    }
    return std::make_unique<CWin32OpenFile>(
        handle.Release(),
        static_cast<std::size_t>(std::min<std::uint64_t>(now.size, kGatherBytes)));
}

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

// Whether a folder holds anything besides "." and "..".
bool HoldsEntries(const std::wstring& folder)
{
    WIN32_FIND_DATAW data;
    CFindHandle find(FindFirstFileExW((folder + L"\\*").c_str(), FindExInfoBasic, &data,
                                      FindExSearchNameMatch, nullptr, 0));
    if (find.Get() == INVALID_HANDLE_VALUE)
    {
        return false;
    }
    do
    {
        const std::wstring_view name = data.cFileName;
        if (name != L"." && name != L"..")
        {
            return true;
        }
    } while (FindNextFileW(find.Get(), &data));
    return false;
}

// The error for a folder that was to go and is still there. Windows refuses
// a folder that is not empty when it is marked for deletion; wine 8.0 marks
// an empty one, removes it only as the last handle closes and drops the
// system's refusal there (a parent that may not change, a read-only mount).
// An empty folder that stays was refused.
OsError FolderStayedError(const std::wstring& folder)
{
    return ErrorFromWin32(HoldsEntries(folder) ? ERROR_DIR_NOT_EMPTY : ERROR_ACCESS_DENIED);
}

// Removes an empty folder through `folder`, a handle opened as the folder
// itself with delete access and no delete sharing, so that nobody renames
// or replaces it until it is gone. A folder that is, or has become, a
// reparse point is refused.
bool RemoveFolderByHandle(CUniqueHandle folder, const Location& at, OsError& error)
{
    DWORD attributes = 0;
    if (!HandleAttributes(folder.Get(), attributes, error))
    {
        return false;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        error = ErrorFromWin32(ERROR_FILE_INVALID);
        return false;
    }
    BOOLEAN deleteFolder = TRUE;
    if (!SetFileInformationByHandle(folder.Get(), FileDispositionInfo, &deleteFolder,
                                    sizeof deleteFolder))
    {
        error = LastError();
        return false;
    }
    folder.Reset();
    if (ExistsAt(at))
    {
        error = FolderStayedError(at.path);
        return false;
    }
    return true;
}

// Removes an empty folder by a handle opened as the folder itself, never
// through a link. Wine 8.0 opens a folder link's target even so, and only
// the name's attributes (`namedReparse`) show the link.
bool RemoveFolderItself(const Location& at, bool namedReparse, OsError& error)
{
    if (namedReparse)
    {
        error = ErrorFromWin32(ERROR_FILE_INVALID);
        return false;
    }
    CUniqueHandle folder =
        OpenAt(at, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
               FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, error);
    if (!folder.Valid())
    {
        return false;
    }
    return RemoveFolderByHandle(std::move(folder), at, error);
}

} // namespace

FileStatus StatusFromAttributes(std::uint32_t attributes, std::uint32_t reparseTag, bool tagKnown,
                                std::uint64_t size)
{
    FileStatus status;
    status.isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    // No reparse point has tag 0: wine 8.0 lists folder links with it.
    status.isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                    (!tagKnown || reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
    status.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    status.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    status.system = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    status.size = status.isFolder ? 0 : size;
    return status;
}

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

std::string CWin32FileSystem::AbsolutePath(const std::string& path)
{
    // Absolute, or relative to a drive's own folder ("C:file"), which is
    // left for the caller to refuse.
    if ((path.size() >= 2 && path[1] == ':') ||
        (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
         (path[1] == '\\' || path[1] == '/')))
    {
        return path;
    }
    // Rooted ("\dir\file") and relative names are completed here, as text:
    // Win32's own completion would drop trailing dots and blanks.
    if (!path.empty() && (path[0] == '\\' || path[0] == '/'))
    {
        return CurrentRoot() + path;
    }
    return JoinPath(CurrentFolder(), path);
}

std::optional<FileStatus> CWin32FileSystem::Status(const std::string& path, OsError& error)
{
    std::unique_ptr<IEntry> entry = Open(path, error);
    if (!entry)
    {
        return std::nullopt;
    }
    return entry->Status();
}

std::unique_ptr<IEntry> CWin32FileSystem::Open(const std::string& path, OsError& error)
{
    return OpenEntry(path, {nullptr, {}, WidePath(path)}, error);
}

std::unique_ptr<IEntry> CWin32FileSystem::OpenIn(IEntry& folder, const std::string& name,
                                                 OsError& error)
{
    // The folder is held open without delete sharing: its path still leads
    // to it, so the name is looked up inside that very folder.
    const auto& parent = static_cast<CWin32Entry&>(folder);
    if (!IsPlainName(name) || !parent.Folder())
    {
        error = ErrorFromWin32(ERROR_INVALID_NAME);
        return nullptr;
    }
    return OpenEntry(JoinPath(folder.Path(), name), LocationIn(parent.SharedFolder(), folder, name),
                     error, parent.ListedAsFolder(name));
}

FileIdentity CWin32FileSystem::IdentityIn(IEntry& folder, const std::string& name)
{
    const auto& parent = static_cast<CWin32Entry&>(folder);
    if (!IsPlainName(name) || !parent.Folder())
    {
        return {};
    }
    // One open and one query: this runs twice for every file shredded.
    const Location at = LocationIn(parent.SharedFolder(), folder, name);
    OsError ignored;
    CUniqueHandle handle =
        OpenAt(at, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kEntryFlags, ignored);
    if (!handle.Valid())
    {
        return {};
    }
    if (!at.Relative())
    {
        FileStatus status;
        std::uint32_t tag = 0;
        return QueryHandle(handle.Get(), at, status, tag, ignored) && !status.isLink
                   ? status.identity
                   : FileIdentity{};
    }
    // As QueryHandleInFolder gives it: the folder's volume, the file's number.
    const std::optional<std::uint64_t> number = FileNumber(handle.Get());
    return number ? FileIdentity{static_cast<DWORD>(at.volume), *number, true} : FileIdentity{};
}

std::unique_ptr<IEntry>
CWin32FileSystem::OpenFolderToRemove(IEntry& folder, const std::string& name, OsError& error)
{
    const auto& parent = static_cast<CWin32Entry&>(folder);
    if (!IsPlainName(name) || !parent.Folder())
    {
        error = ErrorFromWin32(ERROR_INVALID_NAME);
        return nullptr;
    }
    return OpenEntry(JoinPath(folder.Path(), name), LocationIn(parent.SharedFolder(), folder, name),
                     error, true, true);
}

bool CWin32FileSystem::List(IEntry& folder, std::vector<FolderEntry>& entries, OsError& error)
{
    auto& listed = static_cast<CWin32Entry&>(folder);
    HANDLE handle = listed.Folder();
    if (!handle)
    {
        error = ErrorFromWin32(ERROR_DIRECTORY);
        return false;
    }
    timeline::CTimed timed(timeline::Call::List);
    entries.clear();
    std::vector<std::string>& folders = listed.ListedFolders();
    folders.clear();
    alignas(8) static thread_local std::uint8_t buffer[64 * 1024];
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (true)
    {
        if (!GetFileInformationByHandleEx(handle, kind, buffer, sizeof buffer))
        {
            DWORD last = GetLastError();
            if (last == ERROR_NO_MORE_FILES)
            {
                std::sort(folders.begin(), folders.end());
                return true;
            }
            error = ErrorFromWin32(last);
            return false;
        }
        kind = FileIdBothDirectoryInfo;
        const std::uint8_t* at = buffer;
        while (true)
        {
            auto* info = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
            std::wstring_view name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..")
            {
                // For a reparse point the listing gives its tag in EaSize.
                entries.push_back(
                    {WideToUtf8(name),
                     StatusFromAttributes(info->FileAttributes, info->EaSize, true,
                                          static_cast<std::uint64_t>(info->EndOfFile.QuadPart))});
                if (entries.back().status.isFolder)
                {
                    folders.push_back(entries.back().name);
                }
            }
            if (info->NextEntryOffset == 0)
            {
                break;
            }
            at += info->NextEntryOffset;
        }
    }
}

bool CWin32FileSystem::SetNormalAttributes(IEntry& entry, OsError& error)
{
    const FileStatus& status = entry.Status();
    if (!status.readOnly && !status.hidden && !status.system)
    {
        return true;
    }
    timeline::CTimed timed(timeline::Call::Attributes);
    // By the handle of the file that was decided on.
    FileStatus now;
    std::uint32_t tag = 0;
    CUniqueHandle handle = OpenAgain(static_cast<CWin32Entry&>(entry).At(),
                                     FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                     status, now, tag, error);
    if (!handle.Valid())
    {
        return false;
    }
    FILE_BASIC_INFO basic{};
    DWORD attributes = 0;
    if (!HandleAttributes(handle.Get(), attributes, error))
    {
        return false;
    }
    DWORD normal =
        attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    basic.FileAttributes = normal ? normal : FILE_ATTRIBUTE_NORMAL;
    if (!SetFileInformationByHandle(handle.Get(), FileBasicInfo, &basic, sizeof basic))
    {
        error = LastError();
        return false;
    }
    return true;
}

std::unique_ptr<IOpenFile> CWin32FileSystem::OpenForOverwrite(IEntry& file, OsError& error)
{
    const auto& entry = static_cast<CWin32Entry&>(file);
    return OpenCheckedForWriting(entry.At(), entry, error);
}

std::vector<std::string> CWin32FileSystem::Streams(IEntry& file)
{
    timeline::CTimed timed(timeline::Call::Streams);
    std::vector<std::string> streams;
    WIN32_FIND_STREAM_DATA data;
    CFindHandle find(
        FindFirstStreamW(WidePath(file.Path()).c_str(), FindStreamInfoStandard, &data, 0));
    if (find.Get() == INVALID_HANDLE_VALUE)
    {
        return streams; // none, or a file system without streams (wine 8.0)
    }
    do
    {
        std::wstring_view name = data.cStreamName;
        if (name != L"::$DATA")
        {
            streams.push_back(WideToUtf8(name));
        }
    } while (FindNextStreamW(find.Get(), &data));
    return streams;
}

std::unique_ptr<IOpenFile>
CWin32FileSystem::OpenStreamForOverwrite(IEntry& file, const std::string& stream, OsError& error)
{
    if (stream.empty() || stream[0] != ':' || stream.find_first_of("\\/") != std::string::npos)
    {
        error = ErrorFromWin32(ERROR_INVALID_NAME);
        return nullptr;
    }
    const auto& entry = static_cast<CWin32Entry&>(file);
    Location at = entry.At();
    at.name += Utf8ToWide(stream);
    at.path += Utf8ToWide(stream);
    return OpenCheckedForWriting(at, entry, error);
}

std::vector<std::string> CWin32FileSystem::OtherNames(IEntry& file)
{
    // The names come relative to the volume's mount point ("\\dir\\file").
    std::vector<std::string> names;
    const std::wstring wide = WidePath(file.Path());
    std::wstring volume(wide.size() + 1, L'\0');
    if (!GetVolumePathNameW(wide.c_str(), volume.data(), static_cast<DWORD>(volume.size())))
    {
        return names;
    }
    volume.resize(volume.find(L'\0'));
    while (!volume.empty() && volume.back() == L'\\')
    {
        volume.pop_back();
    }
    // Wine 8.0 has FindFirstFileNameW only as a stub that ends the process
    // when called: there the names are not listed, only counted.
    using FirstName = HANDLE(WINAPI*)(LPCWSTR, DWORD, LPDWORD, PWSTR);
    using NextName = BOOL(WINAPI*)(HANDLE, LPDWORD, PWSTR);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (!kernel || OnWine())
    {
        return names;
    }
    auto findFirst = reinterpret_cast<FirstName>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "FindFirstFileNameW")));
    auto findNext = reinterpret_cast<NextName>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "FindNextFileNameW")));
    if (!findFirst || !findNext)
    {
        return names;
    }
    std::wstring name(32768, L'\0');
    DWORD length = static_cast<DWORD>(name.size());
    HANDLE find = findFirst(wide.c_str(), 0, &length, name.data());
    if (find == INVALID_HANDLE_VALUE)
    {
        return names;
    }
    const std::wstring own = Utf8ToWide(file.Path());
    do
    {
        std::wstring full = volume + name.c_str();
        if (full.rfind(L"\\\\?\\UNC\\", 0) == 0)
        {
            full = L"\\\\" + full.substr(8);
        }
        else if (full.rfind(L"\\\\?\\", 0) == 0)
        {
            full = full.substr(4);
        }
        if (CompareStringOrdinal(full.c_str(), -1, own.c_str(), -1, TRUE) != CSTR_EQUAL)
        {
            names.push_back(WideToUtf8(full));
        }
        length = static_cast<DWORD>(name.size());
    } while (findNext(find, &length, name.data()));
    FindClose(find);
    return names;
}

bool CWin32FileSystem::RenameIn(IEntry& folder, const std::string& from, const std::string& to,
                                OsError& error)
{
    if (!IsPlainName(from) || !IsPlainName(to))
    {
        error = ErrorFromWin32(ERROR_INVALID_NAME);
        return false;
    }
    // Without MOVEFILE_REPLACE_EXISTING an existing name makes it fail.
    if (!MoveFileExW(WidePath(JoinPath(folder.Path(), from)).c_str(),
                     WidePath(JoinPath(folder.Path(), to)).c_str(), 0))
    {
        error = LastError();
        return false;
    }
    return true;
}

bool CWin32FileSystem::RemoveFolderEntry(IEntry& folder, const std::string& name,
                                         std::unique_ptr<IEntry> entry, OsError& error)
{
    std::shared_ptr<CUniqueHandle> held =
        entry && IsPlainName(name) ? static_cast<CWin32Entry&>(*entry).TakeDeletable() : nullptr;
    entry.reset();
    if (!held)
    {
        return RemoveIn(folder, name, RemoveKind::Folder, error);
    }
    timeline::CTimed timed(timeline::Call::Remove);
    const Location at = LocationIn(static_cast<CWin32Entry&>(folder).SharedFolder(), folder, name);
    // The name must still show the folder itself: on wine 8.0 only the
    // name's attributes tell a folder link.
    const DWORD attributes = NameAttributes(at);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ||
        (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    {
        error = ErrorFromWin32(attributes == INVALID_FILE_ATTRIBUTES ? GetLastError()
                                                                     : ERROR_FILE_INVALID);
        return false;
    }
    return RemoveFolderByHandle(std::move(*held), at, error);
}

bool CWin32FileSystem::RemoveIn(IEntry& folder, const std::string& name, RemoveKind kind,
                                OsError& error)
{
    if (!IsPlainName(name))
    {
        error = ErrorFromWin32(ERROR_INVALID_NAME);
        return false;
    }
    timeline::CTimed timed(timeline::Call::Remove);
    const Location at = LocationIn(static_cast<CWin32Entry&>(folder).SharedFolder(), folder, name);
    const std::wstring& wide = at.path;
    DWORD attributes = NameAttributes(at);
    if (attributes == INVALID_FILE_ATTRIBUTES)
    {
        error = LastError();
        return false;
    }
    const bool reparse = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    const bool directory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if ((kind == RemoveKind::Link && !reparse) || (kind == RemoveKind::Folder && !directory) ||
        (kind == RemoveKind::File && directory))
    {
        // Only what the caller decided on is removed.
        error = ErrorFromWin32(ERROR_FILE_INVALID);
        return false;
    }
    if (kind == RemoveKind::Link && directory && !LinkStandsApart(wide))
    {
        error = ErrorFromWin32(ERROR_NOT_SUPPORTED);
        return false;
    }
    if (kind == RemoveKind::Folder)
    {
        return RemoveFolderItself(at, reparse, error);
    }
    if (!directory && OnWine())
    {
        // DeleteFileW of wine 8.0 would delete what a file link leads to.
        OsError ignored;
        CUniqueHandle named =
            OpenAt(at, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kEntryFlags, ignored);
        if (named.Valid() && IsWineFileLink(named.Get(), at))
        {
            error = ErrorFromWin32(ERROR_FILE_INVALID);
            return false;
        }
    }
    // A folder link or junction goes with RemoveDirectory, which on Windows
    // removes the link and never the folder it points to.
    BOOL removed = directory ? RemoveDirectoryW(wide.c_str()) : DeleteFileW(wide.c_str());
    if (!removed)
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

bool CWin32FileSystem::ListFolder(const std::string& path, std::vector<FolderEntry>& entries,
                                  OsError& error)
{
    std::unique_ptr<IEntry> folder = Open(path, error);
    return folder && List(*folder, entries, error);
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
    return std::make_unique<CWin32OpenFile>(file, 0);
}

std::unique_ptr<IOpenFile> CWin32FileSystem::CreateNewForWriting(const std::string& path,
                                                                 OsError& error)
{
    // CREATE_NEW alone would follow a dangling symbolic link and create its
    // target; with FILE_FLAG_OPEN_REPARSE_POINT any link is an existing name.
    HANDLE file = CreateFileW(
        WidePath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
    {
        error = LastError();
        return nullptr;
    }
    return std::make_unique<CWin32OpenFile>(file, 0);
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
    std::string text = SystemErrorText(code);
    return text.empty() ? "Error " + std::to_string(code) : text;
}

std::optional<std::string> CWin32FileSystem::ReadWholeFile(const std::string& path)
{
    CUniqueHandle file(CreateFileW(WideProgramPath(path).c_str(), GENERIC_READ,
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

std::optional<std::string> CWin32FileSystem::ReadFileEnd(const std::string& path,
                                                          std::size_t most)
{
    CUniqueHandle file(CreateFileW(WideProgramPath(path).c_str(), GENERIC_READ,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size))
    {
        return std::nullopt;
    }
    const std::uint64_t length = static_cast<std::uint64_t>(size.QuadPart);
    const std::uint64_t start = length > most ? length - most : 0;
    std::string data(static_cast<std::size_t>(length - start), '\0');
    std::size_t done = 0;
    while (done < data.size())
    {
        OVERLAPPED at{};
        at.Offset = static_cast<DWORD>(start + done);
        at.OffsetHigh = static_cast<DWORD>((start + done) >> 32);
        DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min<std::size_t>(data.size() - done, 1 << 20));
        if (!ReadFile(file.Get(), data.data() + done, want, &got, &at))
        {
            return std::nullopt;
        }
        if (got == 0)
        {
            break; // cut short meanwhile
        }
        done += got;
    }
    data.resize(done);
    return data;
}

bool CWin32FileSystem::AppendToFile(const std::string& path, std::string_view bytes)
{
    // Append-only access makes every write land at the current end, so two
    // processes appending at once never overwrite each other's entries.
    CUniqueHandle file(CreateFileW(WideProgramPath(path).c_str(), FILE_APPEND_DATA,
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

std::optional<std::uint64_t> CWin32FileSystem::FileSize(const std::string& path)
{
    // Asked of an open handle: a directory entry's size may lag behind
    // another process's appends.
    CUniqueHandle file(CreateFileW(WideProgramPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size{};
    if (!file.Valid() || !GetFileSizeEx(file.Get(), &size))
    {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<std::uint64_t> CWin32FileSystem::LastWriteTime(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(WideProgramPath(path).c_str(), GetFileExInfoStandard, &data))
    {
        return std::nullopt;
    }
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

} // namespace qw
