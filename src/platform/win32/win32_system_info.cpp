#include "platform/win32/win32_system_info.h"

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

#include <windows.h>

#include <shlobj.h>

#include <vector>

namespace qw
{
namespace
{

std::string StripLongPrefix(std::string path)
{
    if (path.rfind("\\\\?\\UNC\\", 0) == 0)
    {
        return "\\\\" + path.substr(8);
    }
    if (path.rfind("\\\\?\\", 0) == 0)
    {
        return path.substr(4);
    }
    return path;
}

using DirectoryGetter = UINT(WINAPI*)(LPWSTR, UINT);

std::string ReadDirectory(DirectoryGetter getter)
{
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    UINT n = getter(buffer.data(), static_cast<UINT>(buffer.size()));
    if (n >= buffer.size())
    {
        buffer.resize(n + 1);
        n = getter(buffer.data(), static_cast<UINT>(buffer.size()));
    }
    return n == 0 || n >= buffer.size() ? std::string() : WideToUtf8({buffer.data(), n});
}

} // namespace

std::string ModuleFilePath(HMODULE module)
{
    std::vector<wchar_t> buffer(MAX_PATH);
    while (true)
    {
        DWORD n = GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
        {
            return {};
        }
        if (n < buffer.size())
        {
            return StripLongPrefix(WideToUtf8({buffer.data(), n}));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string CWin32SystemInfo::ProgramPath()
{
    return ModuleFilePath(nullptr);
}

std::uint32_t CWin32SystemInfo::LogicalDriveMask()
{
    return GetLogicalDrives();
}

DriveType CWin32SystemInfo::DriveTypeOf(const std::string& root)
{
    return static_cast<DriveType>(GetDriveTypeW(Utf8ToWide(root).c_str()));
}

std::string CWin32SystemInfo::FileSystemName(const std::string& root)
{
    wchar_t name[64] = {};
    if (!GetVolumeInformationW(Utf8ToWide(root).c_str(), nullptr, 0, nullptr, nullptr, nullptr,
                               name, 64))
    {
        return {};
    }
    return WideToUtf8(name);
}

std::string CWin32SystemInfo::WindowsDirectory()
{
    return ReadDirectory(&GetWindowsDirectoryW);
}

std::string CWin32SystemInfo::SystemDirectory()
{
    return ReadDirectory(&GetSystemDirectoryW);
}

std::string CWin32SystemInfo::SpecialFolder(int folderId)
{
    wchar_t path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, folderId, FALSE))
    {
        return {};
    }
    return WideToUtf8(path);
}

std::string CWin32SystemInfo::LocalAppDataFolder()
{
    PWSTR path = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &path)))
    {
        folder = WideToUtf8(path);
    }
    CoTaskMemFree(path);
    return folder;
}

OsVersion CWin32SystemInfo::GetOsVersion()
{
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    // Deprecated but exact for what we ask: the platform and its 5.1 or 4.90.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExW(&info);
#pragma GCC diagnostic pop
    return {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
}

UserSidResult CWin32SystemInfo::ReadUserSid()
{
    UserSidResult result;
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_READ, &raw))
    {
        result.failureCode = 1;
        return result;
    }
    CUniqueHandle token(raw);
    alignas(TOKEN_USER) BYTE buffer[1000];
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size))
    {
        result.failureCode = 2;
        return result;
    }
    PSID sid = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    if (!IsValidSid(sid))
    {
        result.failureCode = 3;
        return result;
    }
    const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
    for (int i = 0; i < 6; ++i)
    {
        result.sid.authority[i] = authority->Value[i];
    }
    result.sid.revision = SID_REVISION;
    UCHAR count = *GetSidSubAuthorityCount(sid);
    for (UCHAR i = 0; i < count; ++i)
    {
        result.sid.subAuthorities.push_back(*GetSidSubAuthority(sid, i));
    }
    return result;
}

std::string CWin32SystemInfo::ComputerName()
{
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &size) ? WideToUtf8(name) : std::string();
}

std::string CWin32SystemInfo::UserName()
{
    wchar_t name[257] = {}; // UNLEN + 1
    DWORD size = 257;
    return GetUserNameW(name, &size) ? WideToUtf8(name) : std::string();
}

} // namespace qw
