#include "shellext/extension_logic.h"

namespace qw
{
namespace
{

constexpr std::string_view kApprovedKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

std::string ClassKey(std::string_view clsid)
{
    return "CLSID\\" + std::string(clsid);
}

std::string ServerKey(std::string_view clsid)
{
    return ClassKey(clsid) + "\\InProcServer32";
}

std::string HandlerKey(std::string_view type)
{
    return std::string(type) + "\\shellex\\ContextMenuHandlers\\" + std::string(kHandlerName);
}

} // namespace

std::string LaunchArguments(const std::vector<std::string>& paths)
{
    std::string text;
    for (const std::string& path : paths)
    {
        if (!text.empty())
        {
            text += ' ';
        }
        text += '"';
        text += path;
        text += '"';
    }
    return text;
}

std::string MenuLanguage(std::string_view stored)
{
    std::string language(stored);
    if (std::size_t at = language.find(".ini"); at != std::string::npos)
    {
        language.erase(at, 4);
    }
    return language.empty() ? "English" : language;
}

std::optional<ProgramToStart> ChooseProgram(std::string_view appPath, std::string_view moduleFolder,
                                            const std::function<bool(const std::string&)>& isFile)
{
    std::string folder(appPath.empty() ? moduleFolder : appPath);
    while (folder.size() > 1 && folder.back() == '\\' && folder[folder.size() - 2] != ':')
    {
        folder.pop_back();
    }
    if (folder.empty())
    {
        return std::nullopt;
    }
    std::string program = folder + (folder.back() == '\\' ? "" : "\\") + "Quellwipe.exe";
    if (!isFile(program))
    {
        return std::nullopt;
    }
    return ProgramToStart{program, folder};
}

std::vector<RegistryRow> RegistrationRows(std::string_view clsid, std::string_view libraryPath,
                                          bool ntFamily)
{
    const RegistryRoot classes = RegistryRoot::ClassesRoot;
    std::vector<RegistryRow> rows{
        {classes, ClassKey(clsid), "", std::string(kHandlerName)},
        {classes, ServerKey(clsid), "", std::string(libraryPath)},
        {classes, ServerKey(clsid), "ThreadingModel", "Apartment"},
        {classes, HandlerKey("*"), "", std::string(clsid)},
        {classes, HandlerKey("Folder"), "", std::string(clsid)},
    };
    if (ntFamily)
    {
        rows.push_back({RegistryRoot::LocalMachine, std::string(kApprovedKey), std::string(clsid),
                        std::string(kHandlerName)});
    }
    return rows;
}

bool RegisterExtension(IRegistryWriter& registry, std::string_view clsid,
                       std::string_view libraryPath, bool ntFamily)
{
    for (const RegistryRow& row : RegistrationRows(clsid, libraryPath, ntFamily))
    {
        if (!registry.SetString(row))
        {
            return false;
        }
    }
    return true;
}

bool UnregisterExtension(IRegistryWriter& registry, std::string_view clsid, bool ntFamily)
{
    // The server key first: a key with subkeys cannot be deleted.
    for (const std::string& key :
         {ServerKey(clsid), ClassKey(clsid), HandlerKey("*"), HandlerKey("Folder")})
    {
        if (!registry.DeleteKey(RegistryRoot::ClassesRoot, key))
        {
            return false;
        }
    }
    if (ntFamily)
    {
        registry.DeleteValue(RegistryRoot::LocalMachine, std::string(kApprovedKey),
                             std::string(clsid));
    }
    return true;
}

} // namespace qw
