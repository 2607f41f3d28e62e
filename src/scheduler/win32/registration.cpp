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
#include <vector>

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

// What a registration has changed so far, taken back in reverse order unless
// the whole registration went through: keys it made are deleted, values it
// replaced get their old data back, and a type library it registered is
// unregistered. What was there before stays as it was.
class CUndoLog
{
public:
    CUndoLog() = default;
    CUndoLog(const CUndoLog&) = delete;
    CUndoLog& operator=(const CUndoLog&) = delete;
    ~CUndoLog()
    {
        if (!m_kept)
            Rollback();
    }

    bool Write(const Row& row);
    void TypeLibRegistered() { m_steps.emplace_back(Step::TypeLib); }
    void Keep() { m_kept = true; }

private:
    struct Step
    {
        enum Kind
        {
            CreatedKey,
            Value,
            TypeLib,
        };
        Step(Kind k, std::wstring path = {}, const wchar_t* value = nullptr)
            : kind(k), key(std::move(path)), name(value)
        {
        }
        Kind kind;
        std::wstring key;
        const wchar_t* name = nullptr;
        bool hadValue = false;
        DWORD type = 0;
        std::vector<BYTE> data;
    };

    bool Open(const std::wstring& path, qw::CUniqueKey& key);
    void Rollback();

    std::vector<Step> m_steps;
    bool m_kept = false;
};

// Opens the key, making each missing one on the way and noting it.
bool CUndoLog::Open(const std::wstring& path, qw::CUniqueKey& key)
{
    for (size_t end = path.find(L'\\');; end = path.find(L'\\', end + 1))
    {
        const std::wstring part = path.substr(0, end);
        qw::CUniqueKey made;
        DWORD disposition = 0;
        if (RegCreateKeyExW(HKEY_CLASSES_ROOT, part.c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, made.Out(),
                            &disposition) != ERROR_SUCCESS)
            return false;
        if (disposition == REG_CREATED_NEW_KEY)
            m_steps.emplace_back(Step::CreatedKey, part);
        if (end == std::wstring::npos)
        {
            std::swap(*key.Out(), *made.Out());
            return true;
        }
    }
}

bool CUndoLog::Write(const Row& row)
{
    qw::CUniqueKey key;
    if (!Open(row.key, key))
        return false;
    Step old{Step::Value, row.key, row.name};
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), row.name, nullptr, &old.type, nullptr, &size) == ERROR_SUCCESS)
    {
        old.data.resize(size);
        old.hadValue = RegQueryValueExW(key.Get(), row.name, nullptr, &old.type, old.data.data(),
                                        &size) == ERROR_SUCCESS;
        old.data.resize(size);
    }
    m_steps.push_back(std::move(old));
    return RegSetValueExW(
               key.Get(), row.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(row.value.c_str()),
               static_cast<DWORD>((row.value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

void CUndoLog::Rollback()
{
    for (auto step = m_steps.rbegin(); step != m_steps.rend(); ++step)
        switch (step->kind)
        {
        case Step::CreatedKey:
            RegDeleteTreeW(HKEY_CLASSES_ROOT, step->key.c_str());
            break;
        case Step::Value:
        {
            // Gone with a key made by this registration, or put back.
            qw::CUniqueKey key;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, step->key.c_str(), 0, KEY_SET_VALUE, key.Out()) !=
                ERROR_SUCCESS)
                break;
            if (step->hadValue)
                RegSetValueExW(key.Get(), step->name, 0, step->type, step->data.data(),
                               static_cast<DWORD>(step->data.size()));
            else
                RegDeleteValueW(key.Get(), step->name);
            break;
        }
        case Step::TypeLib:
            UnRegisterTypeLib(LIBID_TaskScheduler, 1, 0, 0x409, kSysKind);
            break;
        }
}

bool KeyExists(const std::wstring& path)
{
    qw::CUniqueKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_QUERY_VALUE, key.Out()) ==
           ERROR_SUCCESS;
}

std::wstring TypeLibKey()
{
    return L"TypeLib\\" + GuidText(LIBID_TaskScheduler) + L"\\1.0\\409\\" +
           (kSysKind == SYS_WIN64 ? L"win64" : L"win32");
}

bool Remove(const std::wstring& key)
{
    // Deletes the key with everything below it; a key already gone counts
    // as removed.
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

HRESULT Register()
{
    const std::wstring path = qw::sched::OwnModulePath();
    if (path.empty())
        return SELFREG_E_CLASS;
    CUndoLog undo;
    // A type library that was registered before stays registered when a
    // later step fails; one registered here is taken back.
    const bool hadTypeLib = KeyExists(TypeLibKey());
    qw::CComPtr<ITypeLib> lib;
    if (FAILED(LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib.Put())))
        return SELFREG_E_TYPELIB;
    if (!hadTypeLib)
        undo.TypeLibRegistered();
    if (FAILED(RegisterTypeLib(lib.Get(), const_cast<wchar_t*>(path.c_str()), nullptr)))
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
        if (!undo.Write(row))
            return SELFREG_E_CLASS;
    undo.Keep();
    return S_OK;
}

// Removes everything it can, also when some of it is already gone.
HRESULT Unregister()
{
    HRESULT result = S_OK;
    for (const std::wstring& key : {L"CLSID\\" + GuidText(CLSID_Schedule), std::wstring(kProgId),
                                    std::wstring(kProgIdVersion)})
        if (!Remove(key))
            result = SELFREG_E_CLASS;
    const HRESULT hr = UnRegisterTypeLib(LIBID_TaskScheduler, 1, 0, 0x409, kSysKind);
    if (FAILED(hr) && KeyExists(TypeLibKey()) && result == S_OK)
        result = SELFREG_E_TYPELIB;
    // Without its library key UnRegisterTypeLib (wine 8) stops before the
    // interfaces; they go too when no build's library is left to use them.
    if (FAILED(hr) && !KeyExists(L"TypeLib\\" + GuidText(LIBID_TaskScheduler)))
        for (const IID* iid : {&IID__Schedule, &IID__Job, &IID__Triggers, &IID__Trigger})
            if (!Remove(L"Interface\\" + GuidText(*iid)) && result == S_OK)
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
