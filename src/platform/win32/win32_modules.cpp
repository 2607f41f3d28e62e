#include "platform/win32/win32_modules.h"

#include "platform/win32/wide.h"

#include <windows.h>

#include <shlwapi.h>

namespace qw
{
namespace
{

class CWin32Module : public ILoadedModule
{
public:
    explicit CWin32Module(HMODULE module) : m_module(module) {}
    ~CWin32Module() override { FreeLibrary(m_module); }
    CWin32Module(const CWin32Module&) = delete;
    CWin32Module& operator=(const CWin32Module&) = delete;

    bool HasExport(const std::string& name) override
    {
        return GetProcAddress(m_module, name.c_str()) != nullptr;
    }

    std::optional<ModuleVersion> DllVersion() override
    {
        auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "DllGetVersion")));
        if (!getVersion)
        {
            return std::nullopt;
        }
        DLLVERSIONINFO info{};
        info.cbSize = sizeof info;
        if (FAILED(getVersion(&info)))
        {
            return std::nullopt;
        }
        return ModuleVersion{info.dwMajorVersion, info.dwMinorVersion};
    }

private:
    HMODULE m_module;
};

} // namespace

std::unique_ptr<ILoadedModule> CWin32ModuleLoader::Load(const std::string& name)
{
    HMODULE module = LoadLibraryW(Utf8ToWide(name).c_str());
    if (!module)
    {
        return nullptr;
    }
    return std::make_unique<CWin32Module>(module);
}

} // namespace qw
