#include "lang/ini_file.h"

#include "platform/text_codec.h"

#include <cstdint>

namespace qw
{
namespace
{

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
    {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back()))
    {
        s.remove_suffix(1);
    }
    return s;
}

std::string_view Unquote(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
    {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

} // namespace

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
    {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (FoldAscii(a[i]) != FoldAscii(b[i]))
        {
            return false;
        }
    }
    return true;
}

namespace
{

// Walks the first section named `section`; with a key, to its value. Tells
// through `seen` whether that section was there at all.
std::optional<std::string> ScanSection(std::string_view text, std::string_view section,
                                       std::optional<std::string_view> key, bool& seen)
{
    seen = false;
    bool inSection = false;
    std::size_t pos = 0;
    while (pos <= text.size())
    {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
        {
            end = text.size();
        }
        std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;

        if (!line.empty() && line.front() == '[')
        {
            if (inSection)
            {
                return std::nullopt; // only the first section of that name counts
            }
            std::size_t close = line.find(']');
            std::string_view name =
                Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1));
            inSection = !seen && EqualsNoCase(name, section);
            seen = seen || inSection;
            if (seen && !key)
            {
                return std::nullopt;
            }
            continue;
        }
        if (!inSection || line.empty() || line.front() == ';')
        {
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string_view::npos)
        {
            continue;
        }
        if (EqualsNoCase(Trim(line.substr(0, eq)), *key))
        {
            return std::string(Unquote(Trim(line.substr(eq + 1))));
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> FindIniValue(std::string_view text, std::string_view section,
                                        std::string_view key)
{
    bool seen = false;
    return ScanSection(text, section, key, seen);
}

bool HasIniSection(std::string_view text, std::string_view section)
{
    bool seen = false;
    ScanSection(text, section, std::nullopt, seen);
    return seen;
}

bool IsValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size())
    {
        auto c = static_cast<unsigned char>(text[i]);
        std::size_t extra = 0;
        std::uint32_t min = 0;
        if (c < 0x80)
        {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0)
        {
            extra = 1;
            min = 0x80;
        }
        else if ((c & 0xF0) == 0xE0)
        {
            extra = 2;
            min = 0x800;
        }
        else if ((c & 0xF8) == 0xF0)
        {
            extra = 3;
            min = 0x10000;
        }
        else
        {
            return false;
        }
        if (i + extra >= text.size())
        {
            return false;
        }
        std::uint32_t cp = c & (0x3F >> extra);
        for (std::size_t k = 1; k <= extra; ++k)
        {
            auto cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
            {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

std::string DecodeTextFile(std::string_view bytes, ITextCodec& codec)
{
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (bytes.substr(0, kBom.size()) == kBom)
    {
        bytes.remove_prefix(kBom.size());
        return std::string(bytes);
    }
    if (IsValidUtf8(bytes))
    {
        return std::string(bytes);
    }
    return codec.AnsiToUtf8(bytes);
}

std::string CutToCharacters(std::string_view utf8, std::size_t maxChars)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i)
    {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80)
        {
            if (chars == maxChars)
            {
                return std::string(utf8.substr(0, i));
            }
            ++chars;
        }
    }
    return std::string(utf8);
}

} // namespace qw
