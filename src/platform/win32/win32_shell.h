#pragma once

#include "platform/shell.h"

namespace qw
{

class CWin32Shell : public IShell
{
public:
    std::optional<std::string> ParseDisplayPath(const std::string& path) override;
};

} // namespace qw
