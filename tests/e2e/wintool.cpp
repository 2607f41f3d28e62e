// A small Windows helper for the end-to-end scripts: waits for, reads,
// clicks and closes the program's windows from inside the same wine prefix.
//
//   wintool wait  CLASS TITLE [MS]     exit 0 once such a window exists
//   wintool text  CLASS TITLE          prints the texts of its child windows
//   wintool click CLASS TITLE BUTTON   presses the child button of that text
//   wintool close CLASS TITLE          asks the window to close
//
// CLASS or TITLE "-" matches any.

#include "platform/win32/wide.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace
{

HWND Find(const std::wstring& cls, const std::wstring& title)
{
    return FindWindowW(cls == L"-" ? nullptr : cls.c_str(),
                       title == L"-" ? nullptr : title.c_str());
}

std::wstring TextOf(HWND window)
{
    std::vector<wchar_t> buffer(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 2);
    GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
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

struct ChildSearch
{
    std::wstring text;
    HWND found = nullptr;
};

BOOL CALLBACK PrintChild(HWND child, LPARAM)
{
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
    if (WithoutAmpersands(TextOf(child)) == search->text)
    {
        search->found = child;
        return FALSE;
    }
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
    {
        std::fprintf(stderr, "usage: wintool wait|text|click|close CLASS TITLE [ARG]\n");
        return 2;
    }
    std::string command = argv[1];
    std::wstring cls = qw::Utf8ToWide(argv[2]);
    std::wstring title = qw::Utf8ToWide(argv[3]);

    if (command == "wait")
    {
        DWORD timeout = argc > 4 ? static_cast<DWORD>(std::stoul(argv[4])) : 30000;
        DWORD start = GetTickCount();
        while (!Find(cls, title))
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
        ChildSearch search{WithoutAmpersands(qw::Utf8ToWide(argv[4]))};
        EnumChildWindows(window, FindButton, reinterpret_cast<LPARAM>(&search));
        if (!search.found)
        {
            std::fprintf(stderr, "no such button\n");
            return 1;
        }
        PostMessageW(search.found, BM_CLICK, 0, 0);
        return 0;
    }
    if (command == "close")
    {
        PostMessageW(window, WM_CLOSE, 0, 0);
        return 0;
    }
    return 2;
}
