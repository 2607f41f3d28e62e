#include "platform/posix/posix_settings_store.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <strings.h>
#include <vector>

namespace qw
{
namespace
{

constexpr std::string_view kIntTag = "dword:";
constexpr std::string_view kTextTag = "sz:";

std::string Escape(std::string_view text)
{
    std::string out;
    for (char c : text)
    {
        if (c == '\\')
        {
            out += "\\\\";
        }
        else if (c == '\n')
        {
            out += "\\n";
        }
        else if (c == '\r')
        {
            out += "\\r";
        }
        else
        {
            out += c;
        }
    }
    return out;
}

std::string Unescape(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '\\' && i + 1 < text.size())
        {
            char next = text[++i];
            out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
        }
        else
        {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line))
    {
        lines.push_back(line);
    }
    return lines;
}

bool NameMatches(const std::string& line, std::string_view name)
{
    return line.size() > name.size() && line[name.size()] == '=' &&
           strncasecmp(line.data(), std::string(name).c_str(), name.size()) == 0;
}

} // namespace

std::string CPosixSettingsStore::DefaultPath(std::string_view company, std::string_view profile)
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    {
        base = xdg;
    }
    else if (const char* home = std::getenv("HOME"); home && *home)
    {
        base = std::string(home) + "/.config";
    }
    else
    {
        base = ".";
    }
    return base + "/" + std::string(company) + "/" + std::string(profile) + ".conf";
}

bool CPosixSettingsStore::Find(std::string_view name, std::string& typedValue) const
{
    for (const std::string& line : ReadLines(m_filePath))
    {
        if (NameMatches(line, name))
        {
            typedValue = line.substr(name.size() + 1);
            return true;
        }
    }
    return false;
}

bool CPosixSettingsStore::Store(std::string_view name, const std::string& typedValue)
{
    std::vector<std::string> lines = ReadLines(m_filePath);
    std::string entry = std::string(name) + "=" + typedValue;
    bool replaced = false;
    for (std::string& line : lines)
    {
        if (NameMatches(line, name))
        {
            line = entry;
            replaced = true;
            break;
        }
    }
    if (!replaced)
    {
        lines.push_back(entry);
    }
    // Written beside and renamed over, so a reader never sees half a file.
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(m_filePath).parent_path(), ec);
    std::string temp = m_filePath + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        for (const std::string& line : lines)
        {
            out << line << '\n';
        }
        if (!out.flush())
        {
            return false;
        }
    }
    std::filesystem::rename(temp, m_filePath, ec);
    return !ec;
}

int CPosixSettingsStore::ReadInt(std::string_view name, int defaultValue)
{
    std::string typed;
    if (!Find(name, typed) || typed.compare(0, kIntTag.size(), kIntTag) != 0)
    {
        return defaultValue;
    }
    std::string digits = typed.substr(kIntTag.size());
    if (digits.empty() || digits.find_first_not_of("-0123456789") != std::string::npos)
    {
        return defaultValue;
    }
    return static_cast<int>(std::strtoll(digits.c_str(), nullptr, 10));
}

std::string CPosixSettingsStore::ReadText(std::string_view name, std::string_view defaultValue)
{
    std::string typed;
    if (!Find(name, typed) || typed.compare(0, kTextTag.size(), kTextTag) != 0)
    {
        return std::string(defaultValue);
    }
    return Unescape(std::string_view(typed).substr(kTextTag.size()));
}

bool CPosixSettingsStore::WriteInt(std::string_view name, int value)
{
    return Store(name, std::string(kIntTag) + std::to_string(value));
}

bool CPosixSettingsStore::WriteText(std::string_view name, std::string_view value)
{
    return Store(name, std::string(kTextTag) + Escape(value));
}

} // namespace qw
