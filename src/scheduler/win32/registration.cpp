// What an in-process automation server writes: the class with its server
// and threading model, both ProgIDs, and the type library, which registers
// the four interfaces with the type-library marshaler.

#include "platform/win32/com_guard.h"
#include "platform/win32/com_ptr.h"
#include "platform/win32/unique_handle.h"
#include "taskloom_idl.h"

#include <olectl.h>
#include <windows.h>

#include <string>

namespace qw::sched
{
std::wstring OwnModulePath();
}

namespace
{

constexpr wchar_t kProgId[] = L"TaskScheduler.Schedule";
constexpr wchar_t kProgIdVersion[] = L"TaskScheduler.Schedule.1";

#ifdef _WIN64
constexpr SYSKIND kSysKind = SYS_WIN64;
#else
constexpr SYSKIND kSysKind = SYS_WIN32;
#endif

std::wstring GuidText(const GUID& guid)
{
    wchar_t text[40] = {};
    StringFromGUID2(guid, text, 40);
    return text;
}

struct Row
{
    std::wstring key;
    const wchar_t* name; // null: the default value
    std::wstring value;
};

bool Write(const Row& row)
{
    qw::CUniqueKey key;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, row.key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        key.Out(), nullptr) != ERROR_SUCCESS)
        return false;
    return RegSetValueExW(
               key.Get(), row.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(row.value.c_str()),
               static_cast<DWORD>((row.value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool Remove(const std::wstring& key)
{
    // Deletes the key with everything below it.
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

HRESULT Register()
{
    const std::wstring path = qw::sched::OwnModulePath();
    if (path.empty())
        return SELFREG_E_CLASS;
    qw::CComPtr<ITypeLib> lib;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.Put())) ||
        FAILED(RegisterTypeLib(lib.Get(), const_cast<wchar_t*>(path.c_str()), nullptr)))
        return SELFREG_E_TYPELIB;

    const std::wstring clsid = L"CLSID\\" + GuidText(CLSID_Schedule);
    const Row rows[] = {
        {clsid, nullptr, kProgId},
        {clsid + L"\\InprocServer32", nullptr, path},
        {clsid + L"\\InprocServer32", L"ThreadingModel", L"Apartment"},
        {clsid + L"\\ProgID", nullptr, kProgIdVersion},
        {clsid + L"\\VersionIndependentProgID", nullptr, kProgId},
        {clsid + L"\\TypeLib", nullptr, GuidText(LIBID_TaskScheduler)},
        {clsid + L"\\Version", nullptr, L"1.0"},
        {clsid + L"\\Programmable", nullptr, L""},
        {kProgId, nullptr, kProgId},
        {std::wstring(kProgId) + L"\\CLSID", nullptr, GuidText(CLSID_Schedule)},
        {std::wstring(kProgId) + L"\\CurVer", nullptr, kProgIdVersion},
        {kProgIdVersion, nullptr, kProgId},
        {std::wstring(kProgIdVersion) + L"\\CLSID", nullptr, GuidText(CLSID_Schedule)},
    };
    for (const Row& row : rows)
        if (!Write(row))
            return SELFREG_E_CLASS;
    return S_OK;
}

HRESULT Unregister()
{
    HRESULT result = S_OK;
    for (const std::wstring& key : {L"CLSID\\" + GuidText(CLSID_Schedule), std::wstring(kProgId),
                                    std::wstring(kProgIdVersion)})
        if (!Remove(key))
            result = SELFREG_E_CLASS;
    const HRESULT hr = UnRegisterTypeLib(LIBID_TaskScheduler, 1, 0, 0x409, kSysKind);
    if (FAILED(hr) && hr != TYPE_E_REGISTRYACCESS && result == S_OK)
        result = SELFREG_E_TYPELIB;
    return result;
}

} // namespace

extern "C" HRESULT STDAPICALLTYPE DllRegisterServer()
{
    return qw::Guarded(Register);
}

extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    return qw::Guarded(Unregister);
}
