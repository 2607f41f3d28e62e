#include "platform/win32/wide.h"

#include <windows.h>

namespace qw
{

std::wstring Utf8ToWide(std::string_view text)
{
    if (text.empty())
    {
        return {};
    }
    int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

std::string WideToUtf8(std::wstring_view text)
{
    if (text.empty())
    {
        return {};
    }
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

std::wstring WidePath(std::string_view path)
{
    std::wstring wide = Utf8ToWide(path);
    if (wide.size() < MAX_PATH || wide.rfind(L"\\\\?\\", 0) == 0)
    {
        return wide;
    }
    if (wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\')
    {
        return L"\\\\?\\" + wide;
    }
    if (wide.rfind(L"\\\\", 0) == 0)
    {
        return L"\\\\?\\UNC\\" + wide.substr(2);
    }
    return wide;
}

} // namespace qw
