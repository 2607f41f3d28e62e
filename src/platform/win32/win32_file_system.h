#pragma once

#include "platform/file_system.h"

namespace qw
{

class CWin32FileSystem : public IFileSystem
{
public:
    std::optional<std::string> ReadWholeFile(const std::string& path) override;
    bool AppendToFile(const std::string& path, std::string_view bytes) override;
    std::optional<FileStatus> Status(const std::string& path, OsError& error) override;
    bool SetNormalAttributes(const std::string& path, OsError& error) override;
    std::unique_ptr<IOpenFile> OpenForOverwrite(const std::string& path, OsError& error) override;
    bool Rename(const std::string& from, const std::string& to, OsError& error) override;
    bool RemoveFile(const std::string& path, OsError& error) override;
    bool RemoveFolder(const std::string& path, OsError& error) override;
    bool RemoveLink(const std::string& path, OsError& error) override;
    bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries,
                    OsError& error) override;
    std::string ErrorText(std::uint32_t code) override;
    bool CreateFolder(const std::string& path, OsError& error) override;
    std::unique_ptr<IOpenFile> CreateForWriting(const std::string& path, OsError& error) override;
    std::optional<FreeSpaceInfo> QueryFreeSpace(const std::string& root, bool legacy,
                                                OsError& error) override;
};

// The portable error of a Win32 error code.
OsError ErrorFromWin32(std::uint32_t code);

} // namespace qw
