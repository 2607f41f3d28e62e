#include "platform/win32/win32_class_registry.h"

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

#include <windows.h>

namespace qw
{

bool CWin32ClassRegistry::ClassKeyExists(const std::string& key)
{
    // Read access is enough to know a class is registered; asking for full
    // access fails for a user without administrator rights although the
    // class is there.
    CUniqueKey opened;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, Utf8ToWide(key).c_str(), 0, KEY_READ, opened.Out()) ==
           ERROR_SUCCESS;
}

bool CWin32ClassRegistry::SetUserClassText(const std::string& key, const std::string& text)
{
    // The user's own classes are what HKEY_CLASSES_ROOT shows that user, and
    // unlike the machine's they can be written without administrator rights.
    // Always the shell's 64-bit view: 64-bit Windows keeps a second CLSID
    // branch for 32-bit programs, which Explorer never reads.
    CUniqueKey opened;
    std::wstring path = L"Software\\Classes\\" + Utf8ToWide(key);
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, opened.Out(),
                        nullptr) != ERROR_SUCCESS)
    {
        return false;
    }
    std::wstring wide = Utf8ToWide(text);
    return RegSetValueExW(opened.Get(), nullptr, 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(wide.c_str()),
                          static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

} // namespace qw
