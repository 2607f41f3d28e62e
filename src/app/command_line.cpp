#include "app/command_line.h"

#include <climits>

namespace qw
{

bool SplitCommandLine(std::string_view line, const std::function<bool(std::string_view)>& handler)
{
    if (line.find('"') != std::string_view::npos)
    {
        std::size_t pos = 0;
        while (true)
        {
            std::size_t open = line.find('"', pos);
            if (open == std::string_view::npos || open + 1 >= line.size())
            {
                return true;
            }
            std::size_t close = line.find('"', open + 1);
            if (close == std::string_view::npos)
            {
                return handler(line.substr(open + 1));
            }
            if (!handler(line.substr(open + 1, close - open - 1)))
            {
                return false;
            }
            pos = close + 1;
        }
    }
    std::size_t pos = 0;
    while (true)
    {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
        {
            ++pos;
        }
        if (pos >= line.size())
        {
            return true;
        }
        std::size_t end = line.find_first_of(" \t", pos);
        if (end == std::string_view::npos)
        {
            end = line.size();
        }
        if (!handler(line.substr(pos, end - pos)))
        {
            return false;
        }
        pos = end;
    }
}

int ParseLeadingInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
        {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (negative)
    {
        value = -value;
    }
    if (value > INT_MAX)
    {
        return INT_MAX;
    }
    if (value < INT_MIN)
    {
        return INT_MIN;
    }
    return static_cast<int>(value);
}

} // namespace qw

namespace qw
{
namespace
{

char FoldCase(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EndsWithNoCase(std::string_view text, std::string_view tail)
{
    if (tail.size() > text.size())
    {
        return false;
    }
    text.remove_prefix(text.size() - tail.size());
    for (std::size_t i = 0; i < tail.size(); ++i)
    {
        if (FoldCase(text[i]) != FoldCase(tail[i]))
        {
            return false;
        }
    }
    return true;
}

// True when `word` names the program: its full path, or a path or bare name
// ending in the program's file name, with or without ".exe".
bool NamesProgram(std::string_view word, std::string_view programPath)
{
    std::size_t slash = programPath.find_last_of("\\/");
    std::string_view file =
        slash == std::string_view::npos ? programPath : programPath.substr(slash + 1);
    std::string_view stem = file;
    if (EndsWithNoCase(stem, ".exe"))
    {
        stem.remove_suffix(4);
    }
    std::size_t wordSlash = word.find_last_of("\\/");
    std::string_view wordFile =
        wordSlash == std::string_view::npos ? word : word.substr(wordSlash + 1);
    return !file.empty() && ((wordFile.size() == file.size() && EndsWithNoCase(wordFile, file)) ||
                             (wordFile.size() == stem.size() && EndsWithNoCase(wordFile, stem)));
}

} // namespace

std::string_view ArgumentsAfterProgramName(std::string_view commandLine,
                                           std::string_view programPath)
{
    std::string_view line = commandLine;
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
    {
        line.remove_prefix(1);
    }
    std::string_view word;
    std::size_t end;
    if (!line.empty() && line.front() == '"')
    {
        std::size_t close = line.find('"', 1);
        word = line.substr(1, close == std::string_view::npos ? line.npos : close - 1);
        end = close == std::string_view::npos ? line.size() : close + 1;
    }
    else
    {
        end = line.find_first_of(" \t");
        if (end == std::string_view::npos)
        {
            end = line.size();
        }
        word = line.substr(0, end);
    }
    if (!NamesProgram(word, programPath))
    {
        return line;
    }
    line.remove_prefix(end);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
    {
        line.remove_prefix(1);
    }
    return line;
}

} // namespace qw
