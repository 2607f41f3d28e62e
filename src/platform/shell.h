#pragma once

#include <optional>
#include <string>

namespace qw
{

class IShell
{
public:
    virtual ~IShell() = default;
    // The path parsed by the shell's desktop folder and turned back into a
    // file-system path; nothing when the shell cannot parse it.
    virtual std::optional<std::string> ParseDisplayPath(const std::string& path) = 0;
};

} // namespace qw
