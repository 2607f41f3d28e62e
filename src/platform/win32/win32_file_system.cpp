#include "platform/win32/win32_file_system.h"

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace qw
{

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
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote,
                     nullptr) &&
           wrote == bytes.size();
}

} // namespace qw
