#pragma once

#include <memory>
#include <optional>
#include <string>

namespace qw
{

struct ModuleVersion
{
    unsigned major = 0;
    unsigned minor = 0;
};

// A loaded library; unloaded when destroyed.
class ILoadedModule
{
public:
    virtual ~ILoadedModule() = default;
    virtual bool HasExport(const std::string& name) = 0;
    // The version the library reports through its DllGetVersion export.
    virtual std::optional<ModuleVersion> DllVersion() = 0;
};

class IModuleLoader
{
public:
    virtual ~IModuleLoader() = default;
    // Null when the library cannot be loaded.
    virtual std::unique_ptr<ILoadedModule> Load(const std::string& name) = 0;
};

} // namespace qw
