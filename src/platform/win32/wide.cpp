#include "platform/win32/wide.h"

#include <windows.h>

namespace qw
{
namespace
{

constexpr char32_t kReplacement = 0xFFFD;

// One code point of WTF-8 at `at`: UTF-8, where a lone surrogate (from a
// name NTFS allows but Unicode does not) is encoded like any code point.
char32_t Decode(std::string_view text, std::size_t& at)
{
    auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    int length = lead < 0x80           ? 1
                 : (lead >> 5) == 0x6  ? 2
                 : (lead >> 4) == 0xE  ? 3
                 : (lead >> 3) == 0x1E ? 4
                                       : 0;
    if (length == 0 || at + length > text.size())
    {
        ++at;
        return kReplacement;
    }
    char32_t code = length == 1 ? lead : lead & (0x7F >> length);
    for (int i = 1; i < length; ++i)
    {
        unsigned char next = byte(at + i);
        if ((next & 0xC0) != 0x80)
        {
            ++at;
            return kReplacement;
        }
        code = (code << 6) | (next & 0x3F);
    }
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    at += length;
    if (code < kSmallest[length] || code > 0x10FFFF)
    {
        return kReplacement;
    }
    return code;
}

void Encode(char32_t code, std::string& out)
{
    if (code < 0x80)
    {
        out += static_cast<char>(code);
    }
    else if (code < 0x800)
    {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    else if (code < 0x10000)
    {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsHigh(wchar_t c)
{
    return c >= 0xD800 && c <= 0xDBFF;
}

bool IsLow(wchar_t c)
{
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace

std::wstring Utf8ToWide(std::string_view text)
{
    std::wstring out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size())
    {
        char32_t code = Decode(text, at);
        if (code >= 0x10000)
        {
            code -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (code >> 10));
            out += static_cast<wchar_t>(0xDC00 + (code & 0x3FF));
        }
        else
        {
            out += static_cast<wchar_t>(code);
        }
    }
    return out;
}

std::string WideToUtf8(std::wstring_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        wchar_t c = text[i];
        if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1]))
        {
            Encode(0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00),
                   out);
            ++i;
        }
        else
        {
            // A lone surrogate keeps its own three bytes, so that the name
            // comes back unchanged.
            Encode(static_cast<char32_t>(c), out);
        }
    }
    return out;
}

std::wstring WideProgramPath(std::string_view path)
{
    std::wstring wide = Utf8ToWide(path);
    return wide.size() < MAX_PATH ? wide : WidePath(path);
}

std::wstring WidePath(std::string_view path)
{
    std::wstring wide = Utf8ToWide(path);
    if (wide.rfind(L"\\\\?\\", 0) == 0)
    {
        return wide;
    }
    // Every absolute path goes as it is, without Win32's reading of it
    // (trailing dots and blanks dropped, "." and ".." taken away): the name
    // that was checked is the name that is opened.
    if (wide.size() > 2 && wide[1] == L':' && wide[2] == L'\\')
    {
        return L"\\\\?\\" + wide;
    }
    if (wide.rfind(L"\\\\", 0) == 0 && wide.rfind(L"\\\\.\\", 0) != 0)
    {
        return L"\\\\?\\UNC\\" + wide.substr(2);
    }
    // Rooted without a drive ("\dir\file"): on the current folder's drive,
    // and through the prefix as well.
    if (!wide.empty() && wide[0] == L'\\' && (wide.size() == 1 || wide[1] != L'\\'))
    {
        std::string root = CurrentRoot();
        if (!root.empty())
        {
            return WidePath(root + std::string(path));
        }
    }
    return wide;
}

std::string CurrentFolder()
{
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    std::wstring folder(n, L'\0');
    n = GetCurrentDirectoryW(n, folder.data());
    folder.resize(n);
    std::string text = WideToUtf8(folder);
    if (text.rfind("\\\\?\\UNC\\", 0) == 0)
    {
        return "\\\\" + text.substr(8);
    }
    if (text.rfind("\\\\?\\", 0) == 0)
    {
        return text.substr(4);
    }
    return text;
}

std::string CurrentRoot()
{
    std::string folder = CurrentFolder();
    if (folder.size() >= 2 && folder[1] == ':')
    {
        return folder.substr(0, 2);
    }
    if (folder.rfind("\\\\", 0) == 0)
    {
        // "\\server\share": the two names after the leading backslashes.
        std::size_t server = folder.find('\\', 2);
        std::size_t share =
            server == std::string::npos ? std::string::npos : folder.find('\\', server + 1);
        return folder.substr(0, share);
    }
    return {};
}

std::string SystemErrorText(std::uint32_t code)
{
    wchar_t* text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                       FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (n == 0 || !text)
    {
        return {};
    }
    std::string result = WideToUtf8({text, n});
    LocalFree(text);
    while (!result.empty() &&
           (result.back() == '\n' || result.back() == '\r' || result.back() == ' '))
    {
        result.pop_back();
    }
    return result;
}

} // namespace qw
