#include "shellext/extension_logic.h"

#include <algorithm>

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

std::string LaunchCommandLine(std::string_view program, std::string_view arguments)
{
    return "\"" + std::string(program) + "\" " + std::string(arguments);
}

LaunchPlan PlanLaunches(std::string_view program, const std::vector<std::string>& paths,
                        std::size_t lineLimit)
{
    LaunchPlan plan;
    const std::size_t fixed = Utf16Length(program) + 2; // the quoted program
    std::vector<std::string> chunk;
    std::size_t length = fixed;
    for (const std::string& path : paths)
    {
        // A blank and the quoted path.
        const std::size_t added = Utf16Length(path) + 3;
        if (fixed + added > lineLimit)
        {
            plan.launches.clear();
            plan.tooLong = path;
            return plan;
        }
        if (length + added > lineLimit)
        {
            plan.launches.push_back(std::move(chunk));
            chunk.clear();
            length = fixed;
        }
        chunk.push_back(path);
        length += added;
    }
    if (!chunk.empty())
    {
        plan.launches.push_back(std::move(chunk));
    }
    return plan;
}

bool OffersMenuItem(unsigned flags)
{
    return (flags & (kMenuDefaultOnly | kMenuVerbsOnly)) == 0;
}

CommandStringRequest ClassifyCommandString(std::size_t command, unsigned type)
{
    // Only our one item has strings: a caller validating another offset
    // must learn that it is not ours.
    if (command != 0)
    {
        return {CommandStringKind::NotOurs, false};
    }
    const bool wide = (type & kCommandUnicode) != 0;
    switch (type & ~kCommandUnicode)
    {
    case kCommandVerbA:
        return {CommandStringKind::Verb, wide};
    case kCommandHelpTextA:
        return {CommandStringKind::HelpText, wide};
    case kCommandValidateA:
        return {CommandStringKind::Valid, wide};
    default:
        return {CommandStringKind::NotImplemented, wide};
    }
}

std::optional<std::size_t> FittedUnits(std::u16string_view text, std::size_t room, bool mayCut)
{
    if (room == 0)
    {
        return std::nullopt;
    }
    if (text.size() < room)
    {
        return text.size();
    }
    if (!mayCut)
    {
        return std::nullopt;
    }
    std::size_t units = room - 1;
    if (units > 0 && text[units - 1] >= 0xD800 && text[units - 1] <= 0xDBFF)
    {
        --units;
    }
    return units;
}

CommandMatch MatchCommand(const std::vector<VerbField>& fields)
{
    auto lower = [](std::string text)
    {
        for (char& c : text)
        {
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
        return text;
    };
    CommandMatch match = CommandMatch::Ours;
    for (const VerbField& field : fields)
    {
        if (field.isText && lower(field.text) != kVerbName)
        {
            return CommandMatch::ForeignVerb;
        }
        if (!field.isText && field.offset != 0)
        {
            match = CommandMatch::ForeignOffset;
        }
    }
    return match;
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

namespace
{

// The key and each of its parents, outermost first.
std::vector<std::string> KeyChain(const std::string& key)
{
    std::vector<std::string> chain;
    for (std::size_t at = key.find('\\'); at != std::string::npos; at = key.find('\\', at + 1))
    {
        chain.push_back(key.substr(0, at));
    }
    chain.push_back(key);
    return chain;
}

} // namespace

bool RegisterExtension(IRegistryWriter& registry, std::string_view clsid,
                       std::string_view libraryPath, bool ntFamily)
{
    struct Written
    {
        const RegistryRow* row;
        std::optional<SavedValue> before;
    };
    const std::vector<RegistryRow> rows = RegistrationRows(clsid, libraryPath, ntFamily);
    std::vector<Written> written;
    std::vector<std::pair<RegistryRoot, std::string>> created; // outermost first
    for (const RegistryRow& row : rows)
    {
        for (const std::string& key : KeyChain(row.key))
        {
            std::pair<RegistryRoot, std::string> entry{row.root, key};
            if (std::find(created.begin(), created.end(), entry) == created.end() &&
                !registry.KeyExists(row.root, key))
            {
                created.push_back(std::move(entry));
            }
        }
        written.push_back({&row, registry.SaveValue(row.root, row.key, row.valueName)});
        if (registry.SetString(row))
        {
            continue;
        }
        // Undone newest first; a key created here holds only what we wrote.
        for (auto it = written.rbegin(); it != written.rend(); ++it)
        {
            const RegistryRow& done = *it->row;
            if (it->before)
            {
                registry.RestoreValue(done.root, done.key, done.valueName, *it->before);
            }
            else
            {
                registry.DeleteValue(done.root, done.key, done.valueName);
            }
        }
        for (auto it = created.rbegin(); it != created.rend(); ++it)
        {
            registry.DeleteKey(it->first, it->second);
        }
        return false;
    }
    return true;
}

std::vector<std::string> UnregisterExtension(IRegistryWriter& registry, std::string_view clsid,
                                             bool ntFamily)
{
    std::vector<std::string> left;
    // The server key first: a key with subkeys cannot be deleted.
    for (const std::string& key :
         {ServerKey(clsid), ClassKey(clsid), HandlerKey("*"), HandlerKey("Folder")})
    {
        if (registry.DeleteKey(RegistryRoot::ClassesRoot, key) == Removal::Failed)
        {
            left.push_back(key);
        }
    }
    if (ntFamily && registry.DeleteValue(RegistryRoot::LocalMachine, std::string(kApprovedKey),
                                         std::string(clsid)) == Removal::Failed)
    {
        left.push_back(std::string(kApprovedKey) + "\\" + std::string(clsid));
    }
    return left;
}

} // namespace qw
