#include "platform/win32/registry_settings_store.h"

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

#include <vector>

namespace qw
{

CRegistrySettingsStore::CRegistrySettingsStore(std::string_view company, std::string_view profile,
                                               HKEY root)
    : m_root(root), m_subKey(L"Software\\" + Utf8ToWide(company) + L"\\" + Utf8ToWide(profile))
{
}

int CRegistrySettingsStore::ReadInt(std::string_view name, int defaultValue)
{
    CUniqueKey key;
    if (RegOpenKeyExW(m_root, m_subKey.c_str(), 0, KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS)
    {
        return defaultValue;
    }
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExW(key.Get(), Utf8ToWide(name).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof value)
    {
        return defaultValue;
    }
    return static_cast<int>(value);
}

std::string CRegistrySettingsStore::ReadText(std::string_view name, std::string_view defaultValue)
{
    CUniqueKey key;
    if (RegOpenKeyExW(m_root, m_subKey.c_str(), 0, KEY_QUERY_VALUE, key.Out()) != ERROR_SUCCESS)
    {
        return std::string(defaultValue);
    }
    std::wstring wideName = Utf8ToWide(name);
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
    {
        return std::string(defaultValue);
    }
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    DWORD bytes = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(key.Get(), wideName.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(buffer.data()), &bytes) != ERROR_SUCCESS)
    {
        return std::string(defaultValue);
    }
    // The stored text need not carry its terminator.
    return WideToUtf8(std::wstring(buffer.data()));
}

bool CRegistrySettingsStore::Write(std::string_view name, DWORD type, const BYTE* data, DWORD size)
{
    CUniqueKey key;
    if (RegCreateKeyExW(m_root, m_subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.Out(), nullptr) != ERROR_SUCCESS)
    {
        return false;
    }
    return RegSetValueExW(key.Get(), Utf8ToWide(name).c_str(), 0, type, data, size) ==
           ERROR_SUCCESS;
}

bool CRegistrySettingsStore::WriteInt(std::string_view name, int value)
{
    DWORD dword = static_cast<DWORD>(value);
    return Write(name, REG_DWORD, reinterpret_cast<const BYTE*>(&dword), sizeof dword);
}

bool CRegistrySettingsStore::WriteText(std::string_view name, std::string_view value)
{
    std::wstring wide = Utf8ToWide(value);
    return Write(name, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                 static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
}

} // namespace qw
