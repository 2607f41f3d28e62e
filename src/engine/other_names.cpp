#include "engine/other_names.h"

#include "engine/paths.h"
#include "engine/shred_host.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"

#include <memory>
#include <string>
#include <vector>

namespace qw
{
namespace
{

constexpr int kKeyOtherNames = 9079;
// More names than fit a message window are counted, not listed.
constexpr std::size_t kListedNames = 10;

bool StartsWithNoCase(std::string_view text, std::string_view start)
{
    return text.size() >= start.size() && SamePathNoCase(text.substr(0, start.size()), start);
}

std::string WithSeparator(std::string folder)
{
    if (folder.empty() || folder.back() != '\\')
    {
        folder += '\\';
    }
    return folder;
}

// Whether the run shreds `path`: it is a target, or lies in a folder target
// (in its subfolders only when they are always shredded). A drive root is
// no folder target (its free space is wiped), and a folder walk never
// enters a protected folder.
bool InsideRun(const ShredOptions& options, const std::string& path)
{
    for (const std::string& target : options.runTargets)
    {
        if (SamePathNoCase(path, target))
        {
            return true;
        }
    }
    for (const std::string& protectedFolder : options.protectedFolders)
    {
        if (!protectedFolder.empty() && StartsWithNoCase(path, WithSeparator(protectedFolder)))
        {
            return false;
        }
    }
    for (const std::string& target : options.runTargets)
    {
        const std::string folder = WithSeparator(target);
        if (!IsDriveRoot(target) && StartsWithNoCase(path, folder) &&
            (options.folderRule == 2 || path.find('\\', folder.size()) == std::string::npos))
        {
            return true;
        }
    }
    return false;
}

} // namespace

bool OtherNamesInRun(IShredHost& host, IEntry& file, std::vector<std::string>& names)
{
    const std::uint32_t count = file.Status().linkCount;
    names.clear();
    if (count <= 1)
    {
        return true;
    }
    IFileSystem& files = host.Files();
    const std::string own = file.Path();
    names = files.OtherNames(file);
    if (names.size() + 1 >= count)
    {
        for (const std::string& name : names)
        {
            if (!InsideRun(host.Options(), name))
            {
                return false;
            }
        }
        return true;
    }
    // Not listable (wine 8.0, POSIX): the files the run names that are this
    // very file under another name. Each name is counted once, whatever
    // case it was given in.
    names.clear();
    for (const std::string& target : host.Options().runTargets)
    {
        bool known = SamePathNoCase(target, own);
        for (const std::string& name : names)
        {
            known = known || SamePathNoCase(target, name);
        }
        OsError error;
        std::unique_ptr<IEntry> other = known ? nullptr : files.Open(target, error);
        if (other && !other->Status().isFolder && !other->Status().isLink &&
            other->Status().identity == file.Status().identity)
        {
            names.push_back(target);
        }
    }
    if (names.size() + 1 >= count)
    {
        return true;
    }
    // Those found lie inside; the others, outside, cannot be named.
    names.clear();
    return false;
}

void ReportOtherNamesKept(IShredHost& host, IEntry& file, const std::vector<std::string>& names)
{
    const std::uint32_t count = file.Status().linkCount;
    std::string list;
    for (std::size_t i = 0; i < names.size() && i < kListedNames; ++i)
    {
        list += "#" + names[i];
    }
    if (names.size() > kListedNames)
    {
        list += "#...";
    }
    host.Tell(EngineMessage::Naming(
        MessageSize::Middle,
        Substitute(host.Text(kKeyOtherNames),
                   {{"%u", std::to_string(count > 0 ? count - 1 : 0)}, {"%t", list}}),
        file.Path())
                  .Because(LeftReason::OtherNames));
}

} // namespace qw
