#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
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

// Who an entry is, whatever name reached it: the volume and the file's
// number on it (Win32: volume serial and file index; POSIX: st_dev, st_ino).
struct FileIdentity
{
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool known = false;
    bool operator==(const FileIdentity& other) const
    {
        return known && other.known && volume == other.volume && file == other.file;
    }
};

struct FileStatus
{
    bool isFolder = false;
    // A name surrogate: symbolic link, junction, mount point. Never followed,
    // entered or overwritten. Other reparse points (cloud placeholders,
    // deduplicated files) hold data and are files or folders like any other.
    bool isLink = false;
    // A link that cannot be removed here without reaching what it points to
    // (a link to a file under wine 8.0): left where it is and reported.
    bool linkStays = false;
    bool readOnly = false;
    bool hidden = false;
    bool system = false;
    std::uint64_t size = 0;
    FileIdentity identity; // known only for an entry opened by handle
    // Names the file has (hard links); read with the identity.
    std::uint32_t linkCount = 1;
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

// `name` inside `folder`; a root such as "C:\" already ends in a backslash.
inline std::string JoinPath(const std::string& folder, const std::string& name)
{
    return !folder.empty() && folder.back() == '\\' ? folder + name : folder + "\\" + name;
}

class IEntry;

// Reads that pass the cache must start on a sector: 4096 covers drives of
// 512-byte and 4 KiB sectors.
inline constexpr std::size_t kReadBackAlignment = 4096;

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
    // The size now, read from the open file.
    virtual std::optional<std::uint64_t> Size(OsError& error) = 0;
    // Up to `most` bytes from `offset` (a multiple of kReadBackAlignment) as
    // the drive holds them, past the system's cache where the system lets a
    // program do so; fewer only at the end of the file. Valid until the next
    // call.
    virtual std::optional<std::span<const std::uint8_t>> ReadBack(std::uint64_t offset,
                                                                  std::size_t most,
                                                                  OsError& error) = 0;
    // False when closing reported a failure (data that never reached the
    // disk).
    virtual bool Close(OsError& error) = 0;
    // Gives this open file the name `to` in `folder`, where it lies as
    // `from`. Fails rather than replace an entry, and fails without a
    // change when the name does not lead to this very file.
    virtual bool Rename(IEntry& folder, const std::string& from, const std::string& to,
                        OsError& error) = 0;
    // Deletes this open file, which lies in `folder` as `name`; its name
    // may stay until it is closed. Fails when the name leads elsewhere.
    virtual bool Delete(IEntry& folder, const std::string& name, OsError& error) = 0;
};

// An entry opened where it lies, never through a link in its last name: what
// is decided from its status is what later calls act on. While a folder is
// open it cannot be renamed or replaced (Win32), or it is reached through
// this handle alone (POSIX), so names inside it keep naming what was checked.
class IEntry
{
public:
    virtual ~IEntry() = default;
    virtual const FileStatus& Status() const = 0;
    // The path it was opened by, for texts. Made on each call: an entry of a
    // deep tree need not keep its whole path.
    virtual std::string Path() const = 0;
};

// How an entry is removed.
enum class RemoveKind
{
    File,
    Folder, // empty
    Link,   // the link itself, to a file or a folder
};

// File access with backslash-separated UTF-8 paths on every platform. Any
// name and any depth the user can see must be reachable.
class IFileSystem
{
public:
    virtual ~IFileSystem() = default;
    // The whole file, or nothing when it cannot be read.
    virtual std::optional<std::string> ReadWholeFile(const std::string& path) = 0;
    // At most the last `most` bytes of a file; nothing when it cannot be read.
    virtual std::optional<std::string> ReadFileEnd(const std::string& path, std::size_t most)
    {
        std::optional<std::string> whole = ReadWholeFile(path);
        if (whole && whole->size() > most)
        {
            whole->erase(0, whole->size() - most);
        }
        return whole;
    }
    // Appends in one write, creating the file when missing.
    virtual bool AppendToFile(const std::string& path, std::string_view bytes) = 0;
    // The size of one of the program's own files (the log) as it is now,
    // appends of other processes included; nothing when it cannot be read.
    virtual std::optional<std::uint64_t> FileSize(const std::string& path) = 0;
    // When one of the program's own files was last written, in a unit of the
    // system's that only compares with others of its kind; nothing when the
    // file cannot be read.
    virtual std::optional<std::uint64_t> LastWriteTime(const std::string& path) = 0;

    // The absolute form of a path the user gave, relative to the current
    // folder when it is not absolute; names are not otherwise changed.
    virtual std::string AbsolutePath(const std::string& path) = 0;

    // The entry itself; a link is described, not followed.
    virtual std::optional<FileStatus> Status(const std::string& path, OsError& error) = 0;
    // Opens the entry at an absolute path; a link in its last name is opened
    // as the link.
    virtual std::unique_ptr<IEntry> Open(const std::string& path, OsError& error) = 0;
    // Opens `name` inside an open folder, relative to that folder.
    virtual std::unique_ptr<IEntry> OpenIn(IEntry& folder, const std::string& name,
                                           OsError& error) = 0;
    // Who answers to `name` inside an open folder now, itself no link;
    // unknown when nothing does. For checks that need nothing else.
    virtual FileIdentity IdentityIn(IEntry& folder, const std::string& name)
    {
        OsError ignored;
        std::unique_ptr<IEntry> entry = OpenIn(folder, name, ignored);
        return entry && !entry->Status().isLink ? entry->Status().identity : FileIdentity{};
    }
    // The entries of an open folder but "." and "..", in the file system's
    // order. Their status is what the listing says; decide on OpenIn.
    virtual bool List(IEntry& folder, std::vector<FolderEntry>& entries, OsError& error) = 0;
    // Clears read-only, hidden and system.
    virtual bool SetNormalAttributes(IEntry& entry, OsError& error) = 0;
    // Opens the checked file for overwriting: exclusive, existing only,
    // write-through. Fails when the name no longer leads to that same file.
    virtual std::unique_ptr<IOpenFile> OpenForOverwrite(IEntry& file, OsError& error) = 0;
    // The names of a file's alternate data streams (":name:$DATA"); none
    // where the file system has none.
    virtual std::vector<std::string> Streams(IEntry& file) = 0;
    virtual std::unique_ptr<IOpenFile>
    OpenStreamForOverwrite(IEntry& file, const std::string& stream, OsError& error) = 0;
    // The full paths of a file's other names (hard links) where the system
    // can list them; none where it cannot.
    virtual std::vector<std::string> OtherNames(IEntry& file) = 0;
    // Renames inside an open folder; fails rather than replace an entry.
    virtual bool RenameIn(IEntry& folder, const std::string& from, const std::string& to,
                          OsError& error) = 0;
    // A folder goes only when, opened as itself, it is an empty folder and
    // no reparse point.
    virtual bool RemoveIn(IEntry& folder, const std::string& name, RemoveKind kind,
                          OsError& error) = 0;
    // OpenIn for a folder that is to go once it is emptied: held, where the
    // system can, so that RemoveFolderEntry needs no open of its own. Nobody
    // else may then open it without sharing deletion.
    virtual std::unique_ptr<IEntry> OpenFolderToRemove(IEntry& folder, const std::string& name,
                                                       OsError& error)
    {
        return OpenIn(folder, name, error);
    }
    // Removes the folder `entry`, opened as `name` in `folder`, under the
    // same rule. Where the system can, through the handle it was checked on,
    // without opening its name again: each open costs as much as the folder
    // is deep under wine. The entry is closed either way.
    virtual bool RemoveFolderEntry(IEntry& folder, const std::string& name,
                                   std::unique_ptr<IEntry> entry, OsError& error)
    {
        entry.reset();
        return RemoveIn(folder, name, RemoveKind::Folder, error);
    }

    // By path, for the program's own files and folders only (log, filler
    // files, the wipe's folder).
    virtual bool RemoveFile(const std::string& path, OsError& error) = 0;
    virtual bool RemoveFolder(const std::string& path, OsError& error) = 0;
    virtual bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries,
                            OsError& error) = 0;
    // The system's description of an error code.
    virtual std::string ErrorText(std::uint32_t code) = 0;

    // Fails with AlreadyExists for an existing folder.
    virtual bool CreateFolder(const std::string& path, OsError& error) = 0;
    // Creates or truncates a file for exclusive, write-through writing.
    virtual std::unique_ptr<IOpenFile> CreateForWriting(const std::string& path,
                                                        OsError& error) = 0;
    // Makes a new file for exclusive, write-through writing. Fails with
    // AlreadyExists when anything holds the name, a link included: what was
    // there is never opened, followed or truncated.
    virtual std::unique_ptr<IOpenFile> CreateNewForWriting(const std::string& path,
                                                           OsError& error) = 0;
    // The free space of the volume of `root`. `legacy` asks the old way,
    // whose byte counts wrap at 32 bits and know no quota.
    virtual std::optional<FreeSpaceInfo> QueryFreeSpace(const std::string& root, bool legacy,
                                                        OsError& error) = 0;
};

} // namespace qw
