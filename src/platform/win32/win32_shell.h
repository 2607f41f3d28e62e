#pragma once

#include "platform/shell.h"

namespace qw
{

class CWin32Shell : public IShell
{
public:
    std::optional<std::string> ParseDisplayPath(const std::string& path) override;
    std::unique_ptr<IRecycleBinFunctions> LoadRecycleBin(BinShell& state) override;
    std::vector<std::string> ShellBinFolders() override;
};

} // namespace qw
