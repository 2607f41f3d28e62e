#pragma once

#include "platform/file_system.h"

namespace qw
{

class CWin32FileSystem : public IFileSystem
{
public:
    std::optional<std::string> ReadWholeFile(const std::string& path) override;
    std::optional<std::string> ReadFileEnd(const std::string& path, std::size_t most) override;
    bool AppendToFile(const std::string& path, std::string_view bytes) override;
    std::optional<std::uint64_t> FileSize(const std::string& path) override;
    std::optional<std::uint64_t> LastWriteTime(const std::string& path) override;
    std::string AbsolutePath(const std::string& path) override;
    std::optional<FileStatus> Status(const std::string& path, OsError& error) override;
    std::unique_ptr<IEntry> Open(const std::string& path, OsError& error) override;
    std::unique_ptr<IEntry> OpenIn(IEntry& folder, const std::string& name,
                                   OsError& error) override;
    FileIdentity IdentityIn(IEntry& folder, const std::string& name) override;
    bool List(IEntry& folder, std::vector<FolderEntry>& entries, OsError& error) override;
    bool SetNormalAttributes(IEntry& entry, OsError& error) override;
    std::unique_ptr<IOpenFile> OpenForOverwrite(IEntry& file, OsError& error) override;
    std::vector<std::string> Streams(IEntry& file) override;
    std::unique_ptr<IOpenFile> OpenStreamForOverwrite(IEntry& file, const std::string& stream,
                                                      OsError& error) override;
    std::vector<std::string> OtherNames(IEntry& file) override;
    bool RenameIn(IEntry& folder, const std::string& from, const std::string& to,
                  OsError& error) override;
    std::unique_ptr<IEntry> OpenFolderToRemove(IEntry& folder, const std::string& name,
                                               OsError& error) override;
    bool RemoveFolderEntry(IEntry& folder, const std::string& name, std::unique_ptr<IEntry> entry,
                           OsError& error) override;
    bool RemoveIn(IEntry& folder, const std::string& name, RemoveKind kind,
                  OsError& error) override;
    bool RemoveFile(const std::string& path, OsError& error) override;
    bool RemoveFolder(const std::string& path, OsError& error) override;
    bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries,
                    OsError& error) override;
    std::string ErrorText(std::uint32_t code) override;
    bool CreateFolder(const std::string& path, OsError& error) override;
    std::unique_ptr<IOpenFile> CreateForWriting(const std::string& path, OsError& error) override;
    std::unique_ptr<IOpenFile> CreateNewForWriting(const std::string& path,
                                                   OsError& error) override;
    std::optional<FreeSpaceInfo> QueryFreeSpace(const std::string& root, bool legacy,
                                                OsError& error) override;
};

// The portable error of a Win32 error code.
OsError ErrorFromWin32(std::uint32_t code);

// An entry's status from its attributes and reparse tag: only name
// surrogates (symbolic links, junctions, mount points) are links. A reparse
// point whose tag could not be read counts as a link: never followed.
FileStatus StatusFromAttributes(std::uint32_t attributes, std::uint32_t reparseTag, bool tagKnown,
                                std::uint64_t size);

} // namespace qw
