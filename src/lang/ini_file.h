#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qw
{

class ITextCodec;

// The value of a key in profile-file text: sections and keys match without
// regard to case, the first matching section and key win, the value is
// trimmed and loses one pair of enclosing quotes.
std::optional<std::string> FindIniValue(std::string_view text, std::string_view section,
                                        std::string_view key);

// Whether profile-file text has a section of that name.
bool HasIniSection(std::string_view text, std::string_view section);

// File bytes as UTF-8: a UTF-8 file (with or without BOM) stays as it is,
// anything else is taken to be in the ANSI code page.
std::string DecodeTextFile(std::string_view bytes, ITextCodec& codec);

bool IsValidUtf8(std::string_view text);

// The first maxChars characters (not bytes) of UTF-8 text.
std::string CutToCharacters(std::string_view utf8, std::size_t maxChars);

// Compares as Windows compares names and INI keys: ASCII letters without
// regard to case.
bool EqualsNoCase(std::string_view a, std::string_view b);

} // namespace qw
