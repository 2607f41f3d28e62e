#include "platform/win32/win32_shell.h"

#include "platform/win32/wide.h"

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <cstdlib>

namespace qw
{

namespace
{

using QueryRecycleBinA = HRESULT(WINAPI*)(LPCSTR, LPSHQUERYRBINFO);
using EmptyRecycleBinA = HRESULT(WINAPI*)(HWND, LPCSTR, DWORD);

// Looked up by name for each run, as shells without them exist.
class CWin32RecycleBin : public IRecycleBinFunctions
{
public:
    CWin32RecycleBin(HMODULE shell, QueryRecycleBinA query, EmptyRecycleBinA empty)
        : m_shell(shell), m_query(query), m_empty(empty)
    {
    }
    ~CWin32RecycleBin() override { FreeLibrary(m_shell); }
    CWin32RecycleBin(const CWin32RecycleBin&) = delete;
    CWin32RecycleBin& operator=(const CWin32RecycleBin&) = delete;

    BinQuery Query(const std::string& root) override
    {
        SHQUERYRBINFO info{};
        info.cbSize = sizeof info;
        BinQuery result;
        result.result = static_cast<std::int32_t>(m_query(root.c_str(), &info));
        result.size = static_cast<std::uint64_t>(info.i64Size);
        result.items = static_cast<std::uint64_t>(info.i64NumItems);
        return result;
    }

    void Empty(const std::string& root) override
    {
        m_empty(nullptr, root.c_str(), SHERB_NOCONFIRMATION | SHERB_NOPROGRESSUI | SHERB_NOSOUND);
    }

private:
    HMODULE m_shell;
    QueryRecycleBinA m_query;
    EmptyRecycleBinA m_empty;
};

template <typename F> F Lookup(HMODULE module, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

std::wstring Environment(const wchar_t* name)
{
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0)
    {
        return {};
    }
    std::wstring value(size, L'\0');
    DWORD got = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(got);
    return value;
}

} // namespace

std::unique_ptr<IRecycleBinFunctions> CWin32Shell::LoadRecycleBin(BinShell& state)
{
    HMODULE shell = LoadLibraryW(L"SHELL32.DLL");
    if (!shell)
    {
        state = BinShell::NotLoaded;
        return nullptr;
    }
    auto query = Lookup<QueryRecycleBinA>(shell, "SHQueryRecycleBinA");
    auto empty = Lookup<EmptyRecycleBinA>(shell, "SHEmptyRecycleBinA");
    if (!query || !empty)
    {
        FreeLibrary(shell);
        state = BinShell::NoFunctions;
        return nullptr;
    }
    state = BinShell::Ready;
    return std::make_unique<CWin32RecycleBin>(shell, query, empty);
}

std::vector<std::string> CWin32Shell::ShellBinFolders()
{
    // Wine 8.0 keeps the bin in the desktop's trash: $XDG_DATA_HOME/Trash
    // when that is an absolute path, else .local/share/Trash in the Unix
    // home, which it passes as WINEHOMEDIR ("\??\unix/home/me", or
    // "\??\Z:\home\me" where a drive leads there), never as HOME.
    // "files" holds the items, "info" where each came from. Windows has no
    // such thing.
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    using ToDosName = LPWSTR(CDECL*)(LPCSTR);
    auto toDos = Lookup<ToDosName>(kernel, "wine_get_dos_file_name");
    if (!toDos)
    {
        return {};
    }
    std::wstring base = Environment(L"XDG_DATA_HOME");
    if (base.empty() || base[0] != L'/')
    {
        std::wstring home = Environment(L"WINEHOMEDIR");
        const std::wstring nt = L"\\??\\";
        if (home.rfind(nt, 0) != 0)
        {
            return {};
        }
        home.erase(0, nt.size());
        if (home.rfind(L"unix/", 0) == 0)
        {
            base = home.substr(4) + L"/.local/share";
        }
        else if (home.size() >= 3 && home[1] == L':' && home[2] == L'\\')
        {
            return {WideToUtf8(home + L"\\.local\\share\\Trash\\files"),
                    WideToUtf8(home + L"\\.local\\share\\Trash\\info")};
        }
        else
        {
            return {};
        }
    }
    std::vector<std::string> folders;
    for (const wchar_t* sub : {L"/Trash/files", L"/Trash/info"})
    {
        std::string unixPath = WideToUtf8(base + sub);
        LPWSTR dos = toDos(unixPath.c_str());
        if (!dos)
        {
            return {};
        }
        folders.push_back(WideToUtf8(dos));
        HeapFree(GetProcessHeap(), 0, dos);
    }
    return folders;
}

std::optional<std::string> CWin32Shell::ParseDisplayPath(const std::string& path)
{
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(SHParseDisplayName(Utf8ToWide(path).c_str(), nullptr, &list, 0, nullptr)) || !list)
    {
        return std::nullopt;
    }
    wchar_t buffer[MAX_PATH * 4] = {};
    BOOL ok =
        SHGetPathFromIDListEx(list, buffer, static_cast<DWORD>(std::size(buffer)), GPFIDL_DEFAULT);
    CoTaskMemFree(list);
    if (!ok)
    {
        return std::nullopt;
    }
    return WideToUtf8(buffer);
}

} // namespace qw
