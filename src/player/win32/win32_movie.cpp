#include "player/win32/win32_movie.h"

#include "platform/win32/wide.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

namespace qw
{
namespace
{

constexpr int kFailedWidth = 420;
constexpr int kFailedHeight = 140;
constexpr int kTitlePadding = 12;
constexpr int kArrowsWidth = 17; // a stepper's arrows at 96 DPI

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using LoadIconWithScaleDownFn = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);

template <typename Fn> Fn Function(const wchar_t* module, const char* name)
{
    HMODULE handle = GetModuleHandleW(module);
    return handle ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle, name)))
                  : nullptr;
}

int ScreenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen)
    {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : 96;
}

std::wstring WindowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), int(text.size()))));
    return text;
}

// Edit controls break lines at CR LF only.
std::wstring WithCrLf(const std::wstring& text)
{
    std::wstring out;
    for (wchar_t c : text)
    {
        if (c == L'\n')
        {
            out += L'\r';
        }
        out += c;
    }
    return out;
}

const wchar_t* IconOf(const std::string& image)
{
    if (image == "warning")
    {
        return IDI_WARNING;
    }
    if (image == "question")
    {
        return IDI_QUESTION;
    }
    if (image == "error")
    {
        return IDI_ERROR;
    }
    return IDI_INFORMATION;
}

// Where a tester or a user can read what a movie could not say: the
// debugger output, and the file QW_PLAYER_LOG names.
void Report(const Diagnostic& diagnostic)
{
    const std::wstring line = Utf8ToWide(FormatDiagnostic(diagnostic)) + L"\r\n";
    OutputDebugStringW(line.c_str());
    wchar_t path[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"QW_PLAYER_LOG", path, MAX_PATH) == 0)
    {
        return;
    }
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
    {
        const std::string bytes = FormatDiagnostic(diagnostic) + "\r\n";
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
}

// An empty list says what to do, in grey, in its middle; the text is no
// entry that could be selected, removed or shredded.
LRESULT CALLBACK ListWithHint(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              UINT_PTR id, DWORD_PTR data)
{
    if (message == WM_NCDESTROY)
    {
        RemoveWindowSubclass(window, ListWithHint, id);
    }
    const auto* hint = reinterpret_cast<const std::wstring*>(data);
    if (message != WM_PAINT || hint->empty() || SendMessageW(window, LB_GETCOUNT, 0, 0) != 0)
    {
        return DefSubclassProc(window, message, wParam, lParam);
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client{};
    GetClientRect(window, &client);
    FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    InflateRect(&client, -2 * metrics.tmAveCharWidth, -metrics.tmHeight);
    RECT text = client;
    const UINT format = DT_CENTER | DT_WORDBREAK | DT_NOPREFIX;
    DrawTextW(dc, hint->c_str(), -1, &text, format | DT_CALCRECT);
    const int height = text.bottom - text.top;
    text = client;
    text.top = std::max(client.top, client.top + (client.bottom - client.top - height) / 2);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(dc, hint->c_str(), -1, &text, format);
    SelectObject(dc, old);
    EndPaint(window, &paint);
    return 0;
}

} // namespace

int WindowDpi(HWND window)
{
    static const auto getDpi = Function<GetDpiForWindowFn>(L"user32.dll", "GetDpiForWindow");
    const int dpi = getDpi && window ? static_cast<int>(getDpi(window)) : 0;
    return dpi > 0 ? dpi : ScreenDpi();
}

HFONT CreateMessageFont(int dpi, bool bold)
{
    static const auto forDpi =
        Function<SystemParametersInfoForDpiFn>(L"user32.dll", "SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    LOGFONTW font{};
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi))
    {
        font = metrics.lfMessageFont;
    }
    else if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
    {
        font = metrics.lfMessageFont;
        font.lfHeight = MulDiv(font.lfHeight, dpi, ScreenDpi());
    }
    else
    {
        font.lfHeight = -MulDiv(9, dpi, 72);
        std::wcscpy(font.lfFaceName, L"Tahoma");
    }
    if (bold)
    {
        font.lfWeight = FW_BOLD;
    }
    return CreateFontIndirectW(&font);
}

CWin32Movie::CWin32Movie(IFileSystem& files, HWND parent)
    : CMoviePlayer(files), m_parent(parent), m_dpi(WindowDpi(parent))
{
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_UPDOWN_CLASS | ICC_TAB_CLASSES;
    InitCommonControlsEx(&controls);
    UpdateFont();
}

CWin32Movie::~CWin32Movie()
{
    Destroy();
    for (HGDIOBJ object : {static_cast<HGDIOBJ>(m_font), static_cast<HGDIOBJ>(m_titleFont),
                           static_cast<HGDIOBJ>(m_background)})
    {
        if (object)
        {
            DeleteObject(object);
        }
    }
}

void CWin32Movie::Destroy()
{
    for (Child& child : m_children)
    {
        if (child.control->kind == ControlKind::Icon && child.window)
        {
            if (HICON icon = reinterpret_cast<HICON>(SendMessageW(child.window, STM_GETICON, 0, 0)))
            {
                DestroyIcon(icon);
            }
        }
        if (child.control->kind == ControlKind::Image && child.window)
        {
            if (HGDIOBJ bitmap = reinterpret_cast<HGDIOBJ>(
                    SendMessageW(child.window, STM_GETIMAGE, IMAGE_BITMAP, 0)))
            {
                DeleteObject(bitmap);
            }
        }
        for (HWND window : {child.window, child.buddy})
        {
            if (window)
            {
                DestroyWindow(window);
            }
        }
    }
    m_children.clear();
}

bool CWin32Movie::LoadMovie(const std::string& path)
{
    Destroy();
    const std::size_t reported = GetDiagnostics().size();
    m_folder =
        path.substr(0, path.find_last_of('\\') == std::string::npos ? 0 : path.find_last_of('\\'));
    m_loaded = CMoviePlayer::LoadMovie(path);
    for (std::size_t i = reported; i < GetDiagnostics().size(); ++i)
    {
        Report(GetDiagnostics()[i]);
    }
    if (!m_loaded)
    {
        // No title area to drag and no button to press: the system's own
        // caption and close box stand in.
        SetWindowLongPtrW(m_parent, GWL_STYLE,
                          GetWindowLongPtrW(m_parent, GWL_STYLE) | WS_CAPTION | WS_SYSMENU);
        SetWindowPos(m_parent, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    Build();
    Layout();
    Sync();
    return m_loaded;
}

void CWin32Movie::UpdateFont()
{
    for (HFONT* font : {&m_font, &m_titleFont})
    {
        if (*font)
        {
            DeleteObject(*font);
        }
        *font = CreateMessageFont(m_dpi, font == &m_titleFont);
    }
    for (const Child& child : m_children)
    {
        if (child.window)
        {
            SendMessageW(child.window, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), TRUE);
        }
    }
}

void CWin32Movie::Build()
{
    const auto& controls = State().Definition().controls;
    m_children.reserve(controls.size());
    HINSTANCE instance = GetModuleHandleW(nullptr);
    std::string lastRadioGroup;
    for (std::size_t i = 0; i < controls.size(); ++i)
    {
        const Control& control = controls[i];
        Child child;
        child.control = &control;
        const wchar_t* className = nullptr;
        DWORD style = WS_CHILD;
        DWORD exStyle = 0;
        switch (control.kind)
        {
        case ControlKind::Title:
            break; // drawn by the movie, under the mouse for dragging
        case ControlKind::Label:
            className = L"STATIC";
            style |= SS_LEFTNOWORDWRAP | SS_PATHELLIPSIS;
            // The movie's own texts carry mnemonics that move the focus to
            // the next control; a value (a path) shows its "&" as it is.
            if (!control.value.empty() || control.text.isVariable)
            {
                style |= SS_NOPREFIX;
            }
            break;
        case ControlKind::Message:
            className = L"EDIT";
            style |= ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL;
            break;
        case ControlKind::Button:
            className = L"BUTTON";
            style |= WS_TABSTOP | (control.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
            break;
        case ControlKind::CheckBox:
            className = L"BUTTON";
            style |= WS_TABSTOP | BS_AUTOCHECKBOX | BS_MULTILINE;
            break;
        case ControlKind::Radio:
            className = L"BUTTON";
            style |= BS_AUTORADIOBUTTON | BS_MULTILINE;
            if (control.value != lastRadioGroup)
            {
                style |= WS_GROUP | WS_TABSTOP;
            }
            break;
        case ControlKind::Stepper:
        case ControlKind::Edit:
            className = L"EDIT";
            style |= WS_TABSTOP | ES_AUTOHSCROLL |
                     (control.kind == ControlKind::Stepper ? ES_NUMBER : 0);
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Combo:
            className = L"COMBOBOX";
            style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS;
            break;
        case ControlKind::List:
            className = L"LISTBOX";
            style |= WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS;
            exStyle = WS_EX_CLIENTEDGE;
            break;
        case ControlKind::Progress:
            className = PROGRESS_CLASSW;
            break;
        case ControlKind::Icon:
            className = L"STATIC";
            style |= SS_ICON | SS_REALSIZECONTROL;
            break;
        case ControlKind::Image:
            className = L"STATIC";
            style |= SS_BITMAP | SS_REALSIZECONTROL;
            break;
        case ControlKind::Tabs:
            className = WC_TABCONTROLW;
            style |= WS_TABSTOP | WS_CLIPSIBLINGS;
            break;
        }
        if (control.kind != ControlKind::Radio)
        {
            lastRadioGroup.clear();
            style |= control.kind == ControlKind::Title ? 0 : WS_GROUP;
        }
        else
        {
            lastRadioGroup = control.value;
        }
        if (className)
        {
            const auto id = static_cast<INT_PTR>(kFirstControlId + static_cast<int>(i));
            child.window = CreateWindowExW(exStyle, className, L"", style, 0, 0, 1, 1, m_parent,
                                           reinterpret_cast<HMENU>(id), instance, nullptr);
        }
        if (child.window)
        {
            SendMessageW(child.window, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
        }
        if (child.window && control.kind == ControlKind::Stepper)
        {
            // Placed by Layout: aligned by the control itself, its arrows
            // keep their 96 DPI width.
            child.buddy = CreateWindowExW(0, UPDOWN_CLASSW, L"",
                                          WS_CHILD | UDS_SETBUDDYINT | UDS_ARROWKEYS |
                                              UDS_NOTHOUSANDS,
                                          0, 0, 0, 0, m_parent, nullptr, instance, nullptr);
            SendMessageW(child.buddy, UDM_SETBUDDY, reinterpret_cast<WPARAM>(child.window), 0);
            SendMessageW(child.buddy, UDM_SETRANGE32, control.low, control.high);
        }
        if (child.window && control.kind == ControlKind::Progress)
        {
            SendMessageW(child.window, PBM_SETRANGE32, control.low, control.high);
        }
        if (child.window && control.kind == ControlKind::Tabs)
        {
            for (std::size_t page = 0; page < control.pages.size(); ++page)
            {
                TCITEMW item{};
                item.mask = TCIF_TEXT;
                item.pszText = const_cast<wchar_t*>(L"");
                SendMessageW(child.window, TCM_INSERTITEMW, page, reinterpret_cast<LPARAM>(&item));
            }
        }
        if (child.window && control.kind == ControlKind::Image)
        {
            const std::wstring file = Utf8ToWide(m_folder + "\\" + control.image);
            HANDLE bitmap = LoadImageW(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
            SendMessageW(child.window, STM_SETIMAGE, IMAGE_BITMAP,
                         reinterpret_cast<LPARAM>(bitmap));
        }
        m_children.push_back(std::move(child));
        if (m_children.back().window && control.kind == ControlKind::List)
        {
            // The hint lives in the child, which stays put: the vector
            // was reserved for every control.
            SetWindowSubclass(m_children.back().window, ListWithHint, 0,
                              reinterpret_cast<DWORD_PTR>(&m_children.back().text));
        }
    }
    // Tabs below their pages, which are their siblings: a control is made
    // below those before it, so tabs made first would paint over the
    // edges of the lists on their pages. The tab strip becomes the last
    // stop of Tab; Ctrl+Tab pages from anywhere.
    for (const Child& child : m_children)
    {
        if (child.window && child.control->kind == ControlKind::Tabs)
        {
            SetWindowPos(child.window, HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

void CWin32Movie::Layout()
{
    const SIZE size = ScaledSize();
    RECT frame{0, 0, size.cx, size.cy};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(m_parent, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(m_parent, GWL_EXSTYLE)));
    SetWindowPos(m_parent, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    static const auto scaleDown =
        Function<LoadIconWithScaleDownFn>(L"comctl32.dll", "LoadIconWithScaleDown");
    for (Child& child : m_children)
    {
        const Control& c = *child.control;
        if (!child.window)
        {
            continue;
        }
        // A drop-down list's height is that of its open list.
        const int extra = c.kind == ControlKind::Combo ? Scale(160) : 0;
        if (child.buddy)
        {
            LayOutStepper(child);
        }
        else
        {
            SetWindowPos(child.window, nullptr, Scale(c.x), Scale(c.y), Scale(c.width),
                         Scale(c.height) + extra, SWP_NOZORDER | SWP_NOACTIVATE);
        }
        if (c.kind == ControlKind::List)
        {
            InvalidateRect(child.window, nullptr, TRUE);
        }
        if (c.kind == ControlKind::Icon)
        {
            const int edge = Scale(std::min(c.width, c.height));
            HICON icon = nullptr;
            if (!scaleDown || FAILED(scaleDown(nullptr, IconOf(c.image), edge, edge, &icon)))
            {
                icon = CopyIcon(LoadIconW(nullptr, IconOf(c.image)));
            }
            HICON old = reinterpret_cast<HICON>(
                SendMessageW(child.window, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0));
            if (old)
            {
                DestroyIcon(old);
            }
            SetWindowPos(child.window, nullptr, 0, 0, edge, edge,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
    }
    InvalidateRect(m_parent, nullptr, TRUE);
}

void CWin32Movie::LayOutStepper(const Child& child)
{
    // A single-line edit shows its text at the top: the field is as tall as
    // its font and edges, in the middle of the movie's place for it, and the
    // arrows beside it are as tall as the field and as wide as the DPI says.
    const Control& c = *child.control;
    TEXTMETRICW metrics{};
    HDC dc = GetDC(child.window);
    HGDIOBJ old = SelectObject(dc, m_font);
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(child.window, dc);
    RECT edges{0, 0, 0, metrics.tmHeight};
    AdjustWindowRectEx(&edges, static_cast<DWORD>(GetWindowLongPtrW(child.window, GWL_STYLE)),
                       FALSE, static_cast<DWORD>(GetWindowLongPtrW(child.window, GWL_EXSTYLE)));
    const int height = std::min<int>(Scale(c.height), edges.bottom - edges.top);
    const int top = Scale(c.y) + (Scale(c.height) - height) / 2;
    const int arrows = std::min(Scale(kArrowsWidth), Scale(c.width) / 2);
    SetWindowPos(child.window, nullptr, Scale(c.x), top, Scale(c.width) - arrows, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(child.buddy, UDM_SETBUDDY, reinterpret_cast<WPARAM>(child.window), 0);
    SetWindowPos(child.buddy, nullptr, Scale(c.x + c.width) - arrows, top, arrows, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE CWin32Movie::ScaledSize() const
{
    const auto& movie = State().Definition();
    if (!m_loaded)
    {
        return {Scale(kFailedWidth), Scale(kFailedHeight)};
    }
    return {Scale(movie.width), Scale(movie.height)};
}

RECT CWin32Movie::TitleRect() const
{
    for (const Child& child : m_children)
    {
        const Control& c = *child.control;
        if (c.kind == ControlKind::Title && State().IsVisible(c))
        {
            return {Scale(c.x), Scale(c.y), Scale(c.x + c.width), Scale(c.y + c.height)};
        }
    }
    return {0, 0, 0, 0};
}

void CWin32Movie::Refresh()
{
    Sync();
}

void CWin32Movie::Sync()
{
    m_syncing = true;
    for (Child& child : m_children)
    {
        SyncChild(child);
    }
    const Control* defaultButton = State().DefaultButton();
    for (std::size_t i = 0; i < m_children.size(); ++i)
    {
        const int id = kFirstControlId + static_cast<int>(i);
        if (m_children[i].control == defaultButton && id != m_defaultId)
        {
            m_defaultId = id;
            SendMessageW(m_parent, DM_SETDEFID, id, 0);
        }
    }
    // Only a changed title is drawn again: the progress window syncs at
    // every frame it shows.
    if (TitleText() != m_titleShown)
    {
        CaptionChanged();
    }
    m_syncing = false;
}

void CWin32Movie::SyncChild(Child& child)
{
    const Control& c = *child.control;
    HWND window = child.window;
    if (!window)
    {
        return;
    }
    const bool visible = State().IsVisible(c);
    if (visible != child.visible || !IsWindowVisible(window) != !visible)
    {
        child.visible = visible;
        ShowWindow(window, visible ? SW_SHOWNA : SW_HIDE);
        if (child.buddy)
        {
            ShowWindow(child.buddy, visible ? SW_SHOWNA : SW_HIDE);
        }
    }
    const auto setText = [&](std::wstring text)
    {
        if (text != child.text)
        {
            child.text = std::move(text);
            SetWindowTextW(window, child.text.c_str());
        }
    };
    switch (c.kind)
    {
    case ControlKind::Label:
    case ControlKind::Button:
    case ControlKind::CheckBox:
    case ControlKind::Radio:
    case ControlKind::Edit:
        setText(Utf8ToWide(State().Caption(c)));
        if (c.kind == ControlKind::CheckBox || c.kind == ControlKind::Radio)
        {
            SendMessageW(window, BM_SETCHECK, State().Checked(c) ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        break;
    case ControlKind::Message:
    {
        const std::wstring before = child.text;
        setText(WithCrLf(Utf8ToWide(State().Caption(c))));
        if (before != child.text)
        {
            // A scroll bar only for a text taller than the control.
            TEXTMETRICW metrics{};
            HDC dc = GetDC(window);
            HGDIOBJ old = SelectObject(dc, m_font);
            GetTextMetricsW(dc, &metrics);
            SelectObject(dc, old);
            ReleaseDC(window, dc);
            RECT client{};
            GetClientRect(window, &client);
            const LRESULT lines = SendMessageW(window, EM_GETLINECOUNT, 0, 0);
            const int lineHeight = std::max<int>(1, metrics.tmHeight);
            ShowScrollBar(window, SB_VERT, lines * lineHeight > client.bottom);
        }
        break;
    }
    case ControlKind::Stepper:
        if (GetFocus() != window)
        {
            setText(std::to_wstring(State().Number(c)));
        }
        break;
    case ControlKind::List:
    case ControlKind::Combo:
    {
        const bool list = c.kind == ControlKind::List;
        const auto& items = State().Items(c);
        if (list)
        {
            const std::wstring hint = Utf8ToWide(State().Caption(c));
            if (hint != child.text || items.empty() != child.items.empty())
            {
                child.text = hint;
                InvalidateRect(window, nullptr, TRUE);
            }
        }
        if (items != child.items)
        {
            child.items = items;
            SendMessageW(window, list ? LB_RESETCONTENT : CB_RESETCONTENT, 0, 0);
            for (const std::string& item : items)
            {
                const std::wstring wide = Utf8ToWide(item);
                SendMessageW(window, list ? LB_ADDSTRING : CB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(wide.c_str()));
            }
        }
        const auto selected = State().Selection(c);
        SendMessageW(window, list ? LB_SETCURSEL : CB_SETCURSEL,
                     selected ? static_cast<WPARAM>(*selected) : static_cast<WPARAM>(-1), 0);
        break;
    }
    case ControlKind::Progress:
        SendMessageW(window, PBM_SETPOS, static_cast<WPARAM>(State().Number(c)), 0);
        break;
    case ControlKind::Tabs:
    {
        std::wstring joined;
        for (std::size_t page = 0; page < c.pages.size(); ++page)
        {
            std::wstring caption = Utf8ToWide(State().Text(c.pages[page]));
            joined += caption + L'\n';
            TCITEMW item{};
            item.mask = TCIF_TEXT;
            item.pszText = caption.data();
            SendMessageW(window, TCM_SETITEMW, page, reinterpret_cast<LPARAM>(&item));
        }
        child.text = joined;
        SendMessageW(window, TCM_SETCURSEL, static_cast<WPARAM>(State().Number(c)), 0);
        break;
    }
    case ControlKind::Title:
    case ControlKind::Icon:
    case ControlKind::Image:
        break;
    }
}

CWin32Movie::Child* CWin32Movie::ChildOf(int id)
{
    const int index = id - kFirstControlId;
    return index >= 0 && index < static_cast<int>(m_children.size()) ? &m_children[index] : nullptr;
}

void CWin32Movie::OnControl(Child& child, int code)
{
    if (m_syncing)
    {
        return;
    }
    const Control& c = *child.control;
    CMovieState& state = MutableState();
    switch (c.kind)
    {
    case ControlKind::Button:
        if (code == BN_CLICKED)
        {
            Raise(state.Press(c));
        }
        break;
    case ControlKind::CheckBox:
    case ControlKind::Radio:
        if (code == BN_CLICKED)
        {
            const bool checked = SendMessageW(child.window, BM_GETCHECK, 0, 0) == BST_CHECKED;
            Raise(state.Toggle(c, checked));
        }
        break;
    case ControlKind::Edit:
    case ControlKind::Stepper:
        if (code == EN_CHANGE)
        {
            child.text = WindowText(child.window);
            Raise(state.Change(c, WideToUtf8(child.text)));
        }
        break;
    case ControlKind::List:
    case ControlKind::Combo:
        if (code == (c.kind == ControlKind::List ? LBN_SELCHANGE : CBN_SELCHANGE))
        {
            const LRESULT index = SendMessageW(
                child.window, c.kind == ControlKind::List ? LB_GETCURSEL : CB_GETCURSEL, 0, 0);
            Raise(state.Select(c, index < 0 ? std::nullopt
                                            : std::optional<std::size_t>(std::size_t(index))));
        }
        break;
    default:
        break;
    }
}

bool CWin32Movie::PressCancel()
{
    const Control* cancel = State().CancelButton();
    if (!cancel)
    {
        return false;
    }
    Raise(MutableState().Press(*cancel));
    return true;
}

bool CWin32Movie::StepPage(int step)
{
    for (const Control& control : State().Definition().controls)
    {
        if (control.kind != ControlKind::Tabs || !State().IsVisible(control))
        {
            continue;
        }
        const int pages = static_cast<int>(control.pages.size());
        const int page = ((State().Number(control) + step) % pages + pages) % pages;
        Raise(MutableState().Select(control, static_cast<std::size_t>(page)));
        return true;
    }
    return false;
}

void CWin32Movie::FocusFirst()
{
    const Control* preferred = State().DefaultButton();
    HWND first = nullptr;
    for (const Child& child : m_children)
    {
        if (!child.window || !State().IsVisible(*child.control))
        {
            continue;
        }
        if (child.control == preferred)
        {
            first = child.window;
            break;
        }
        if (!first && (GetWindowLongPtrW(child.window, GWL_STYLE) & WS_TABSTOP))
        {
            first = child.window;
        }
    }
    if (first)
    {
        SendMessageW(m_parent, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    }
}

std::wstring CWin32Movie::TitleText() const
{
    std::wstring caption;
    for (const Child& child : m_children)
    {
        if (child.control->kind == ControlKind::Title && State().IsVisible(*child.control))
        {
            caption = Utf8ToWide(State().Text(child.control->text));
        }
    }
    return caption.empty() ? WindowText(m_parent) : caption;
}

void CWin32Movie::CaptionChanged()
{
    m_titleShown = TitleText();
    const RECT title = TitleRect();
    InvalidateRect(m_parent, &title, TRUE);
}

void CWin32Movie::EnableCancel(bool enable)
{
    for (const Child& child : m_children)
    {
        if (child.control->isCancel && child.window)
        {
            EnableWindow(child.window, enable);
        }
    }
}

void CWin32Movie::Paint(HDC dc)
{
    const RECT title = TitleRect();
    if (title.right > title.left)
    {
        HBRUSH band = GetSysColorBrush(COLOR_ACTIVECAPTION);
        FillRect(dc, &title, band);
        const std::wstring caption = TitleText();
        RECT text = title;
        text.left += Scale(kTitlePadding);
        text.right -= Scale(kTitlePadding);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_CAPTIONTEXT));
        HGDIOBJ old = SelectObject(dc, m_titleFont);
        DrawTextW(dc, caption.c_str(), -1, &text,
                  DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
        SelectObject(dc, old);
    }
    if (!m_loaded)
    {
        // Say what is wrong rather than show an empty window.
        std::wstring text = L"The window's movie could not be shown.";
        for (const Diagnostic& diagnostic : GetDiagnostics())
        {
            text += L"\r\n" + Utf8ToWide(FormatDiagnostic(diagnostic));
        }
        RECT client{};
        GetClientRect(m_parent, &client);
        InflateRect(&client, -Scale(kTitlePadding), -Scale(kTitlePadding));
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        HGDIOBJ old = SelectObject(dc, m_font);
        DrawTextW(dc, text.c_str(), -1, &client, DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, old);
    }
}

bool CWin32Movie::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    switch (message)
    {
    case WM_COMMAND:
        if (Child* child = ChildOf(LOWORD(wParam)))
        {
            OnControl(*child, HIWORD(wParam));
            return true;
        }
        return false;
    case WM_NOTIFY:
    {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        Child* child = ChildOf(static_cast<int>(header->idFrom));
        if (child && child->control->kind == ControlKind::Tabs && header->code == TCN_SELCHANGE &&
            !m_syncing)
        {
            const LRESULT page = SendMessageW(child->window, TCM_GETCURSEL, 0, 0);
            Raise(MutableState().Select(*child->control, std::size_t(std::max<LRESULT>(page, 0))));
            return true;
        }
        return false;
    }
    case WM_LBUTTONDOWN:
    {
        const POINT point{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        const RECT title = TitleRect();
        if (PtInRect(&title, point))
        {
            for (const Child& child : m_children)
            {
                if (child.control->kind == ControlKind::Title && State().IsVisible(*child.control))
                {
                    Raise(MutableState().Press(*child.control));
                    return true;
                }
            }
        }
        return false;
    }
    case WM_ERASEBKGND:
    {
        RECT client{};
        GetClientRect(m_parent, &client);
        HBRUSH brush = CreateSolidBrush(RGB(
            BackgroundColor() >> 16, (BackgroundColor() >> 8) & 0xFF, BackgroundColor() & 0xFF));
        FillRect(reinterpret_cast<HDC>(wParam), &client, brush);
        DeleteObject(brush);
        result = 1;
        return true;
    }
    case WM_PAINT:
    {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(m_parent, &paint);
        Paint(dc);
        EndPaint(m_parent, &paint);
        return true;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    {
        const COLORREF color =
            RGB(BackgroundColor() >> 16, (BackgroundColor() >> 8) & 0xFF, BackgroundColor() & 0xFF);
        if (!m_background)
        {
            m_background = CreateSolidBrush(color);
        }
        SetBkColor(reinterpret_cast<HDC>(wParam), color);
        result = reinterpret_cast<LRESULT>(m_background);
        return true;
    }
    case WM_DPICHANGED:
        m_dpi = HIWORD(wParam);
        UpdateFont();
        Layout();
        {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(m_parent, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        }
        for (Child& child : m_children)
        {
            child.text.clear();
        }
        Sync();
        return true;
    default:
        return false;
    }
}

} // namespace qw
