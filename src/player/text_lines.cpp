#include "player/text_lines.h"

#include <charconv>
#include <cstdint>

namespace qw
{

std::string FormatDiagnostic(const Diagnostic& diagnostic)
{
    return diagnostic.file + ":" + std::to_string(diagnostic.line) + ": " + diagnostic.message;
}

namespace
{

// Length of the UTF-8 sequence starting at `text[i]`, or 0 when it is not one
// (overlong forms, surrogates and values above U+10FFFF included).
std::size_t Utf8Length(std::string_view text, std::size_t i)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char first = byte(0);
    if (first < 0x80)
    {
        return 1;
    }
    std::size_t length = 0;
    std::uint32_t value = 0;
    if (first >= 0xC2 && first <= 0xDF)
    {
        length = 2;
        value = first & 0x1F;
    }
    else if (first >= 0xE0 && first <= 0xEF)
    {
        length = 3;
        value = first & 0x0F;
    }
    else if (first >= 0xF0 && first <= 0xF4)
    {
        length = 4;
        value = first & 0x07;
    }
    else
    {
        return 0;
    }
    if (i + length > text.size())
    {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k)
    {
        if ((byte(k) & 0xC0) != 0x80)
        {
            return 0;
        }
        value = (value << 6) | (byte(k) & 0x3F);
    }
    const bool overlong = (length == 3 && value < 0x800) || (length == 4 && value < 0x10000);
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    return overlong || surrogate || value > 0x10FFFF ? 0 : length;
}

bool IsSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// Reads one quoted word starting after its opening quote; false when the
// line ends first.
bool ReadQuoted(std::string_view line, std::size_t& i, std::string& out)
{
    while (i < line.size())
    {
        const char c = line[i++];
        if (c == '"')
        {
            return true;
        }
        if (c == '\\' && i < line.size())
        {
            const char next = line[i++];
            out += next == 'n' ? '\n' : next;
            continue;
        }
        out += c;
    }
    return false;
}

void Report(Diagnostics& diagnostics, const std::string& file, int line, std::string message)
{
    diagnostics.push_back({file, line, std::move(message)});
}

std::optional<Line> Tokenize(std::string_view text, int number, const std::string& file,
                             Diagnostics& diagnostics)
{
    Line line;
    line.number = number;
    std::size_t i = 0;
    while (i < text.size())
    {
        while (i < text.size() && IsSpace(text[i]))
        {
            ++i;
        }
        if (i == text.size() || text[i] == '#')
        {
            break;
        }
        Word word;
        bool closed = true;
        while (i < text.size() && !IsSpace(text[i]))
        {
            const char c = text[i++];
            if (c == '"')
            {
                closed = ReadQuoted(text, i, word.value);
            }
            else if (c == '=' && !word.attribute && word.name.empty())
            {
                word.attribute = true;
                word.name = std::move(word.value);
                word.value.clear();
            }
            else
            {
                word.value += c;
            }
        }
        if (!closed)
        {
            Report(diagnostics, file, number, "a quoted text is not closed");
            return std::nullopt;
        }
        if (word.attribute && word.name.empty())
        {
            Report(diagnostics, file, number, "an attribute has no name before \"=\"");
            return std::nullopt;
        }
        line.words.push_back(std::move(word));
    }
    if (line.words.empty())
    {
        return std::nullopt;
    }
    return line;
}

} // namespace

std::vector<Line> SplitLines(std::string_view text, const std::string& file,
                             Diagnostics& diagnostics)
{
    std::vector<Line> lines;
    if (text.size() > kMaxFileBytes)
    {
        Report(diagnostics, file, 0,
               "the file is larger than " + std::to_string(kMaxFileBytes) + " bytes");
        return lines;
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
    {
        text.remove_prefix(3);
    }
    int number = 0;
    while (!text.empty())
    {
        ++number;
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (raw.size() > kMaxLineBytes)
        {
            Report(diagnostics, file, number,
                   "the line is longer than " + std::to_string(kMaxLineBytes) + " bytes");
            continue;
        }
        bool valid = true;
        for (std::size_t i = 0; i < raw.size();)
        {
            const std::size_t length = Utf8Length(raw, i);
            if (length == 0 || raw[i] == '\0')
            {
                valid = false;
                break;
            }
            i += length;
        }
        if (!valid)
        {
            Report(diagnostics, file, number, "the line is not UTF-8 text");
            continue;
        }
        if (auto line = Tokenize(raw, number, file, diagnostics))
        {
            lines.push_back(std::move(*line));
        }
    }
    return lines;
}

std::optional<int> ParseInt(std::string_view text, int low, int high)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
    {
        return std::nullopt;
    }
    return value;
}

bool SameNoCase(std::string_view a, std::string_view b)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    if (a.size() != b.size())
    {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (lower(a[i]) != lower(b[i]))
        {
            return false;
        }
    }
    return true;
}

} // namespace qw
