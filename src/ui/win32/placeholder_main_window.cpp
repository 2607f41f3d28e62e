#include "ui/win32/placeholder_main_window.h"

#include "platform/win32/wide.h"

#include <windows.h>

namespace qw
{
namespace
{

constexpr int kCloseButtonId = 1;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_COMMAND:
        if (LOWORD(wParam) == kCloseButtonId)
        {
            DestroyWindow(window);
            return 0;
        }
        break;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

} // namespace

void CPlaceholderMainWindow::RunModal(CShredApp& app)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassW(&windowClass);

    HWND window =
        CreateWindowExW(0, kMainWindowClass, Utf8ToWide(app.m_title).c_str(),
                        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, CW_USEDEFAULT,
                        CW_USEDEFAULT, 420, 200, nullptr, nullptr, instance, nullptr);
    if (!window)
    {
        return;
    }
    std::string method = app.m_method == 0 ? "quick (one pass of zeroes)"
                         : app.m_method == 1
                             ? "thorough (" + std::to_string(app.m_passCount * 3) + " passes)"
                             : "none";
    std::string info = "Method: " + method + "\nLanguage: " + app.m_language +
                       "\nApplication folder: " + app.m_appPath;
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HWND label = CreateWindowExW(0, L"STATIC", Utf8ToWide(info).c_str(), WS_CHILD | WS_VISIBLE, 16,
                                 16, 380, 80, window, nullptr, instance, nullptr);
    HWND button =
        CreateWindowExW(0, L"BUTTON", Utf8ToWide(app.CaptionText(9706, "OK")).c_str(),
                        WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 300, 120, 90, 28,
                        window, reinterpret_cast<HMENU>(kCloseButtonId), instance, nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    SendMessageW(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
    {
        if (!IsDialogMessageW(window, &message))
        {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
}

} // namespace qw
