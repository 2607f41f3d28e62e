#include "player/win32/win32_splash.h"

#include "app/version.h"
#include "platform/win32/wide.h"
#include "player/movie_player.h"
#include "player/win32/win32_movie.h"

#include <algorithm>

namespace qw
{
namespace
{

// The product's name as the version resource gives it.
constexpr std::string_view kProductName = "Quellwipe";
constexpr UINT_PTR kCloseTimer = 1;

COLORREF ToColorRef(std::uint32_t rgb)
{
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

bool RegisterSplashClass(WNDPROC procedure)
{
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW type{};
    type.cbSize = sizeof(type);
    if (GetClassInfoExW(instance, CWin32Splash::kWindowClass, &type))
    {
        return true;
    }
    type = {};
    type.cbSize = sizeof(type);
    type.lpfnWndProc = procedure;
    type.hInstance = instance;
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.lpszClassName = CWin32Splash::kWindowClass;
    return RegisterClassExW(&type) != 0;
}

// The folder of a file, with its separator; empty for a bare name.
std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

CWin32Splash::~CWin32Splash()
{
    Unload();
}

bool CWin32Splash::Load(const std::string& path)
{
    Unload();
    const std::size_t before = m_diagnostics.size();
    if (const auto text = ReadPlayerFile(m_files, path, m_diagnostics))
    {
        m_splash = ParseSplash(*text, path, m_diagnostics);
    }
    if (m_splash && !m_splash->image.empty())
    {
        const std::string image = FolderOf(path) + m_splash->image;
        m_picture =
            static_cast<HBITMAP>(LoadImageW(nullptr, WideProgramPath(image).c_str(), IMAGE_BITMAP,
                                            0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
        if (!m_picture)
        {
            // Half a splash looks broken: without its picture it is not shown.
            m_diagnostics.push_back({image, 0, "the picture cannot be read as a bitmap"});
            m_splash.reset();
        }
    }
    for (std::size_t i = before; i < m_diagnostics.size(); ++i)
    {
        OutputDebugStringA((FormatDiagnostic(m_diagnostics[i]) + "\n").c_str());
    }
    if (!m_splash)
    {
        return false;
    }
    for (const SplashText& text : m_splash->texts)
    {
        m_texts.push_back(Utf8ToWide(ExpandSplashText(text.text, kProductName, kVersion)));
    }
    return true;
}

void CWin32Splash::SetDelay(int milliseconds)
{
    m_delay = std::max(0, milliseconds);
    if (m_window && !StartTimer())
    {
        Close();
    }
}

void CWin32Splash::SetModal(bool modal)
{
    if (!Show() || !modal)
    {
        return;
    }
    MSG message;
    while (m_window)
    {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1)
        {
            // The program is ending: its own loop must still see the quit.
            if (got == 0)
            {
                PostQuitMessage(static_cast<int>(message.wParam));
            }
            Close();
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void CWin32Splash::Close()
{
    if (m_window)
    {
        DestroyWindow(m_window); // WM_NCDESTROY forgets the handle
    }
}

void CWin32Splash::Unload()
{
    Close();
    m_splash.reset();
    m_texts.clear();
    if (m_picture)
    {
        DeleteObject(m_picture);
        m_picture = nullptr;
    }
}

bool CWin32Splash::Show()
{
    Close();
    if (!m_splash)
    {
        return false;
    }
    if (!RegisterSplashClass(&CWin32Splash::WindowProc))
    {
        return false;
    }
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(m_owner, MONITOR_DEFAULTTOPRIMARY), &monitor);
    m_dpi = WindowDpi(m_owner);
    const RECT& area = monitor.rcWork;
    const int width = Scale(m_splash->width);
    const int height = Scale(m_splash->height);
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    const std::wstring title = Utf8ToWide(std::string(kProductName) + " " + std::string(kVersion));
    // WS_EX_NOACTIVATE: the main window behind keeps the keyboard focus;
    // WS_EX_TOOLWINDOW keeps the splash off the taskbar.
    CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kWindowClass,
                    title.c_str(), WS_POPUP, x, y, width, height, m_owner, nullptr,
                    GetModuleHandleW(nullptr), this);
    if (!m_window)
    {
        return false;
    }
    // Without its timer the splash would stay: then it is not shown at all.
    if (!StartTimer())
    {
        Close();
        return false;
    }
    CreateFonts();
    ShowWindow(m_window, SW_SHOWNOACTIVATE);
    UpdateWindow(m_window);
    return true;
}

bool CWin32Splash::StartTimer()
{
    const int delay = m_delay > 0 ? m_delay : m_splash->milliseconds;
    return SetTimer(m_window, kCloseTimer, static_cast<UINT>(delay), nullptr) != 0;
}

void CWin32Splash::CreateFonts()
{
    DeleteFonts();
    for (const SplashText& text : m_splash->texts)
    {
        HFONT base = CreateMessageFont(m_dpi, text.bold);
        LOGFONTW font{};
        GetObjectW(base, sizeof(font), &font);
        if (text.points > 0)
        {
            font.lfHeight = -MulDiv(text.points, m_dpi, 72);
            font.lfWidth = 0;
        }
        font.lfQuality = CLEARTYPE_QUALITY;
        HFONT sized = CreateFontIndirectW(&font);
        if (sized)
        {
            DeleteObject(base);
            base = sized;
        }
        m_fonts.push_back(base);
    }
}

void CWin32Splash::DeleteFonts()
{
    for (HFONT font : m_fonts)
    {
        if (font)
        {
            DeleteObject(font);
        }
    }
    m_fonts.clear();
}

void CWin32Splash::Paint(HDC dc, const RECT& client)
{
    HBRUSH background = CreateSolidBrush(ToColorRef(m_splash->background));
    FillRect(dc, &client, background);
    DeleteObject(background);
    if (m_picture)
    {
        BITMAP info{};
        GetObjectW(m_picture, sizeof(info), &info);
        HDC source = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(source, m_picture);
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 0, 0, client.right, client.bottom, source, 0, 0, info.bmWidth, info.bmHeight,
                   SRCCOPY);
        SelectObject(source, old);
        DeleteDC(source);
    }
    SetBkMode(dc, TRANSPARENT);
    for (std::size_t i = 0; i < m_texts.size() && i < m_fonts.size(); ++i)
    {
        const SplashText& text = m_splash->texts[i];
        RECT box{Scale(text.x), Scale(text.y), Scale(text.x + text.width),
                 Scale(text.y + text.height)};
        UINT format = DT_NOPREFIX | (text.align == TextAlign::Center  ? DT_CENTER
                                     : text.align == TextAlign::Right ? DT_RIGHT
                                                                      : DT_LEFT);
        format |= m_texts[i].find(L'\n') == std::wstring::npos ? DT_SINGLELINE | DT_END_ELLIPSIS
                                                               : DT_WORDBREAK;
        HGDIOBJ old = SelectObject(dc, m_fonts[i]);
        SetTextColor(dc, ToColorRef(text.color));
        DrawTextW(dc, m_texts[i].c_str(), static_cast<int>(m_texts[i].size()), &box, format);
        SelectObject(dc, old);
    }
}

LRESULT CALLBACK CWin32Splash::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
    {
        auto* self =
            static_cast<CWin32Splash*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_window = window;
    }
    auto* self = reinterpret_cast<CWin32Splash*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
    {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY)
    {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->m_window = nullptr;
        self->DeleteFonts();
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return self->OnMessage(message, wParam, lParam);
}

LRESULT CWin32Splash::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_TIMER:
        if (wParam == kCloseTimer)
        {
            Close();
            return 0;
        }
        break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
        Close();
        return 0;
    case WM_MOUSEACTIVATE:
        // A click closes the splash; it must not take the focus on the way.
        return MA_NOACTIVATE;
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
    {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(m_window, &paint);
        RECT client;
        GetClientRect(m_window, &client);
        // Drawn off screen first, so the texts never flicker over the picture.
        HDC buffer = CreateCompatibleDC(dc);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
        HGDIOBJ old = SelectObject(buffer, bitmap);
        Paint(buffer, client);
        BitBlt(dc, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
        SelectObject(buffer, old);
        DeleteObject(bitmap);
        DeleteDC(buffer);
        EndPaint(m_window, &paint);
        return 0;
    }
    case WM_DPICHANGED:
    {
        m_dpi = HIWORD(wParam);
        CreateFonts();
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(m_window, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        InvalidateRect(m_window, nullptr, FALSE);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcW(m_window, message, wParam, lParam);
}

} // namespace qw
