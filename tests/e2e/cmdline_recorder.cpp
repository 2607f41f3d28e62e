// Stands in for Quellwipe.exe: appends the command line it was given and its
// working folder, as UTF-8, to started.txt beside itself, then ends.

#include "platform/win32/wide.h"

#include <windows.h>

#include <string>

int main()
{
    wchar_t self[4096] = {};
    DWORD length = GetModuleFileNameW(nullptr, self, 4096);
    std::wstring log(self, length);
    log = log.substr(0, log.rfind(L'\\')) + L"\\started.txt";
    wchar_t folder[4096] = {};
    GetCurrentDirectoryW(4096, folder);
    std::string record = "line=" + qw::WideToUtf8(GetCommandLineW()) + "\n" +
                         "folder=" + qw::WideToUtf8(folder) + "\n";
    // Launches of one selection may run at once: the later one waits for
    // the file instead of losing its line.
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 500; ++attempt)
    {
        file = CreateFileW(log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION)
        {
            break;
        }
        Sleep(20);
    }
    if (file == INVALID_HANDLE_VALUE)
    {
        return 1;
    }
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
    return 0;
}
