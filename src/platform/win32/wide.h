#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qw
{

// UTF-8 and UTF-16, where unpaired surrogates (allowed in NTFS names) travel
// as their own three-byte sequences (WTF-8): every name converts back to
// itself. Bytes that are not UTF-8 become U+FFFD.
std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
// A path for the W file functions: every absolute path gets the \\?\ prefix
// (UNC paths \\?\UNC\), so that any depth can be reached and no name is
// read otherwise than it was checked.
std::wstring WidePath(std::string_view path);
// The current folder without a \\?\ prefix, and its root without the last
// backslash: "C:" or "\\server\share" (empty when there is none).
std::string CurrentFolder();
std::string CurrentRoot();
// For the program's own files (language packs, the log), whose paths are
// built from settings: Win32 reads them as usual, and only paths of 260
// characters or more get the prefix.
std::wstring WideProgramPath(std::string_view path);
// The system's text for an error or HRESULT code, without the line break it
// ends with; empty when the system has none.
std::string SystemErrorText(std::uint32_t code);

} // namespace qw
