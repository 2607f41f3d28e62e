#include "app/command_line.h"

#include "engine/paths.h"
#include "lang/ini_file.h"

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

bool EndsWithNoCase(std::string_view text, std::string_view tail)
{
    return tail.size() <= text.size() && EqualsNoCase(text.substr(text.size() - tail.size()), tail);
}

// The program's file name, and without ".exe".
std::pair<std::string_view, std::string_view> ProgramNames(std::string_view programPath)
{
    std::size_t slash = programPath.find_last_of("\\/");
    std::string_view file =
        slash == std::string_view::npos ? programPath : programPath.substr(slash + 1);
    std::string_view stem = file;
    if (EndsWithNoCase(stem, ".exe"))
    {
        stem.remove_suffix(4);
    }
    return {file, stem};
}

// True when `word` is the program: as a path, the module's own full path
// (relative ones are read from the current folder); as a bare name, its file
// name, as a shell searching the path would start it.
bool NamesProgram(std::string_view word, std::string_view programPath,
                  std::string_view currentFolder)
{
    if (word.empty())
    {
        return false;
    }
    if (word.find_first_of("\\/") == std::string_view::npos &&
        word.find(':') == std::string_view::npos)
    {
        auto [file, stem] = ProgramNames(programPath);
        return !file.empty() && (SamePathNoCase(word, file) || SamePathNoCase(word, stem));
    }
    std::string absolute(word);
    if (!CanonicalPath(absolute) && !currentFolder.empty())
    {
        absolute = std::string(currentFolder) + "\\" + absolute;
    }
    std::optional<std::string> canonical = CanonicalPath(absolute);
    std::optional<std::string> program = CanonicalPath(programPath);
    if (!canonical || !program)
    {
        return false;
    }
    if (SamePathNoCase(*canonical, *program))
    {
        return true;
    }
    // Started without its extension: "C:\Tools\Quellwipe".
    return EndsWithNoCase(*program, ".exe") &&
           SamePathNoCase(*canonical, std::string_view(*program).substr(0, program->size() - 4));
}

} // namespace

std::string_view ArgumentsAfterProgramName(std::string_view commandLine,
                                           std::string_view programPath,
                                           std::string_view currentFolder)
{
    auto skipBlanks = [](std::string_view& text)
    {
        while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        {
            text.remove_prefix(1);
        }
    };
    std::string_view line = commandLine;
    skipBlanks(line);
    std::size_t end = 0;
    if (!line.empty() && line.front() == '"')
    {
        std::size_t close = line.find('"', 1);
        std::string_view word =
            line.substr(1, close == std::string_view::npos ? line.npos : close - 1);
        end = NamesProgram(word, programPath, currentFolder)
                  ? (close == std::string_view::npos ? line.size() : close + 1)
                  : 0;
    }
    else
    {
        // Unquoted, the program's path may hold blanks: the line starts with
        // the whole of it, or the first word is the program by itself.
        std::size_t blank = line.find_first_of(" \t");
        std::size_t wordEnd = blank == std::string_view::npos ? line.size() : blank;
        for (std::size_t at = 0; at <= line.size(); ++at)
        {
            if ((at == line.size() || line[at] == ' ' || line[at] == '\t') && at >= wordEnd &&
                NamesProgram(line.substr(0, at), programPath, currentFolder))
            {
                end = at;
                break;
            }
        }
    }
    line.remove_prefix(end);
    if (end > 0)
    {
        skipBlanks(line);
    }
    return line;
}

} // namespace qw
