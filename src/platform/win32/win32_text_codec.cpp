#include "platform/win32/win32_text_codec.h"

#include "platform/win32/wide.h"

#include <windows.h>

namespace qw
{

std::string CWin32TextCodec::AnsiToUtf8(std::string_view text)
{
    if (text.empty())
    {
        return {};
    }
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return WideToUtf8(wide);
}

} // namespace qw
