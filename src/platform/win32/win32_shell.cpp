#include "platform/win32/win32_shell.h"

#include "platform/win32/wide.h"

#include <windows.h>

#include <shlobj.h>

namespace qw
{

std::optional<std::string> CWin32Shell::ParseDisplayPath(const std::string& path)
{
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(SHParseDisplayName(Utf8ToWide(path).c_str(), nullptr, &list, 0, nullptr)) || !list)
    {
        return std::nullopt;
    }
    wchar_t buffer[MAX_PATH * 4] = {};
    BOOL ok = SHGetPathFromIDListEx(list, buffer, static_cast<DWORD>(std::size(buffer)),
                                    GPFIDL_DEFAULT);
    CoTaskMemFree(list);
    if (!ok)
    {
        return std::nullopt;
    }
    return WideToUtf8(buffer);
}

} // namespace qw
