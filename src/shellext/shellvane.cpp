// Entry points of Shellvane.dll, the Explorer context-menu extension.

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_system_info.h"
#include "shellext/context_menu.h"
#include "shellext/extension_logic.h"

#include <windows.h>

#include <olectl.h>

#include <new>

namespace qw
{
namespace
{

HKEY RootKey(RegistryRoot root)
{
    return root == RegistryRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_LOCAL_MACHINE;
}

class CWin32RegistryWriter : public IRegistryWriter
{
public:
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

    bool DeleteKey(RegistryRoot root, const std::string& key) override
    {
        return RegDeleteKeyW(RootKey(root), Utf8ToWide(key).c_str()) == ERROR_SUCCESS;
    }

    void DeleteValue(RegistryRoot root, const std::string& key,
                     const std::string& valueName) override
    {
        CUniqueKey opened;
        if (RegOpenKeyExW(RootKey(root), Utf8ToWide(key).c_str(), 0, KEY_SET_VALUE, opened.Out()) ==
            ERROR_SUCCESS)
        {
            RegDeleteValueW(opened.Get(), Utf8ToWide(valueName).c_str());
        }
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
    return qw::LiveObjects() == 0 ? S_OK : S_FALSE;
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
            return qw::UnregisterExtension(registry, qw::ClassIdText(), qw::NtFamily())
                       ? S_OK
                       : SELFREG_E_CLASS;
        });
}
