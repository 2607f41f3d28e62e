#include "engine/paths.h"

#include "lang/ini_file.h"

#include <vector>

namespace qw
{
namespace
{

bool IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

} // namespace

std::optional<std::string> CanonicalPath(std::string_view path)
{
    std::string text(path);
    for (char& c : text)
    {
        if (c == '/')
        {
            c = '\\';
        }
    }
    std::string_view rest = text;
    std::string_view root;
    bool unc = false;
    if (rest.starts_with("\\\\?\\UNC\\") || rest.starts_with("\\\\.\\UNC\\"))
    {
        rest.remove_prefix(8);
        root = "\\\\";
        unc = true;
    }
    else if (rest.starts_with("\\\\?\\") || rest.starts_with("\\\\.\\"))
    {
        rest.remove_prefix(4);
    }
    if (root.empty() && rest.size() >= 2 && IsLetter(rest[0]) && rest[1] == ':')
    {
        if (rest.size() == 2 || rest[2] != '\\')
        {
            return std::nullopt; // "C:", "C:file": relative to the drive's own folder
        }
        root = rest.substr(0, 3);
        rest.remove_prefix(2);
    }
    else if (root.empty() && rest.starts_with("\\\\"))
    {
        root = "\\\\";
        rest.remove_prefix(2);
        unc = true;
    }
    else if (root.empty() && rest.starts_with("\\"))
    {
        root = "\\";
    }
    else if (root.empty())
    {
        return std::nullopt;
    }

    std::vector<std::string_view> names;
    std::size_t fixed = 0; // server and share of a UNC path are never taken back
    while (!rest.empty())
    {
        std::size_t slash = rest.find('\\');
        std::string_view name = rest.substr(0, slash);
        rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
        if (unc && fixed < 2)
        {
            if (name.empty() || name == "." || name == "..")
            {
                return std::nullopt;
            }
            names.push_back(name);
            ++fixed;
            continue;
        }
        if (name.empty() || name == ".")
        {
            continue;
        }
        if (name == "..")
        {
            if (names.size() > fixed)
            {
                names.pop_back();
            }
            continue;
        }
        names.push_back(name);
    }
    if (unc && fixed < 2)
    {
        return std::nullopt;
    }
    std::string out(root);
    for (std::size_t i = 0; i < names.size(); ++i)
    {
        if (i > 0)
        {
            out += '\\';
        }
        out += names[i];
    }
    return out;
}

bool IsDriveRoot(std::string_view canonical)
{
    return canonical.size() == 3 && IsLetter(canonical[0]) && canonical[1] == ':' &&
           canonical[2] == '\\';
}

std::string ParentOf(std::string_view canonical)
{
    if (IsDriveRoot(canonical) || canonical == "\\")
    {
        return {};
    }
    std::size_t slash = canonical.rfind('\\');
    if (slash == std::string_view::npos)
    {
        return {};
    }
    // The parent of "C:\a" is the root "C:\", of "\a" the root "\".
    if (slash == 2 && canonical[1] == ':')
    {
        return std::string(canonical.substr(0, 3));
    }
    if (slash == 0)
    {
        return "\\";
    }
    return std::string(canonical.substr(0, slash));
}

std::string NameOf(std::string_view canonical)
{
    std::size_t slash = canonical.rfind('\\');
    return std::string(slash == std::string_view::npos ? canonical : canonical.substr(slash + 1));
}

bool SamePathNoCase(std::string_view a, std::string_view b)
{
    return EqualsNoCase(a, b);
}

} // namespace qw
