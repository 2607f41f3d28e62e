// Entry points of Shellvane.dll, the Explorer context-menu extension.

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_system_info.h"
#include "shellext/context_menu.h"
#include "shellext/extension_logic.h"

#include <windows.h>

#include <olectl.h>

#include <new>
#include <optional>

namespace qw
{
namespace
{

HKEY RootKey(RegistryRoot root)
{
    return root == RegistryRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
}

Removal RemovalOf(LSTATUS status)
{
    if (status == ERROR_SUCCESS)
    {
        return Removal::Removed;
    }
    return status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND ? Removal::Absent
                                                                            : Removal::Failed;
}

class CWin32RegistryWriter : public IRegistryWriter
{
public:
    bool KeyExists(RegistryRoot root, const std::string& key) override
    {
        CUniqueKey opened;
        return RegOpenKeyExW(RootKey(root), Utf8ToWide(key).c_str(), 0, KEY_QUERY_VALUE,
                             opened.Out()) == ERROR_SUCCESS;
    }

    std::optional<SavedValue> SaveValue(RegistryRoot root, const std::string& key,
                                        const std::string& valueName) override
    {
        CUniqueKey opened;
        if (RegOpenKeyExW(RootKey(root), Utf8ToWide(key).c_str(), 0, KEY_QUERY_VALUE,
                          opened.Out()) != ERROR_SUCCESS)
        {
            return std::nullopt;
        }
        std::wstring name = Utf8ToWide(valueName);
        const wchar_t* named = name.empty() ? nullptr : name.c_str();
        DWORD type = 0;
        DWORD size = 0;
        if (RegQueryValueExW(opened.Get(), named, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        {
            return std::nullopt;
        }
        SavedValue saved{type, std::string(size, '\0')};
        if (RegQueryValueExW(opened.Get(), named, nullptr, &type,
                             reinterpret_cast<BYTE*>(saved.bytes.data()), &size) != ERROR_SUCCESS)
        {
            return std::nullopt;
        }
        saved.type = type;
        saved.bytes.resize(size);
        return saved;
    }

    bool RestoreValue(RegistryRoot root, const std::string& key, const std::string& valueName,
                      const SavedValue& value) override
    {
        CUniqueKey opened;
        if (RegOpenKeyExW(RootKey(root), Utf8ToWide(key).c_str(), 0, KEY_SET_VALUE, opened.Out()) !=
            ERROR_SUCCESS)
        {
            return false;
        }
        std::wstring name = Utf8ToWide(valueName);
        return RegSetValueExW(opened.Get(), name.empty() ? nullptr : name.c_str(), 0, value.type,
                              reinterpret_cast<const BYTE*>(value.bytes.data()),
                              static_cast<DWORD>(value.bytes.size())) == ERROR_SUCCESS;
    }

    bool SetString(const RegistryRow& row) override
    {
        CUniqueKey key;
        if (RegCreateKeyExW(RootKey(row.root), Utf8ToWide(row.key).c_str(), 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_SET_VALUE, nullptr, key.Out(),
                            nullptr) != ERROR_SUCCESS)
        {
            return false;
        }
        std::wstring name = Utf8ToWide(row.valueName);
        std::wstring data = Utf8ToWide(row.data);
        return RegSetValueExW(key.Get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                              reinterpret_cast<const BYTE*>(data.c_str()),
                              static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }

    Removal DeleteKey(RegistryRoot root, const std::string& key) override
    {
        // Fails on a key with subkeys, which are not ours to remove.
        return RemovalOf(RegDeleteKeyW(RootKey(root), Utf8ToWide(key).c_str()));
    }

    Removal DeleteValue(RegistryRoot root, const std::string& key,
                        const std::string& valueName) override
    {
        CUniqueKey opened;
        LSTATUS status =
            RegOpenKeyExW(RootKey(root), Utf8ToWide(key).c_str(), 0, KEY_SET_VALUE, opened.Out());
        if (status != ERROR_SUCCESS)
        {
            return RemovalOf(status);
        }
        std::wstring name = Utf8ToWide(valueName);
        return RemovalOf(RegDeleteValueW(opened.Get(), name.empty() ? nullptr : name.c_str()));
    }
};

std::string ClassIdText()
{
    wchar_t text[40] = {};
    StringFromGUID2(kShellvaneClassId, text, 40);
    return WideToUtf8(text);
}

bool NtFamily()
{
    return CWin32SystemInfo().GetOsVersion().platformId == VER_PLATFORM_WIN32_NT;
}

} // namespace
} // namespace qw

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        // Thread notifications stay on: the static runtime's thread data
        // needs them.
        qw::SetModuleHandle(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    if (!out)
    {
        return E_POINTER;
    }
    *out = nullptr;
    if (!IsEqualCLSID(clsid, qw::kShellvaneClassId))
    {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new (std::nothrow) qw::CClassFactory;
    if (!factory)
    {
        return E_OUTOFMEMORY;
    }
    HRESULT result = factory->QueryInterface(iid, out);
    factory->Release();
    return result;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return qw::ModuleInUse() ? S_FALSE : S_OK;
}

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
    return qw::Guarded(
        []
        {
            qw::CWin32RegistryWriter registry;
            return qw::RegisterExtension(registry, qw::ClassIdText(),
                                         qw::ModuleFilePath(qw::ModuleHandle()), qw::NtFamily())
                       ? S_OK
                       : SELFREG_E_CLASS;
        });
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    return qw::Guarded(
        []
        {
            qw::CWin32RegistryWriter registry;
            return qw::UnregisterExtension(registry, qw::ClassIdText(), qw::NtFamily()).empty()
                       ? S_OK
                       : SELFREG_E_CLASS;
        });
}
