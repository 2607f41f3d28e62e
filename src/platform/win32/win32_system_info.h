#pragma once

#include "platform/system_info.h"

#include <windows.h>

namespace qw
{

// The full path of a loaded module (null: the program), without a long-path
// prefix.
std::string ModuleFilePath(HMODULE module);

class CWin32SystemInfo : public ISystemInfo
{
public:
    std::string ProgramPath() override;
    std::uint32_t LogicalDriveMask() override;
    DriveType DriveTypeOf(const std::string& root) override;
    std::string FileSystemName(const std::string& root) override;
    std::string WindowsDirectory() override;
    std::string SystemDirectory() override;
    std::string SpecialFolder(int folderId) override;
    std::string LocalAppDataFolder() override;
    OsVersion GetOsVersion() override;
    UserSidResult ReadUserSid() override;
    std::string ComputerName() override;
    std::string UserName() override;
};

} // namespace qw
