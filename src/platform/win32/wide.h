#pragma once

#include <string>
#include <string_view>

namespace qw
{

std::wstring Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::wstring_view text);
// A path for the W file functions: absolute drive paths over 259 characters
// get the \\?\ prefix (UNC paths \\?\UNC\) so any depth can be reached.
std::wstring WidePath(std::string_view path);

} // namespace qw
