#include "shellext/context_menu.h"

#include "lang/language_pack.h"
#include "lang/placeholders.h"
#include "platform/setting_names.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_system_info.h"
#include "platform/win32/win32_text_codec.h"
#include "shellext/extension_logic.h"

#include <shellapi.h>

#include <algorithm>
#include <mutex>
#include <string_view>

namespace qw
{
namespace
{

LONG g_liveObjects = 0;
LONG g_locks = 0;
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

std::string PackText(int key, std::string_view defaultText, std::size_t limit)
{
    const ModuleSettings& settings = Settings();
    // Without an application folder there is no pack to read; a relative
    // "\Lang\" would be looked up on the current drive.
    if (settings.appPath.empty())
    {
        return std::string(defaultText);
    }
    CWin32FileSystem files;
    CWin32TextCodec codec;
    return CLanguagePack(files, codec)
        .Lookup(settings.appPath, settings.language, kPackSection, key, defaultText, limit);
}

std::string MenuText()
{
    return PackText(kMenuTextKey, kMenuTextDefault, kMenuTextLimit);
}

constexpr int kKeyStartFailed = 9620;
constexpr std::string_view kStartFailedDefault =
    "Quellwipe could not be started; %n of %c selected items were not given to it and stay as "
    "they are.#%s#Error %u: %t";
constexpr int kKeyPathTooLong = 9621;
constexpr std::string_view kPathTooLongDefault =
    "The path of the following item is too long to be passed to Quellwipe, so none of the "
    "selected items was shredded:#%s";

// The system's text for `code`; its "%1", where it has one, names `subject`.
std::string ErrorDescription(DWORD code, std::string_view subject)
{
    std::string text = Substitute(CWin32FileSystem().ErrorText(code), {{"%1", subject}});
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    {
        text.pop_back();
    }
    return text;
}

// Tells the person why nothing or not everything was started, unless the
// caller asked for no user interface.
void Report(const CMINVOKECOMMANDINFO& info, int key, std::string_view defaultText,
            std::initializer_list<std::pair<std::string_view, std::string_view>> pairs)
{
    if (info.fMask & CMIC_MASK_FLAG_NO_UI)
    {
        return;
    }
    // Line breaks first: a path may hold '#'.
    std::string text = PackText(key, defaultText, kTextLimit);
    for (char& c : text)
    {
        c = c == '#' ? '\n' : c;
    }
    MessageBoxW(info.hwnd, Utf8ToWide(Substitute(text, pairs)).c_str(),
                Utf8ToWide(MenuText()).c_str(), MB_OK | MB_ICONERROR);
}

// A path of thousands of characters would make a box taller than the screen.
std::string ShortenedPath(const std::string& path)
{
    std::wstring wide = Utf8ToWide(path);
    if (wide.size() <= 300)
    {
        return path;
    }
    return WideToUtf8(wide.substr(0, 140) + L"\u2026" + wide.substr(wide.size() - 140));
}

// What the ANSI verb field and, when the caller filled it, the wide one ask for.
std::vector<VerbField> VerbFields(const CMINVOKECOMMANDINFO& info)
{
    // An offset has nothing above its low word, in 64-bit pointers too.
    auto isOffset = [](const void* verb) { return (reinterpret_cast<UINT_PTR>(verb) >> 16) == 0; };
    std::vector<VerbField> fields;
    if (isOffset(info.lpVerb))
    {
        fields.push_back({false, reinterpret_cast<UINT_PTR>(info.lpVerb), {}});
    }
    else
    {
        std::string ansi(info.lpVerb);
        std::wstring wide(ansi.size(), L'\0');
        int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                    wide.data(), static_cast<int>(wide.size()));
        wide.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        fields.push_back({true, 0, WideToUtf8(wide)});
    }
    if ((info.fMask & CMIC_MASK_UNICODE) && info.cbSize >= sizeof(CMINVOKECOMMANDINFOEX))
    {
        const wchar_t* verb = reinterpret_cast<const CMINVOKECOMMANDINFOEX&>(info).lpVerbW;
        if (isOffset(verb))
        {
            fields.push_back({false, reinterpret_cast<UINT_PTR>(verb), {}});
        }
        else
        {
            fields.push_back({true, 0, WideToUtf8(verb)});
        }
    }
    return fields;
}

// Starts the program with exactly this command line: 0, or the system's
// error code taken at once.
DWORD StartProgram(const ProgramToStart& program, const std::vector<std::string>& paths)
{
    std::wstring line = Utf8ToWide(LaunchCommandLine(program.program, LaunchArguments(paths)));
    // The hard limit, terminating null included: the system would cut the
    // line, and a cut path can name another file.
    if (line.size() >= 32767)
    {
        return ERROR_FILENAME_EXCED_RANGE;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION process{};
    // A console of its own, as the shell gives it: the program takes none of
    // its host's standard handles (under wine 8 it would hold the host's
    // output pipe open until it ends).
    if (!CreateProcessW(Utf8ToWide(program.program).c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_DEFAULT_ERROR_MODE | CREATE_NEW_CONSOLE, nullptr,
                        Utf8ToWide(program.folder).c_str(), &startup, &process))
    {
        DWORD error = GetLastError();
        return error ? error : ERROR_GEN_FAILURE;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

static_assert(kMenuDefaultOnly == CMF_DEFAULTONLY && kMenuVerbsOnly == CMF_VERBSONLY);
static_assert(kCommandVerbA == GCS_VERBA && kCommandHelpTextA == GCS_HELPTEXTA &&
              kCommandValidateA == GCS_VALIDATEA && kCommandUnicode == GCS_UNICODE);

constexpr HRESULT kNoRoom = HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);

// Whatever does not fit leaves an empty string behind, never the caller's
// stale text.
HRESULT WriteWide(wchar_t* buffer, UINT room, const std::wstring& text, bool mayCut)
{
    std::u16string_view units(reinterpret_cast<const char16_t*>(text.data()), text.size());
    std::optional<std::size_t> fitted = FittedUnits(units, room, mayCut);
    if (!fitted)
    {
        if (room > 0)
        {
            buffer[0] = L'\0';
        }
        return kNoRoom;
    }
    std::copy_n(text.data(), *fitted, buffer);
    buffer[*fitted] = L'\0';
    return S_OK;
}

HRESULT WriteAnsi(char* buffer, UINT room, const std::wstring& text, bool mayCut)
{
    if (room == 0)
    {
        return kNoRoom;
    }
    // A code page may take several bytes for a character: cut whole
    // characters until the bytes fit.
    std::u16string_view units(reinterpret_cast<const char16_t*>(text.data()), text.size());
    for (std::size_t length = text.size();;)
    {
        int bytes = length == 0
                        ? 0
                        : WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(length),
                                              buffer, static_cast<int>(room - 1), nullptr, nullptr);
        if (bytes > 0 || length == 0)
        {
            buffer[bytes] = '\0';
            return S_OK;
        }
        if (!mayCut || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        {
            buffer[0] = '\0';
            return kNoRoom;
        }
        length = *FittedUnits(units, length, true);
    }
}

} // namespace

void LockModule(bool lock)
{
    if (lock)
    {
        InterlockedIncrement(&g_locks);
        return;
    }
    // An unlock without a lock must not eat a later caller's lock.
    for (LONG now = g_locks; now > 0; now = g_locks)
    {
        if (InterlockedCompareExchange(&g_locks, now - 1, now) == now)
        {
            return;
        }
    }
}

bool ModuleInUse()
{
    return LiveObjects() > 0 || InterlockedCompareExchange(&g_locks, 0, 0) > 0;
}

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
    std::call_once(
        once,
        []
        {
            CRegistrySettingsStore store(kSettingsCompany, kSettingsProfile);
            settings.appPath = store.ReadText(kAppPath, "");
            settings.language = MenuLanguage(store.ReadText(kLanguage, ""));
            if (!settings.appPath.empty())
            {
                // As at the program's own start: a language without a pack
                // gives English.
                CWin32FileSystem files;
                CWin32TextCodec codec;
                settings.language =
                    CLanguagePack(files, codec).Usable(settings.appPath, settings.language);
            }
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

STDMETHODIMP CClassFactory::LockServer(BOOL lock)
{
    LockModule(lock != FALSE);
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
                                                   UINT lastId, UINT flags)
{
    return Guarded(
        [&]
        {
            if (!menu || firstId > lastId || !OffersMenuItem(flags))
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
            if (!info || info->cbSize < sizeof(CMINVOKECOMMANDINFO))
            {
                return E_INVALIDARG;
            }
            // Another handler's offset or verb reaches us when a caller mixes
            // them up; running the shredder on it would destroy what nobody
            // asked to shred.
            switch (MatchCommand(VerbFields(*info)))
            {
            case CommandMatch::ForeignVerb:
                return E_FAIL;
            case CommandMatch::ForeignOffset:
                return E_INVALIDARG;
            case CommandMatch::Ours:
                break;
            }
            if (m_paths.empty())
            {
                return S_OK;
            }
            const std::string count = std::to_string(m_paths.size());
            const ModuleSettings& settings = Settings();
            auto program = ChooseProgram(settings.appPath, settings.moduleFolder, IsFile);
            if (!program)
            {
                Report(*info, kKeyStartFailed, kStartFailedDefault,
                       {{"%n", count},
                        {"%c", count},
                        {"%s", "Quellwipe.exe"},
                        {"%u", std::to_string(ERROR_FILE_NOT_FOUND)},
                        {"%t", ErrorDescription(ERROR_FILE_NOT_FOUND, "Quellwipe.exe")}});
                return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
            }
            LaunchPlan plan = PlanLaunches(program->program, m_paths);
            if (plan.tooLong)
            {
                Report(*info, kKeyPathTooLong, kPathTooLongDefault,
                       {{"%s", ShortenedPath(*plan.tooLong)}});
                return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
            }
            // A long selection goes in several launches; what the main
            // program does with its part it reports itself.
            std::size_t started = 0;
            for (const std::vector<std::string>& paths : plan.launches)
            {
                if (DWORD error = StartProgram(*program, paths))
                {
                    Report(*info, kKeyStartFailed, kStartFailedDefault,
                           {{"%n", std::to_string(m_paths.size() - started)},
                            {"%c", count},
                            {"%s", program->program},
                            {"%u", std::to_string(error)},
                            {"%t", ErrorDescription(error, program->program)}});
                    return HRESULT_FROM_WIN32(error);
                }
                started += paths.size();
            }
            return S_OK;
        });
}

STDMETHODIMP CContextMenuHandler::GetCommandString(UINT_PTR command, UINT type, UINT*, CHAR* name,
                                                   UINT size)
{
    return Guarded(
        [&]
        {
            CommandStringRequest request = ClassifyCommandString(command, type);
            switch (request.kind)
            {
            case CommandStringKind::NotOurs:
                return E_INVALIDARG;
            case CommandStringKind::NotImplemented:
                return E_NOTIMPL;
            case CommandStringKind::Valid:
                return S_OK;
            case CommandStringKind::Verb:
            case CommandStringKind::HelpText:
                break;
            }
            if (!name && size > 0)
            {
                return E_INVALIDARG;
            }
            // The help text is only shown, so a cut one is still right; a cut
            // verb would name another verb.
            const bool help = request.kind == CommandStringKind::HelpText;
            const std::wstring text = Utf8ToWide(help ? MenuText() : std::string(kVerbName));
            return request.wide ? WriteWide(reinterpret_cast<wchar_t*>(name), size, text, help)
                                : WriteAnsi(name, size, text, help);
        });
}

} // namespace qw
