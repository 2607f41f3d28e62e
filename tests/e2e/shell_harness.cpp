// Drives Shellvane.dll as Explorer does (wine's Explorer never loads
// context-menu handlers): the class made through COM from the registry, a
// data object of our own serving CF_HDROP, a real menu, InvokeCommand.
//
//   shell_harness objects            reference, object and lock counts,
//                                    interfaces, command strings, menu flags
//   shell_harness menu               prints the text of the inserted item
//   shell_harness invoke [--no-ui] PATH...|@LIST
//                                    picks the item for these paths, or for
//                                    the lines of the UTF-8 file LIST
//   shell_harness offset N PATH...   invokes command offset N
//   shell_harness verb TEXT PATH...  invokes the verb TEXT, the ANSI way and
//                                    Explorer's way (offset 0, wide verb)
//   shell_harness bare               invokes without a selection
//   shell_harness unregister DLL     prints what DllUnregisterServer returns
//
// Invocations print the HRESULT of each call; objects prints "ok: ..." or
// "FAIL: ..." per check; exit 1 when one failed.

#include "platform/win32/wide.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

namespace
{

int g_failures = 0;

void Check(bool passed, const char* what)
{
    std::printf("%s: %s\n", passed ? "ok" : "FAIL", what);
    g_failures += passed ? 0 : 1;
}

// Serves the selection as Explorer does: CF_HDROP in global memory, wide.
class CDropData : public IDataObject
{
public:
    explicit CDropData(std::vector<std::wstring> paths, bool servesDrop = true)
        : m_paths(std::move(paths)), m_servesDrop(servesDrop)
    {
    }
    virtual ~CDropData() = default;

    LONG References() const { return m_references; }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override
    {
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IDataObject))
        {
            return E_NOINTERFACE;
        }
        *out = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
    // Lives on the harness's stack: never deleted.
    STDMETHODIMP_(ULONG) Release() override { return --m_references; }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override
    {
        if (!m_servesDrop || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL))
        {
            return DV_E_FORMATETC;
        }
        std::wstring names;
        for (const std::wstring& path : m_paths)
        {
            names += path;
            names += L'\0';
        }
        names += L'\0';
        SIZE_T bytes = sizeof(DROPFILES) + names.size() * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GHND, bytes);
        auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        std::memcpy(drop + 1, names.data(), names.size() * sizeof(wchar_t));
        GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override
    {
        return m_servesDrop && format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override
    {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override
    {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    std::vector<std::wstring> m_paths;
    bool m_servesDrop;
    LONG m_references = 1;
};

const CLSID& HandlerClass()
{
    static CLSID clsid = []
    {
        CLSID id{};
        CLSIDFromString(L"{51917337-5113-4EC2-9CB6-C6212D0EF3E9}", &id);
        return id;
    }();
    return clsid;
}

IContextMenu* NewHandler()
{
    IContextMenu* menu = nullptr;
    HRESULT result = CoCreateInstance(HandlerClass(), nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IContextMenu, reinterpret_cast<void**>(&menu));
    if (FAILED(result))
    {
        std::fprintf(stderr, "CoCreateInstance: 0x%08lx\n", static_cast<unsigned long>(result));
        std::exit(1);
    }
    return menu;
}

HRESULT Initialize(IContextMenu* menu, IDataObject* data)
{
    IShellExtInit* init = nullptr;
    menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init));
    HRESULT result = init->Initialize(nullptr, data, nullptr);
    init->Release();
    return result;
}

// What GetCommandString answers for our item into a buffer filled beforehand
// with '#': "0xRESULT " and the text up to its terminator (ANSI as bytes).
std::string Ask(IContextMenu* menu, UINT type, UINT room)
{
    wchar_t wide[256];
    char ansi[256];
    std::fill(std::begin(wide), std::end(wide), L'#');
    std::fill(std::begin(ansi), std::end(ansi), '#');
    const bool isWide = (type & GCS_UNICODE) != 0;
    HRESULT result = menu->GetCommandString(0, type, nullptr,
                                            isWide ? reinterpret_cast<CHAR*>(wide) : ansi, room);
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lx ", static_cast<unsigned long>(result));
    return hex + (isWide ? qw::WideToUtf8(std::wstring(wide, wcsnlen(wide, 256)))
                         : std::string(ansi, strnlen(ansi, 256)));
}

void CheckCommandStrings(IContextMenu* handler)
{
    HMENU menu = CreatePopupMenu();
    handler->QueryContextMenu(menu, 0, 1, 1, CMF_NORMAL);
    wchar_t item[256] = {};
    GetMenuStringW(menu, 0, item, 256, MF_BYPOSITION);
    DestroyMenu(menu);
    std::string itemW = qw::WideToUtf8(item);
    char itemA[512] = {};
    WideCharToMultiByte(CP_ACP, 0, item, -1, itemA, sizeof itemA, nullptr, nullptr);
    const std::string untouched(256, '#');
    const std::string noRoom = "0x8007007a ";
    // A cut verb would name another verb: nothing, and a failure. Help text
    // is only shown: cut to the room, terminated.
    const std::tuple<const char*, UINT, UINT, std::string> cases[] = {
        {"GCS_VALIDATEW", GCS_VALIDATEW, 64, "0x00000000 " + untouched},
        {"GCS_VALIDATEA", GCS_VALIDATEA, 64, "0x00000000 " + untouched},
        {"GCS_VERBW", GCS_VERBW, 64, "0x00000000 quellwipe"},
        {"GCS_VERBA", GCS_VERBA, 64, "0x00000000 quellwipe"},
        {"GCS_VERBW with exactly room", GCS_VERBW, 10, "0x00000000 quellwipe"},
        {"GCS_VERBW one short", GCS_VERBW, 9, noRoom},
        {"GCS_VERBA one short", GCS_VERBA, 9, noRoom},
        {"GCS_HELPTEXTW", GCS_HELPTEXTW, 256, "0x00000000 " + itemW},
        {"GCS_HELPTEXTA", GCS_HELPTEXTA, 256, "0x00000000 " + std::string(itemA)},
        {"GCS_HELPTEXTW in room 5", GCS_HELPTEXTW, 5, "0x00000000 " + itemW.substr(0, 4)},
        {"GCS_HELPTEXTA in room 5", GCS_HELPTEXTA, 5, "0x00000000 " + std::string(itemA, 4)},
        {"GCS_VERBICONW", GCS_VERBICONW, 64, "0x80004001 " + untouched},
    };
    for (const auto& [what, type, room, expected] : cases)
    {
        std::string answer = Ask(handler, type, room);
        Check(answer == expected, (what + (": " + answer.substr(0, 80))).c_str());
    }
    Check(handler->GetCommandString(0, GCS_HELPTEXTW, nullptr, nullptr, 64) == E_INVALIDARG,
          "GCS_HELPTEXTW into no buffer is E_INVALIDARG");
}

// The item is offered for an ordinary menu, never when only the default verb
// is asked for or when the menu is a shortcut's target's.
void CheckMenuFlags(IContextMenu* handler)
{
    for (UINT flags : {CMF_NORMAL, CMF_EXPLORE | CMF_CANRENAME, CMF_DEFAULTONLY, CMF_VERBSONLY})
    {
        HMENU menu = CreatePopupMenu();
        HRESULT result = handler->QueryContextMenu(menu, 0, 7, 9, flags);
        int items = (flags & (CMF_DEFAULTONLY | CMF_VERBSONLY)) ? 0 : 1;
        char what[96];
        std::snprintf(what, sizeof what, "flags 0x%x: %d item(s), result 0x%08lx", flags,
                      GetMenuItemCount(menu), static_cast<unsigned long>(result));
        Check(result == MAKE_HRESULT(SEVERITY_SUCCESS, 0, items) && GetMenuItemCount(menu) == items,
              what);
        DestroyMenu(menu);
    }
}

using CanUnloadFunction = HRESULT(STDAPICALLTYPE*)();
using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

int Objects()
{
    IContextMenu* menu = NewHandler();
    HMODULE dll = GetModuleHandleW(L"Shellvane.dll");
    auto canUnload = reinterpret_cast<CanUnloadFunction>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    auto getClass = reinterpret_cast<GetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    Check(canUnload && getClass, "the library exports DllCanUnloadNow and DllGetClassObject");
    if (!canUnload || !getClass)
    {
        return 1;
    }
    Check(canUnload() == S_FALSE, "DllCanUnloadNow is S_FALSE while a handler lives");

    IShellExtInit* init = nullptr;
    IUnknown* unknown = nullptr;
    void* other = &other;
    Check(menu->QueryInterface(IID_IShellExtInit, reinterpret_cast<void**>(&init)) == S_OK,
          "the handler answers IShellExtInit");
    Check(menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)) == S_OK &&
              static_cast<void*>(unknown) == static_cast<void*>(init),
          "IUnknown is the IShellExtInit interface");
    Check(menu->QueryInterface(IID_IDataObject, &other) == E_NOINTERFACE && other == nullptr,
          "another interface is E_NOINTERFACE with the out pointer cleared");

    CDropData data({L"C:\\windows"});
    CDropData noDrop({}, false);
    Check(init->Initialize(nullptr, nullptr, nullptr) == E_FAIL, "Initialize without data fails");
    Check(init->Initialize(nullptr, &noDrop, nullptr) == E_FAIL,
          "Initialize with data lacking CF_HDROP fails");
    Check(init->Initialize(nullptr, &data, nullptr) == S_OK, "Initialize with CF_HDROP succeeds");
    Check(noDrop.References() == 1 && data.References() == 2,
          "only the latest data object is held");
    Check(init->Initialize(nullptr, &data, nullptr) == S_OK && data.References() == 2,
          "a second Initialize releases the first hold");

    // Only offset 0 is ours, whatever the caller asks about it.
    bool foreign = true;
    for (UINT_PTR offset : {1, 3, 5})
    {
        for (UINT type : {GCS_VALIDATEW, GCS_VALIDATEA, GCS_VERBW, GCS_VERBA, GCS_HELPTEXTW})
        {
            wchar_t buffer[64];
            foreign = foreign &&
                      menu->GetCommandString(offset, type, nullptr, reinterpret_cast<CHAR*>(buffer),
                                             64) == E_INVALIDARG;
        }
    }
    Check(foreign, "GetCommandString for another offset is E_INVALIDARG");
    CheckCommandStrings(menu);
    CheckMenuFlags(menu);

    Check(menu->AddRef() == 4 && menu->Release() == 3, "AddRef and Release count the references");
    unknown->Release();
    init->Release();
    menu->Release();
    Check(data.References() == 1, "the last release lets the data object go");
    Check(canUnload() == S_OK, "DllCanUnloadNow is S_OK after the last release");

    IClassFactory* factory = nullptr;
    CLSID otherClass = IID_IDataObject;
    Check(getClass(otherClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)) ==
                  CLASS_E_CLASSNOTAVAILABLE &&
              factory == nullptr,
          "another class is CLASS_E_CLASSNOTAVAILABLE");
    Check(getClass(HandlerClass(), IID_IClassFactory, reinterpret_cast<void**>(&factory)) == S_OK,
          "the class factory is made");
    Check(canUnload() == S_FALSE, "DllCanUnloadNow is S_FALSE while a class factory lives");
    other = &other;
    Check(factory->QueryInterface(IID_IContextMenu, &other) == E_NOINTERFACE && other == nullptr,
          "the class factory answers only IUnknown and IClassFactory");
    Check(factory->LockServer(TRUE) == S_OK && factory->LockServer(FALSE) == S_OK,
          "LockServer succeeds");
    // A lock outlives the factory that took it; only as many unlocks free it.
    Check(factory->LockServer(TRUE) == S_OK && factory->LockServer(TRUE) == S_OK,
          "LockServer(TRUE) succeeds twice");
    IClassFactory* second = nullptr;
    getClass(HandlerClass(), IID_IClassFactory, reinterpret_cast<void**>(&second));
    second->LockServer(FALSE);
    second->Release();
    other = &other;
    Check(factory->CreateInstance(reinterpret_cast<IUnknown*>(&data), IID_IUnknown, &other) ==
                  CLASS_E_NOAGGREGATION &&
              other == nullptr,
          "aggregation is refused with the out pointer cleared");
    other = &other;
    Check(factory->CreateInstance(nullptr, IID_IDataObject, &other) == E_NOINTERFACE &&
              other == nullptr,
          "a handler asked for an interface it lacks is not kept");
    Check(factory->CreateInstance(nullptr, IID_IShellExtInit, &other) == S_OK && other != nullptr,
          "the class factory makes a handler");
    static_cast<IUnknown*>(other)->Release();
    factory->Release();
    Check(canUnload() == S_FALSE, "a lock left keeps DllCanUnloadNow S_FALSE with no object alive");
    getClass(HandlerClass(), IID_IClassFactory, reinterpret_cast<void**>(&factory));
    factory->LockServer(FALSE);
    factory->Release();
    Check(canUnload() == S_OK, "DllCanUnloadNow is S_OK once every object and lock is gone");
    return g_failures ? 1 : 0;
}

int Menu()
{
    IContextMenu* handler = NewHandler();
    CDropData data({L"C:\\windows"});
    Initialize(handler, &data);
    HMENU menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    HRESULT result = handler->QueryContextMenu(menu, 0, 100, 200, CMF_NORMAL);
    bool placed = HRESULT_CODE(result) == 1 && SUCCEEDED(result) && GetMenuItemCount(menu) == 2 &&
                  GetMenuItemID(menu, 0) == 100;
    HRESULT none = handler->QueryContextMenu(nullptr, 0, 100, 200, CMF_NORMAL);
    if (!placed || none != S_OK)
    {
        std::fprintf(stderr, "menu: 0x%08lx 0x%08lx\n", static_cast<unsigned long>(result),
                     static_cast<unsigned long>(none));
        return 1;
    }
    wchar_t text[256] = {};
    GetMenuStringW(menu, 0, text, 256, MF_BYPOSITION);
    std::printf("%s\n", qw::WideToUtf8(text).c_str());
    DestroyMenu(menu);
    handler->Release();
    return 0;
}

// One InvokeCommand call: its ANSI verb field, and the wide one when set.
struct Request
{
    const char* verb;
    const wchar_t* verbW; // null: the ANSI field alone, as old callers do
};

int Invoke(const std::vector<std::wstring>& paths, bool initialize,
           const std::vector<Request>& requests, bool noUi)
{
    IContextMenu* handler = NewHandler();
    CDropData data(paths);
    if (initialize && Initialize(handler, &data) != S_OK)
    {
        std::fprintf(stderr, "Initialize failed\n");
        return 1;
    }
    HMENU menu = CreatePopupMenu();
    handler->QueryContextMenu(menu, 0, 100, 200, CMF_NORMAL);
    bool allSucceeded = true;
    std::string results;
    for (const Request& request : requests)
    {
        CMINVOKECOMMANDINFOEX info{};
        info.cbSize = sizeof info;
        info.nShow = SW_SHOWNORMAL;
        info.fMask = (request.verbW ? CMIC_MASK_UNICODE : 0) | (noUi ? CMIC_MASK_FLAG_NO_UI : 0);
        info.lpVerb = request.verb;
        info.lpVerbW = request.verbW;
        HRESULT result = handler->InvokeCommand(reinterpret_cast<CMINVOKECOMMANDINFO*>(&info));
        allSucceeded = allSucceeded && result == S_OK;
        char text[16];
        std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(result));
        results += (results.empty() ? "" : " ") + std::string(text);
    }
    std::printf("%s\n", results.c_str());
    DestroyMenu(menu);
    handler->Release();
    return allSucceeded ? 0 : 1;
}

// The selection from a list file: more paths than one command line holds.
std::vector<std::wstring> ListedPaths(const std::wstring& list)
{
    std::ifstream file(qw::WideToUtf8(list));
    std::vector<std::wstring> paths;
    for (std::string line; std::getline(file, line);)
    {
        if (!line.empty() && line.back() == '\r')
        {
            line.pop_back();
        }
        if (!line.empty())
        {
            paths.push_back(qw::Utf8ToWide(line));
        }
    }
    return paths;
}

int Unregister(const std::wstring& library)
{
    HMODULE dll = LoadLibraryW(library.c_str());
    auto unregister = reinterpret_cast<CanUnloadFunction>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllUnregisterServer")));
    if (!unregister)
    {
        std::fprintf(stderr, "no DllUnregisterServer\n");
        return 1;
    }
    std::printf("0x%08lx\n", static_cast<unsigned long>(unregister()));
    FreeLibrary(dll);
    return 0;
}

} // namespace

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2)
    {
        std::fprintf(stderr,
                     "usage: shell_harness objects|menu|invoke|verb|bare|unregister [PATH...]\n");
        return 2;
    }
    std::wstring command = argv[1];
    std::vector<std::wstring> paths(argv + 2, argv + argc);
    LocalFree(argv);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int code = 2;
    if (command == L"objects")
    {
        code = Objects();
    }
    else if (command == L"menu")
    {
        code = Menu();
    }
    else if (command == L"unregister" && paths.size() == 1)
    {
        code = Unregister(paths[0]);
    }
    else if (command == L"invoke")
    {
        bool noUi = !paths.empty() && paths.front() == L"--no-ui";
        if (noUi)
        {
            paths.erase(paths.begin());
        }
        if (paths.size() == 1 && paths[0].rfind(L"@", 0) == 0)
        {
            paths = ListedPaths(paths[0].substr(1));
        }
        code = Invoke(paths, true, {{MAKEINTRESOURCEA(0), nullptr}}, noUi);
    }
    else if (command == L"offset" && !paths.empty())
    {
        auto offset = static_cast<WORD>(std::wcstoul(paths[0].c_str(), nullptr, 10));
        paths.erase(paths.begin());
        code = Invoke(paths, true, {{MAKEINTRESOURCEA(offset), MAKEINTRESOURCEW(offset)}}, true);
    }
    else if (command == L"verb" && !paths.empty())
    {
        std::wstring verbW = paths[0];
        std::string verb = qw::WideToUtf8(verbW);
        paths.erase(paths.begin());
        code = Invoke(paths, true, {{verb.c_str(), nullptr}, {MAKEINTRESOURCEA(0), verbW.c_str()}},
                      true);
    }
    else if (command == L"bare")
    {
        code = Invoke(paths, false, {{MAKEINTRESOURCEA(0), nullptr}}, true);
    }
    CoUninitialize();
    return code;
}
