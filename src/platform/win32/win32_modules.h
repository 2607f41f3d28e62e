#pragma once

#include "platform/modules.h"

namespace qw
{

class CWin32ModuleLoader : public IModuleLoader
{
public:
    std::unique_ptr<ILoadedModule> Load(const std::string& name) override;
};

} // namespace qw
