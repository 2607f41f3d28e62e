// A small Windows helper for the end-to-end scripts: waits for, reads,
// clicks and closes the program's windows from inside the same wine prefix.
//
//   wintool wait  CLASS TITLE [MS]     exit 0 once such a window is visible
//   wintool text  CLASS TITLE          prints the texts of its visible children
//   wintool click CLASS TITLE BUTTON   presses the child button of that text
//   wintool close CLASS TITLE          asks the window to close
//   wintool clickwait CLASS TITLE BUTTON MS
//                                      presses the button like click and
//                                      prints the milliseconds until the
//                                      window is hidden or gone; exit 1 when
//                                      that takes longer than MS
//   wintool message FOLDER LANGUAGE SIZE FRAME TYPE TEXT
//                                      shows the program's message window
//                                      from the application folder FOLDER
//                                      and prints its answer
//   wintool items CLASS TITLE          prints the items of every visible list
//                                      box of the window, one per line
//   wintool itemat CLASS TITLE N       prints the screen point "x y" of entry
//                                      N of the window's visible list box
//   wintool focus CLASS TITLE          prints the class and text of the
//                                      window's child that has the keyboard
//                                      focus; exit 1
//                                      when none of its children has it
//   wintool scrolls CLASS TITLE        exit 0 when a visible child of the
//                                      window shows a vertical scroll bar
//   wintool run   PROGRAM LINE         starts PROGRAM with exactly LINE as its
//                                      command line and exits with its code
//   wintool timedrun PROGRAM LINE      the same, and prints the seconds from
//                                      its start to its end
//   wintool hold  FILE MS              keeps FILE open without sharing for MS
//                                      milliseconds; prints "held" once open
//   wintool dpi   CLASS TITLE FROM TO  tells the window that its monitor's
//                                      DPI changed from FROM to TO, as Windows
//                                      does when it is moved to another one
//   wintool version FILE               prints the file version of FILE's
//                                      version resource and its ProductVersion
//                                      text, as Explorer's properties show them
//
// CLASS or TITLE "-" matches any.

#include "platform/win32/wide.h"
#include "platform/win32/win32_file_system.h"
#include "ui/win32/movie_presenter.h"

#include <windows.h>

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace
{

struct WindowSearch
{
    const wchar_t* cls;
    const wchar_t* title;
    HWND found = nullptr;
};

BOOL CALLBACK FindVisible(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowSearch*>(param);
    wchar_t text[512] = {};
    if (!IsWindowVisible(window) ||
        (search->title && (GetWindowTextW(window, text, 512), wcscmp(text, search->title) != 0)))
    {
        return TRUE;
    }
    if (search->cls && (GetClassNameW(window, text, 512), wcscmp(text, search->cls) != 0))
    {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

// The window a person sees: a closed dialog may linger hidden with the same
// class and title while the next one opens.
HWND Find(const std::wstring& cls, const std::wstring& title, bool visibleOnly = false)
{
    const wchar_t* c = cls == L"-" ? nullptr : cls.c_str();
    const wchar_t* t = title == L"-" ? nullptr : title.c_str();
    WindowSearch search{c, t};
    EnumWindows(FindVisible, reinterpret_cast<LPARAM>(&search));
    return search.found || visibleOnly ? search.found : FindWindowW(c, t);
}

// Asked with WM_GETTEXT, as a screen reader asks: across processes
// GetWindowText reads only the window's own title, never an edit's text.
std::wstring TextOf(HWND window)
{
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length))
    {
        return {};
    }
    std::vector<wchar_t> buffer(length + 2);
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                        SMTO_ABORTIFHUNG, 2000, &copied);
    return buffer.data();
}

std::wstring WithoutAmpersands(std::wstring text)
{
    std::wstring out;
    for (wchar_t c : text)
    {
        if (c != L'&')
        {
            out += c;
        }
    }
    return out;
}

// A button by its text as given; without mnemonics only when no button
// carries it exactly ("Al&ways" and "Alwa&ys" are two buttons).
struct ChildSearch
{
    std::wstring text;
    std::wstring exact;
    HWND found = nullptr;
    bool foundExactly = false;
};

// Only what a person sees: a movie keeps the controls of other frames hidden.
BOOL CALLBACK PrintChild(HWND child, LPARAM)
{
    if (!IsWindowVisible(child))
    {
        return TRUE;
    }
    std::string text = qw::WideToUtf8(TextOf(child));
    if (!text.empty())
    {
        std::printf("%s\n", text.c_str());
    }
    return TRUE;
}

BOOL CALLBACK FindButton(HWND child, LPARAM param)
{
    auto* search = reinterpret_cast<ChildSearch*>(param);
    if (!IsWindowVisible(child))
    {
        return TRUE;
    }
    const std::wstring text = TextOf(child);
    if (text == search->exact)
    {
        search->found = child;
        search->foundExactly = true;
        return FALSE;
    }
    if (!search->found && WithoutAmpersands(text) == search->text)
    {
        search->found = child;
    }
    return TRUE;
}

BOOL CALLBACK PrintItems(HWND child, LPARAM)
{
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (!IsWindowVisible(child) || _wcsicmp(cls, L"ListBox") != 0)
    {
        return TRUE;
    }
    DWORD_PTR count = 0;
    SendMessageTimeoutW(child, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count);
    for (WPARAM i = 0; i < count; ++i)
    {
        DWORD_PTR length = 0;
        SendMessageTimeoutW(child, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 2000, &length);
        // Carried across processes in a buffer of at least 1024 characters.
        std::vector<wchar_t> text(std::max<size_t>(length + 1, 1024));
        DWORD_PTR ignored = 0;
        SendMessageTimeoutW(child, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text.data()),
                            SMTO_ABORTIFHUNG, 2000, &ignored);
        std::printf("%s\n", qw::WideToUtf8(text.data()).c_str());
    }
    return TRUE;
}

BOOL CALLBACK FindListBox(HWND child, LPARAM found)
{
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (IsWindowVisible(child) && _wcsicmp(cls, L"ListBox") == 0)
    {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindScrollBar(HWND child, LPARAM found)
{
    if (IsWindowVisible(child) && (GetWindowLongPtrW(child, GWL_STYLE) & WS_VSCROLL))
    {
        *reinterpret_cast<bool*>(found) = true;
    }
    return TRUE;
}

int PrintVersion(const std::wstring& file)
{
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeW(file.c_str(), &ignored));
    VS_FIXEDFILEINFO* fixed = nullptr;
    WORD* translation = nullptr;
    wchar_t* product = nullptr;
    UINT length = 0;
    if (data.empty() ||
        !GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
        !VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        !VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                        reinterpret_cast<void**>(&translation), &length) ||
        length < 2 * sizeof(WORD))
    {
        std::fprintf(stderr, "no version resource\n");
        return 1;
    }
    // The texts of the first language the resource lists.
    wchar_t block[64];
    swprintf(block, 64, L"\\StringFileInfo\\%04x%04x\\ProductVersion", translation[0],
             translation[1]);
    if (!VerQueryValueW(data.data(), block, reinterpret_cast<void**>(&product), &length))
    {
        std::fprintf(stderr, "no ProductVersion\n");
        return 1;
    }
    std::printf("%u.%u.%u.%u %s\n", unsigned{HIWORD(fixed->dwFileVersionMS)},
                unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)},
                unsigned{LOWORD(fixed->dwFileVersionLS)}, qw::WideToUtf8(product).c_str());
    return 0;
}

} // namespace

int main()
{
    // The wide command line: the narrow argv loses what the ANSI code page
    // cannot hold.
    int argc = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i)
    {
        args.push_back(qw::WideToUtf8(wide[i]));
    }
    LocalFree(wide);
    std::vector<const char*> pointers;
    for (const std::string& arg : args)
    {
        pointers.push_back(arg.c_str());
    }
    const char* const* argv = pointers.data();
    if (argc == 3 && std::string(argv[1]) == "version")
    {
        return PrintVersion(qw::Utf8ToWide(argv[2]));
    }
    if (argc < 4)
    {
        std::fprintf(stderr,
                     "usage: wintool wait|text|click|clickwait|close CLASS TITLE [ARG...]\n");
        return 2;
    }
    std::string command = argv[1];
    if ((command == "run" || command == "timedrun") && argc == 4)
    {
        LARGE_INTEGER frequency;
        LARGE_INTEGER start;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        // argv[3] is the whole command line, with or without the program
        // name, as a task scheduler or the shell would pass it.
        std::wstring program = qw::Utf8ToWide(argv[2]);
        std::wstring line = qw::Utf8ToWide(argv[3]);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                            nullptr, &startup, &process))
        {
            std::fprintf(stderr, "cannot start: %lu\n", GetLastError());
            return 126;
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        if (command == "timedrun")
        {
            LARGE_INTEGER end;
            QueryPerformanceCounter(&end);
            std::printf("%.3f\n", static_cast<double>(end.QuadPart - start.QuadPart) /
                                      static_cast<double>(frequency.QuadPart));
        }
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return static_cast<int>(code);
    }
    if (command == "hold" && argc == 4)
    {
        HANDLE file = CreateFileW(qw::Utf8ToWide(argv[2]).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
        {
            std::fprintf(stderr, "cannot open: %lu\n", GetLastError());
            return 1;
        }
        std::printf("held\n");
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(std::stoul(argv[3])));
        CloseHandle(file);
        return 0;
    }
    if (command == "message" && argc == 8)
    {
        // The program's own message window, from the application folder.
        qw::CWin32FileSystem files;
        const std::string language = argv[3];
        qw::CMoviePresenter presenter(files, argv[2], [&language] { return language; });
        qw::MessageRequest request;
        const std::string size = argv[4];
        request.size = size == "Big"      ? qw::MessageSize::Big
                       : size == "Middle" ? qw::MessageSize::Middle
                                          : qw::MessageSize::Small;
        request.frame = std::atoi(argv[5]);
        request.type = argv[6];
        request.text = argv[7];
        request.caption = "Quellwipe";
        std::printf("answer=%s\n", presenter.Show(request).c_str());
        return 0;
    }
    std::wstring cls = qw::Utf8ToWide(argv[2]);
    std::wstring title = qw::Utf8ToWide(argv[3]);

    if (command == "wait")
    {
        DWORD timeout = argc > 4 ? static_cast<DWORD>(std::stoul(argv[4])) : 30000;
        DWORD start = GetTickCount();
        while (!Find(cls, title, true))
        {
            if (GetTickCount() - start > timeout)
            {
                return 1;
            }
            Sleep(100);
        }
        return 0;
    }
    HWND window = Find(cls, title);
    if (!window)
    {
        std::fprintf(stderr, "no such window\n");
        return 1;
    }
    if (command == "text")
    {
        EnumChildWindows(window, PrintChild, 0);
        return 0;
    }
    if (command == "click" && argc > 4)
    {
        ChildSearch search{WithoutAmpersands(qw::Utf8ToWide(argv[4])), qw::Utf8ToWide(argv[4])};
        EnumChildWindows(window, FindButton, reinterpret_cast<LPARAM>(&search));
        if (!search.found)
        {
            std::fprintf(stderr, "no such button\n");
            return 1;
        }
        PostMessageW(search.found, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == "clickwait" && argc > 5)
    {
        ChildSearch search{WithoutAmpersands(qw::Utf8ToWide(argv[4])), qw::Utf8ToWide(argv[4])};
        EnumChildWindows(window, FindButton, reinterpret_cast<LPARAM>(&search));
        if (!search.found || !IsWindowVisible(window))
        {
            std::fprintf(stderr, "no such button on a visible window\n");
            return 1;
        }
        const double limit = std::stod(argv[5]);
        LARGE_INTEGER frequency, start, now;
        QueryPerformanceFrequency(&frequency);
        QueryPerformanceCounter(&start);
        PostMessageW(search.found, BM_CLICK, 0, 0);
        double elapsed = 0;
        // Polled, not waited on: the window belongs to another process.
        // Give up well after the limit so that a slow answer is still
        // measured.
        while (IsWindow(window) && IsWindowVisible(window) && elapsed < 10 * limit + 1000)
        {
            Sleep(1);
            QueryPerformanceCounter(&now);
            elapsed = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
                      static_cast<double>(frequency.QuadPart);
        }
        QueryPerformanceCounter(&now);
        elapsed = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
                  static_cast<double>(frequency.QuadPart);
        std::printf("%.1f\n", elapsed);
        return elapsed <= limit ? 0 : 1;
    }
    if (command == "items")
    {
        EnumChildWindows(window, PrintItems, 0);
        return 0;
    }
    if (command == "itemat" && argc > 4)
    {
        // The screen point at the middle of entry n of the visible list box,
        // for a real click there.
        HWND list = nullptr;
        EnumChildWindows(window, FindListBox, reinterpret_cast<LPARAM>(&list));
        RECT item{};
        if (!list || SendMessageW(list, LB_GETITEMRECT, std::stoul(argv[4]),
                                  reinterpret_cast<LPARAM>(&item)) == LB_ERR)
        {
            return 1;
        }
        POINT middle{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
        ClientToScreen(list, &middle);
        std::printf("%ld %ld\n", middle.x, middle.y);
        return 0;
    }
    if (command == "focus")
    {
        // The focus of the thread that owns the window, as a screen reader
        // follows it.
        GUITHREADINFO info{};
        info.cbSize = sizeof(info);
        if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) ||
            !info.hwndFocus || !IsChild(window, info.hwndFocus))
        {
            std::fprintf(stderr, "no child has the focus\n");
            return 1;
        }
        wchar_t cls[64] = {};
        GetClassNameW(info.hwndFocus, cls, 64);
        std::printf("%s %s\n", qw::WideToUtf8(cls).c_str(),
                    qw::WideToUtf8(TextOf(info.hwndFocus)).c_str());
        return 0;
    }
    if (command == "scrolls")
    {
        // Exit 0 when a visible child shows a vertical scroll bar.
        bool scrolls = false;
        EnumChildWindows(window, FindScrollBar, reinterpret_cast<LPARAM>(&scrolls));
        return scrolls ? 0 : 1;
    }
    if (command == "dpi" && argc > 5)
    {
        // The suggested rectangle scales the size about the window's centre,
        // kept on the screen, as Windows suggests one. It must live in the
        // window's own process: nothing carries this message's pointer
        // across.
        const int from = std::stoi(argv[4]);
        const int to = std::stoi(argv[5]);
        RECT rect{};
        GetWindowRect(window, &rect);
        const LONG width = MulDiv(rect.right - rect.left, to, from);
        const LONG height = MulDiv(rect.bottom - rect.top, to, from);
        const LONG left = (rect.left + rect.right - width) / 2;
        const LONG top = (rect.top + rect.bottom - height) / 2;
        rect.left = std::max(0L, std::min(left, GetSystemMetrics(SM_CXSCREEN) - width));
        rect.top = std::max(0L, std::min(top, GetSystemMetrics(SM_CYSCREEN) - height));
        rect.right = rect.left + width;
        rect.bottom = rect.top + height;
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
        void* remote = process ? VirtualAllocEx(process, nullptr, sizeof rect,
                                                MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                               : nullptr;
        if (!remote || !WriteProcessMemory(process, remote, &rect, sizeof rect, nullptr))
        {
            std::fprintf(stderr, "cannot reach the window's process: %lu\n", GetLastError());
            return 1;
        }
        DWORD_PTR result = 0;
        const bool sent = SendMessageTimeoutW(window, WM_DPICHANGED, MAKEWPARAM(to, to),
                                              reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                                              5000, &result) != 0;
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
        CloseHandle(process);
        return sent ? 0 : 1;
    }
    if (command == "close")
    {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    return 2;
}
