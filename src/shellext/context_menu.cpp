#include "shellext/context_menu.h"

#include "app/setting_names.h"
#include "lang/language_pack.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_system_info.h"
#include "platform/win32/win32_text_codec.h"
#include "shellext/extension_logic.h"

#include <shellapi.h>

#include <mutex>

namespace qw
{
namespace
{

LONG g_liveObjects = 0;
HMODULE g_module = nullptr;

std::string FolderOf(const std::string& path)
{
    std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

bool IsFile(const std::string& path)
{
    DWORD attributes = GetFileAttributesW(WideProgramPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string MenuText()
{
    const ModuleSettings& settings = Settings();
    // Without an application folder there is no pack to read; a relative
    // "\Lang\" would be looked up on the current drive.
    if (settings.appPath.empty())
    {
        return std::string(kMenuTextDefault);
    }
    CWin32FileSystem files;
    CWin32TextCodec codec;
    return CLanguagePack(files, codec)
        .Lookup(settings.appPath, settings.language, kPackSection, kMenuTextKey, kMenuTextDefault,
                kMenuTextLimit);
}

// The verb field holds a command offset in its low word, or points to text.
template <typename Char> bool VerbIsText(const Char* verb)
{
    return HIWORD(reinterpret_cast<UINT_PTR>(verb)) != 0;
}

} // namespace

long LiveObjects()
{
    return InterlockedCompareExchange(&g_liveObjects, 0, 0);
}

void SetModuleHandle(HMODULE module)
{
    g_module = module;
}

HMODULE ModuleHandle()
{
    return g_module;
}

const ModuleSettings& Settings()
{
    // Read on first use rather than in DllMain, where the loader lock is
    // held; a change reaches a process only when it loads the library anew.
    static ModuleSettings settings;
    static std::once_flag once;
    std::call_once(once,
                   []
                   {
                       CRegistrySettingsStore store(kSettingsCompany, kSettingsProfile);
                       settings.appPath = store.ReadText(kAppPath, "");
                       settings.language = MenuLanguage(store.ReadText(kLanguage, ""));
                       settings.moduleFolder = FolderOf(ModuleFilePath(g_module));
                   });
    return settings;
}

CClassFactory::CClassFactory()
{
    InterlockedIncrement(&g_liveObjects);
}

CClassFactory::~CClassFactory()
{
    InterlockedDecrement(&g_liveObjects);
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID iid, void** out)
{
    if (!out)
    {
        return E_POINTER;
    }
    *out = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IClassFactory))
    {
        return E_NOINTERFACE;
    }
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_references));
}

STDMETHODIMP_(ULONG) CClassFactory::Release()
{
    LONG left = InterlockedDecrement(&m_references);
    if (left == 0)
    {
        delete this;
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP CClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    if (!out)
    {
        return E_POINTER;
    }
    *out = nullptr;
    if (outer)
    {
        return CLASS_E_NOAGGREGATION;
    }
    auto* handler = new (std::nothrow) CContextMenuHandler;
    if (!handler)
    {
        return E_OUTOFMEMORY;
    }
    HRESULT result = handler->QueryInterface(iid, out);
    handler->Release();
    return result;
}

STDMETHODIMP CClassFactory::LockServer(BOOL)
{
    return S_OK;
}

CContextMenuHandler::CContextMenuHandler()
{
    InterlockedIncrement(&g_liveObjects);
}

CContextMenuHandler::~CContextMenuHandler()
{
    if (m_data)
    {
        m_data->Release();
    }
    InterlockedDecrement(&g_liveObjects);
}

STDMETHODIMP CContextMenuHandler::QueryInterface(REFIID iid, void** out)
{
    if (!out)
    {
        return E_POINTER;
    }
    *out = nullptr;
    if (IsEqualIID(iid, IID_IContextMenu))
    {
        *out = static_cast<IContextMenu*>(this);
    }
    else if (IsEqualIID(iid, IID_IShellExtInit) || IsEqualIID(iid, IID_IUnknown))
    {
        *out = static_cast<IShellExtInit*>(this);
    }
    else
    {
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CContextMenuHandler::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_references));
}

STDMETHODIMP_(ULONG) CContextMenuHandler::Release()
{
    LONG left = InterlockedDecrement(&m_references);
    if (left == 0)
    {
        delete this;
    }
    return static_cast<ULONG>(left);
}

STDMETHODIMP CContextMenuHandler::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY)
{
    return Guarded(
        [&]
        {
            if (m_data)
            {
                m_data->Release();
                m_data = nullptr;
            }
            m_paths.clear();
            if (!data)
            {
                return E_FAIL;
            }
            m_data = data;
            m_data->AddRef();
            return ReadSelection(data);
        });
}

HRESULT CContextMenuHandler::ReadSelection(IDataObject* data)
{
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium)))
    {
        return E_FAIL;
    }
    HRESULT result = E_FAIL;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal)
    {
        // The wide names: a name cut to MAX_PATH, or squeezed through the
        // ANSI code page, can name another existing file.
        auto drop = static_cast<HDROP>(medium.hGlobal);
        UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i)
        {
            UINT length = DragQueryFileW(drop, i, nullptr, 0);
            if (length == 0)
            {
                continue;
            }
            std::wstring path(length + 1, L'\0');
            UINT read = DragQueryFileW(drop, i, path.data(), length + 1);
            if (read == 0)
            {
                continue;
            }
            path.resize(read);
            m_paths.push_back(WideToUtf8(path));
        }
        result = S_OK;
    }
    ReleaseStgMedium(&medium);
    return result;
}

STDMETHODIMP CContextMenuHandler::QueryContextMenu(HMENU menu, UINT index, UINT firstId,
                                                   UINT lastId, UINT)
{
    return Guarded(
        [&]
        {
            if (!menu || firstId > lastId)
            {
                return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
            }
            std::wstring text = Utf8ToWide(MenuText());
            BOOL inserted =
                InsertMenuW(menu, index, MF_BYPOSITION | MF_STRING, firstId, text.c_str());
            return MAKE_HRESULT(SEVERITY_SUCCESS, 0, inserted ? 1 : 0);
        });
}

STDMETHODIMP CContextMenuHandler::InvokeCommand(CMINVOKECOMMANDINFO* info)
{
    return Guarded(
        [&]
        {
            if (!info)
            {
                return E_INVALIDARG;
            }
            // A verb given by name is not ours to run, in either character set.
            if (VerbIsText(info->lpVerb))
            {
                return S_OK;
            }
            if ((info->fMask & CMIC_MASK_UNICODE) &&
                info->cbSize >= sizeof(CMINVOKECOMMANDINFOEX) &&
                VerbIsText(reinterpret_cast<CMINVOKECOMMANDINFOEX*>(info)->lpVerbW))
            {
                return S_OK;
            }
            if (m_paths.empty())
            {
                return S_OK;
            }
            const ModuleSettings& settings = Settings();
            auto program = ChooseProgram(settings.appPath, settings.moduleFolder, IsFile);
            if (!program)
            {
                return S_OK;
            }
            // What the main program does with the selection it reports itself.
            ShellExecuteW(nullptr, L"open", Utf8ToWide(program->program).c_str(),
                          Utf8ToWide(LaunchArguments(m_paths)).c_str(),
                          Utf8ToWide(program->folder).c_str(), SW_SHOWNORMAL);
            return S_OK;
        });
}

STDMETHODIMP CContextMenuHandler::GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT)
{
    // No help text and no verb name: the item is reached by its position only.
    return S_OK;
}

} // namespace qw
