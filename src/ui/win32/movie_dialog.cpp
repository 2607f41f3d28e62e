#include "ui/win32/movie_dialog.h"

#include "platform/win32/wide.h"
#include "platform/win32/window_actions.h"

namespace qw
{

std::wstring ProgramName()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.find_last_of(L"\\/") + 1);
    const std::size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

CMovieDialog::CMovieDialog(IFileSystem& files, std::string caption, bool skinned, Factory factory)
    : m_files(files), m_caption(std::move(caption)), m_skinned(skinned),
      m_factory(std::move(factory))
{
}

CMovieDialog::~CMovieDialog()
{
    if (m_window && IsWindow(m_window))
    {
        DestroyWindow(m_window);
    }
}

std::vector<WORD> CMovieDialog::Template() const
{
    // A skinned window draws its own title; the others keep the system's.
    const DWORD style = WS_POPUP | WS_SYSMENU | WS_CLIPCHILDREN | DS_SETFOREGROUND |
                        (m_skinned ? 0 : WS_CAPTION | DS_MODALFRAME);
    std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD) + 3, 0);
    auto* dialog = reinterpret_cast<DLGTEMPLATE*>(words.data());
    dialog->style = style;
    dialog->dwExtendedStyle = WS_EX_CONTROLPARENT | (m_mainWindow ? WS_EX_APPWINDOW : 0);
    if (m_mainWindow)
    {
        dialog->style |= WS_MINIMIZEBOX;
    }
    // Sized by its movie at start-up; menu, class and title follow, all
    // none but the main window's class.
    if (m_mainWindow)
    {
        words.pop_back();
        words.pop_back();
        for (const wchar_t* c = kMainWindowClass; *c; ++c)
        {
            words.push_back(static_cast<WORD>(*c));
        }
        words.push_back(0);
        words.push_back(0);
    }
    return words;
}

void CMovieDialog::RunModal(HWND owner)
{
    m_modal = true;
    const std::vector<WORD> dialog = Template();
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr),
                            reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), owner, Proc,
                            reinterpret_cast<LPARAM>(this));
    m_window = nullptr;
}

void CMovieDialog::RunAsMainWindow(std::function<bool(MSG&)> filter)
{
    m_mainWindow = true;
    // A dialog of its own class, so that tools and tests can tell it.
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    if (GetClassInfoExW(nullptr, WC_DIALOG, &windowClass))
    {
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = kMainWindowClass;
        RegisterClassExW(&windowClass);
    }
    if (!CreateModeless(nullptr))
    {
        return;
    }
    if (!m_ended)
    {
        ShowWindow(m_window, SW_SHOWNORMAL);
        SetForegroundWindow(m_window);
    }
    MSG message;
    while (!m_ended && GetMessageW(&message, nullptr, 0, 0) > 0)
    {
        if (filter && filter(message))
        {
            continue;
        }
        if (!IsDialogMessageW(m_window, &message))
        {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    DestroyWindow(m_window);
    m_window = nullptr;
}

bool CMovieDialog::CreateModeless(HWND owner)
{
    m_modal = false;
    const std::vector<WORD> dialog = Template();
    m_window = CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                          reinterpret_cast<const DLGTEMPLATE*>(dialog.data()),
                                          owner, Proc, reinterpret_cast<LPARAM>(this));
    return m_window != nullptr;
}

INT_PTR CALLBACK CMovieDialog::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
    {
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<CMovieDialog*>(lParam);
        self->m_window = window;
        self->OnInit();
        return FALSE; // the focus is set
    }
    auto* self = reinterpret_cast<CMovieDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    return self && self->m_window == window ? self->OnMessage(message, wParam, lParam) : FALSE;
}

void CMovieDialog::OnInit()
{
    SetWindowTextW(m_window, Utf8ToWide(m_caption).c_str());
    m_movie = std::make_unique<CWin32Movie>(m_files, m_window);
    if (m_skinned)
    {
        m_skin = std::make_unique<CWin32Skin>(m_files, m_window);
    }
    m_flash = m_factory(*m_movie, m_skin.get(), *this);
    if (!m_flash->InitDialog())
    {
        return;
    }
    if (m_skin && !m_movie->Loaded())
    {
        // An outline drawn for the movie would cut the window that says
        // why the movie is missing.
        m_skin->Remove();
    }
    // Centred on the monitor's work area.
    RECT frame{};
    GetWindowRect(m_window, &frame);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(m_window, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    SetWindowPos(m_window, nullptr, area.left + (area.right - area.left - width) / 2,
                 area.top + (area.bottom - area.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_movie->FocusFirst();
}

INT_PTR CMovieDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND && lParam != 0)
    {
        // Before the command runs: it may open a window or start a run
        // that takes the focus away.
        KeepFocus();
    }
    if (message == WM_ACTIVATE)
    {
        // The dialog manager remembers the focus for one activation only,
        // and not at all when it was already gone at deactivation (seen on
        // wine 8.0 after another program's window had been in front).
        if (LOWORD(wParam) == WA_INACTIVE)
        {
            KeepFocus();
            return FALSE;
        }
        if (!HIWORD(wParam))
        {
            RestoreFocus();
            return TRUE;
        }
    }
    if (INT_PTR handled = 0; m_hook && m_hook(message, wParam, lParam, handled))
    {
        return handled;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
    {
        // Esc: the movie's cancel button, else close with no answer.
        if (!m_movie || !m_movie->PressCancel())
        {
            CloseWithoutAnswer();
        }
        return TRUE;
    }
    if (message == WM_COMMAND && LOWORD(wParam) == IDOK)
    {
        return TRUE; // Enter without a default button
    }
    if (message == WM_CLOSE)
    {
        CloseWithoutAnswer();
        return TRUE;
    }
    LRESULT result = 0;
    if (!m_movie || !m_movie->HandleMessage(message, wParam, lParam, result))
    {
        return FALSE;
    }
    if (message == WM_DPICHANGED && m_skin)
    {
        m_skin->Reapply(HIWORD(wParam));
    }
    switch (message)
    {
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return static_cast<INT_PTR>(result);
    default:
        SetWindowLongPtrW(m_window, DWLP_MSGRESULT, result);
        return TRUE;
    }
}

void CMovieDialog::KeepFocus()
{
    HWND focus = GetFocus();
    if (focus && IsChild(m_window, focus))
    {
        m_lastFocus = focus;
    }
}

void CMovieDialog::RestoreFocus()
{
    HWND focus = GetFocus();
    if (focus && IsChild(m_window, focus))
    {
        return;
    }
    if (m_lastFocus && IsChild(m_window, m_lastFocus) && IsWindowVisible(m_lastFocus) &&
        IsWindowEnabled(m_lastFocus))
    {
        SendMessageW(m_window, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(m_lastFocus), TRUE);
    }
    else if (m_movie)
    {
        m_movie->FocusFirst();
    }
}

void CMovieDialog::CloseWithoutAnswer()
{
    if (m_onClose)
    {
        m_onClose();
    }
    EndModal();
}

void CMovieDialog::EndModal()
{
    if (!m_window)
    {
        return;
    }
    if (m_modal)
    {
        EndDialog(m_window, 0);
    }
    else if (m_mainWindow)
    {
        m_ended = true;
        ShowWindow(m_window, SW_HIDE);
        PostMessageW(nullptr, WM_NULL, 0, 0);
    }
    else
    {
        ShowWindow(m_window, SW_HIDE);
    }
}

void CMovieDialog::PostClose()
{
    PostCloseTo(m_window);
}

void CMovieDialog::BeginDrag()
{
    BeginSystemDrag(m_window);
}

void CMovieDialog::ShowPlainMessage(const std::string& text)
{
    ShowPlainMessageOver(m_window, text);
}

void ShowPlainMessageOver(HWND owner, const std::string& text)
{
    MessageBoxW(owner, Utf8ToWide(text).c_str(), ProgramName().c_str(), MB_OK | MB_SETFOREGROUND);
}

} // namespace qw
