#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qw
{

enum class DriveType
{
    Unknown = 0,
    NoRootDir = 1,
    Removable = 2,
    Fixed = 3,
    Remote = 4,
    CdRom = 5,
    RamDisk = 6,
};

struct OsVersion
{
    unsigned platformId = 0; // 2 = NT line, 1 = 9x line
    unsigned major = 0;
    unsigned minor = 0;
};

// A security identifier as the token holds it, before its text form.
struct RawSid
{
    std::uint8_t revision = 1;
    std::array<std::uint8_t, 6> authority{};
    std::vector<std::uint32_t> subAuthorities;
};

struct UserSidResult
{
    int failureCode = 0; // 0 read; 1 token not opened; 2 token user not read
    RawSid sid;
};

// Facts about the machine that start-up gathers once. Paths are
// backslash-separated on every platform.
class ISystemInfo
{
public:
    virtual ~ISystemInfo() = default;
    virtual std::string ProgramPath() = 0;
    virtual std::uint32_t LogicalDriveMask() = 0;
    virtual DriveType DriveTypeOf(const std::string& root) = 0;
    // Empty when the volume cannot be asked.
    virtual std::string FileSystemName(const std::string& root) = 0;
    virtual std::string WindowsDirectory() = 0;
    virtual std::string SystemDirectory() = 0;
    // Empty when the shell cannot resolve the folder id.
    virtual std::string SpecialFolder(int folderId) = 0;
    // The user's local application data folder (%LOCALAPPDATA%), which a
    // standard user can always write; empty when the shell cannot say.
    virtual std::string LocalAppDataFolder() = 0;
    virtual OsVersion GetOsVersion() = 0;
    virtual UserSidResult ReadUserSid() = 0;
    // For the erasure record: who ran it where, and when. Empty names when
    // the system cannot say.
    virtual std::string ComputerName() = 0;
    virtual std::string UserName() = 0;
    virtual std::chrono::system_clock::time_point Now() { return std::chrono::system_clock::now(); }
};

} // namespace qw
