#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qw
{

enum class ErrorKind
{
    None,
    NotFound,
    AccessDenied,
    SharingViolation,
    AlreadyExists,
    DiskFull,
    NotEmpty,
    Other,
};

// A failed call: a portable kind and the raw code the system gave, taken at
// once after the call.
struct OsError
{
    ErrorKind kind = ErrorKind::None;
    std::uint32_t code = 0;
};

struct FileStatus
{
    bool isFolder = false;
    // A symbolic link, junction or other reparse point; never followed.
    bool isLink = false;
    bool readOnly = false;
    bool hidden = false;
    bool system = false;
    std::uint64_t size = 0;
};

struct FreeSpaceInfo
{
    std::uint64_t available = 0; // free bytes the current user may use
    std::uint64_t totalFree = 0;
};

struct FolderEntry
{
    std::string name;
    FileStatus status;
};

// A file opened for overwriting: exclusive, existing only, write-through.
class IOpenFile
{
public:
    virtual ~IOpenFile() = default;
    virtual bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size,
                         OsError& error) = 0;
    // Pushes what was written to the storage device.
    virtual bool Flush(OsError& error) = 0;
    virtual bool Truncate(std::uint64_t size, OsError& error) = 0;
    virtual void Close() = 0;
};

// File access with backslash-separated UTF-8 paths on every platform. Any
// name and any depth the user can see must be reachable.
class IFileSystem
{
public:
    virtual ~IFileSystem() = default;
    // The whole file, or nothing when it cannot be read.
    virtual std::optional<std::string> ReadWholeFile(const std::string& path) = 0;
    // Appends in one write, creating the file when missing.
    virtual bool AppendToFile(const std::string& path, std::string_view bytes) = 0;

    // The entry itself; a link is described, not followed.
    virtual std::optional<FileStatus> Status(const std::string& path, OsError& error) = 0;
    // Clears read-only, hidden and system.
    virtual bool SetNormalAttributes(const std::string& path, OsError& error) = 0;
    virtual std::unique_ptr<IOpenFile> OpenForOverwrite(const std::string& path,
                                                        OsError& error) = 0;
    // Fails rather than replace an existing entry.
    virtual bool Rename(const std::string& from, const std::string& to, OsError& error) = 0;
    virtual bool RemoveFile(const std::string& path, OsError& error) = 0;
    virtual bool RemoveFolder(const std::string& path, OsError& error) = 0;
    // Removes a link itself (to a file or a folder), never its target.
    virtual bool RemoveLink(const std::string& path, OsError& error) = 0;
    // The entries but "." and "..", in the order the file system gives.
    virtual bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries,
                            OsError& error) = 0;
    // The system's description of an error code.
    virtual std::string ErrorText(std::uint32_t code) = 0;

    // Fails with AlreadyExists for an existing folder.
    virtual bool CreateFolder(const std::string& path, OsError& error) = 0;
    // Creates or truncates a file for exclusive, write-through writing.
    virtual std::unique_ptr<IOpenFile> CreateForWriting(const std::string& path,
                                                        OsError& error) = 0;
    // The free space of the volume of `root`. `legacy` asks the old way,
    // whose byte counts wrap at 32 bits and know no quota.
    virtual std::optional<FreeSpaceInfo> QueryFreeSpace(const std::string& root, bool legacy,
                                                        OsError& error) = 0;
};

} // namespace qw
