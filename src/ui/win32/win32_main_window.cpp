#include "ui/win32/win32_main_window.h"

#include "platform/win32/wide.h"
#include "ui/movie_windows.h"
#include "ui/win32/movie_dialog.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

namespace qw
{
namespace
{

constexpr int kTitleSubfolderOptions = 9208;
constexpr int kTitleAbout = 10104;
constexpr int kTitleTaskName = 10000;
constexpr int kTitleSchedule = 10004;

} // namespace

CWin32MainWindow::~CWin32MainWindow()
{
    for (HICON icon : {m_icon, m_smallIcon})
    {
        if (icon)
        {
            DestroyIcon(icon);
        }
    }
}

HWND CWin32MainWindow::Handle() const
{
    return m_dialog ? m_dialog->Handle() : nullptr;
}

void CWin32MainWindow::Run(IMainWindowHost& host, IScheduling& scheduling, ISplashControl* splash)
{
    m_host = &host;
    CMovieDialog dialog(m_parts.files, m_parts.caption, true,
                        [&](IMovie& movie, ISkinControl* skin, IWindowFrame& frame)
                        {
                            auto window = std::make_unique<CMainWindow>(
                                movie, skin, frame, m_parts.presenter, m_parts.programFolder, host,
                                *this, scheduling, splash);
                            m_window = window.get();
                            return window;
                        });
    m_dialog = &dialog;
    dialog.SetMessageHook([this](UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
                          { return OnMessage(message, wParam, lParam, result); });
    dialog.RunAsMainWindow([this](MSG& message) { return Filter(message); });
    m_window = nullptr;
    m_dialog = nullptr;
}

void CWin32MainWindow::PrepareFrame()
{
    HWND window = Handle();
    HINSTANCE instance = GetModuleHandleW(nullptr);
    wchar_t text[256] = {};
    if (LoadStringW(instance, kAboutMenuTextId, text, 256) > 0)
    {
        if (HMENU menu = GetSystemMenu(window, FALSE))
        {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            AppendMenuW(menu, MF_STRING, kAboutMenuId, text);
        }
    }
    m_icon =
        static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kMainIconId), IMAGE_ICON,
                                      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    m_smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kMainIconId), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON),
                                                GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_smallIcon));
    DragAcceptFiles(window, TRUE);
}

bool CWin32MainWindow::Filter(MSG& message)
{
    HWND window = Handle();
    if (!window || !m_window || (message.hwnd != window && !IsChild(window, message.hwnd)))
    {
        return false;
    }
    switch (message.message)
    {
    case WM_RBUTTONDOWN:
        return true; // no context menu on the face
    case WM_KEYDOWN:
        if (message.wParam == VK_F1)
        {
            m_window->Help();
            return true;
        }
        // Ctrl+Tab pages through the panels, as in a property sheet.
        if (message.wParam == VK_TAB && (GetKeyState(VK_CONTROL) & 0x8000) && m_dialog->Movie())
        {
            return m_dialog->Movie()->StepPage((GetKeyState(VK_SHIFT) & 0x8000) ? -1 : 1);
        }
        if (message.wParam == VK_RETURN || message.wParam == VK_APPS)
        {
            message.wParam = 0;
        }
        return false;
    default:
        return false;
    }
}

bool CWin32MainWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    HWND window = Handle();
    switch (message)
    {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == kAboutMenuId && m_window)
        {
            m_window->About();
            result = TRUE;
            return true;
        }
        return false;
    case WM_PAINT:
        if (IsIconic(window) && m_icon)
        {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT client{};
            GetClientRect(window, &client);
            const int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
            const int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
            DrawIcon(dc, x, y, m_icon);
            EndPaint(window, &paint);
            result = TRUE;
            return true;
        }
        return false;
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(m_icon);
        SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
        return true;
    case WM_TIMER:
        // Timer 0 closes the window; other timers belong to others.
        if (wParam == 0 && m_dialog)
        {
            KillTimer(window, 0);
            m_dialog->EndModal();
            result = TRUE;
            return true;
        }
        return false;
    case WM_DROPFILES:
        OnDrop(reinterpret_cast<HDROP>(wParam));
        result = TRUE;
        return true;
    default:
        (void)lParam;
        return false;
    }
}

void CWin32MainWindow::OnDrop(HDROP drop)
{
    std::vector<std::string> paths;
    std::vector<bool> folders;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i)
    {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        const DWORD attributes = GetFileAttributesW(path.c_str());
        paths.push_back(WideToUtf8(path));
        folders.push_back(attributes != INVALID_FILE_ATTRIBUTES &&
                          (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
    DragFinish(drop);
    if (m_window)
    {
        m_window->AddDropped(paths, folders);
    }
}

std::optional<std::vector<std::string>> CWin32MainWindow::ChooseFiles()
{
    std::wstring buffer(kFileSelectionChars, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof(dialog);
    dialog.hwndOwner = Handle();
    dialog.lpstrFilter = L"All Files (*.*)\0*.*\0\0";
    dialog.lpstrFile = buffer.data();
    dialog.nMaxFile = kFileSelectionChars;
    dialog.Flags = OFN_ALLOWMULTISELECT | OFN_EXPLORER;
    if (!GetOpenFileNameW(&dialog))
    {
        return std::nullopt;
    }
    // One file: its full path. Several: the folder, then each name, each
    // ended by a null, the list by two.
    std::vector<std::wstring> parts;
    for (const wchar_t* part = buffer.c_str(); *part; part += wcslen(part) + 1)
    {
        parts.emplace_back(part);
    }
    std::vector<std::string> paths;
    if (parts.size() == 1)
    {
        paths.push_back(WideToUtf8(parts[0]));
    }
    for (std::size_t i = 1; i < parts.size(); ++i)
    {
        // Names typed as full paths come back as typed (wine 8.0).
        const std::wstring& name = parts[i];
        if ((name.size() > 2 && name[1] == L':' && name[2] == L'\\') || name.starts_with(L"\\\\"))
        {
            paths.push_back(WideToUtf8(name));
            continue;
        }
        std::wstring folder = parts[0];
        if (!folder.empty() && folder.back() != L'\\')
        {
            folder += L'\\';
        }
        paths.push_back(WideToUtf8(folder + parts[i]));
    }
    return paths;
}

std::optional<std::string> CWin32MainWindow::ChooseFolder()
{
    BROWSEINFOW browse{};
    browse.hwndOwner = Handle();
    browse.lpszTitle = L"";
    browse.ulFlags = BIF_RETURNONLYFSDIRS;
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&browse);
    if (!chosen)
    {
        return std::nullopt;
    }
    wchar_t path[MAX_PATH] = {};
    const bool ok = SHGetPathFromIDListW(chosen, path);
    CoTaskMemFree(chosen);
    if (!ok)
    {
        return std::nullopt;
    }
    return WideToUtf8(path);
}

void CWin32MainWindow::Open(const std::string& file, const std::string& folder, bool maximised)
{
    const std::wstring wideFolder = Utf8ToWide(folder);
    ShellExecuteW(Handle(), L"open", Utf8ToWide(file).c_str(), nullptr,
                  folder.empty() ? nullptr : wideFolder.c_str(),
                  maximised ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
}

void CWin32MainWindow::Minimise()
{
    ShowWindow(Handle(), SW_MINIMIZE);
}

void CWin32MainWindow::EnableWindow(bool enable)
{
    // A disabled window loses the keyboard focus: a keyboard user finds it
    // where it was once the run is over.
    if (!enable)
    {
        HWND focus = GetFocus();
        m_focusBeforeRun = focus && IsChild(Handle(), focus) ? focus : nullptr;
    }
    ::EnableWindow(Handle(), enable ? TRUE : FALSE);
    if (enable)
    {
        SetForegroundWindow(Handle());
        if (m_focusBeforeRun && IsWindowVisible(m_focusBeforeRun))
        {
            SetFocus(m_focusBeforeRun);
        }
        else
        {
            SetFocus(Handle());
        }
    }
}

bool CWin32MainWindow::EditSubfolderRules(int& shredRule, int& removeRule)
{
    CSubfolderOptionsWindow* options = nullptr;
    CMovieDialog dialog(
        m_parts.files, m_parts.title(kTitleSubfolderOptions, "Sub Folder Options"), false,
        [&](IMovie& movie, ISkinControl*, IWindowFrame& frame)
        {
            auto window = std::make_unique<CSubfolderOptionsWindow>(
                movie, frame, m_parts.presenter, m_parts.programFolder, m_parts.language(),
                shredRule, removeRule);
            window->SetHelp([this] { Open(m_host->AppPath() + "\\HLP\\ShredHlp.html", {}, true); });
            options = window.get();
            return window;
        });
    dialog.RunModal(Handle());
    if (!options || options->Answer() != "Ok")
    {
        return false;
    }
    shredRule = options->ShredRule();
    removeRule = options->RemoveRule();
    return true;
}

void CWin32MainWindow::ShowAbout(int frame)
{
    CMovieDialog dialog(m_parts.files, m_parts.title(kTitleAbout, "About Quellwipe"), false,
                        [&](IMovie& movie, ISkinControl*, IWindowFrame& windowFrame)
                        {
                            return std::make_unique<CAboutWindow>(
                                movie, windowFrame, m_parts.presenter, m_parts.programFolder,
                                m_parts.language(), frame, m_parts.version,
                                [this] { Open("SysInfo.exe", m_host->AppPath(), true); });
                        });
    dialog.RunModal(Handle());
}

ISchedulingWindows::TaskName
CWin32MainWindow::AskTaskName(const std::function<bool(const std::string&)>& refuse)
{
    CTaskNameWindow* asked = nullptr;
    CMovieDialog dialog(m_parts.files, m_parts.title(kTitleTaskName, "Quell Wipe"), false,
                        [&](IMovie& movie, ISkinControl*, IWindowFrame& frame)
                        {
                            auto window = std::make_unique<CTaskNameWindow>(
                                movie, frame, m_parts.presenter, m_parts.programFolder,
                                m_parts.language(), refuse);
                            asked = window.get();
                            return window;
                        });
    dialog.RunModal(Handle());
    TaskName answer;
    if (asked)
    {
        answer.name = asked->TaskName();
        answer.emptyOnOk = asked->EmptyOnOk();
    }
    return answer;
}

bool CWin32MainWindow::EditSchedule(const std::string& taskName, TaskTrigger& trigger)
{
    CScheduleWindow* edited = nullptr;
    CMovieDialog dialog(m_parts.files, m_parts.title(kTitleSchedule, "Task schedule"), false,
                        [&](IMovie& movie, ISkinControl*, IWindowFrame& frame)
                        {
                            auto window = std::make_unique<CScheduleWindow>(
                                movie, frame, m_parts.presenter, m_parts.programFolder,
                                m_parts.language(), taskName, trigger,
                                [this](int key)
                                { m_host->ShowSmall(1, "info", m_host->Text(key)); });
                            edited = window.get();
                            return window;
                        });
    dialog.RunModal(Handle());
    if (!edited || edited->Answer() != "Ok")
    {
        return false;
    }
    trigger = edited->Trigger();
    return true;
}

} // namespace qw
