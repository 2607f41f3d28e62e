#include "engine/folder_shredder.h"

#include "engine/paths.h"
#include "engine/shred_host.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"

#include <memory>
#include <vector>

namespace qw
{
namespace
{

constexpr int kKeyCannotList = 9011;
constexpr int kKeyProtected = 9039;
constexpr int kKeySystemFolder = 9040;
constexpr int kKeyAskSubfolder = 9041;
constexpr int kKeyAskRemove = 9042;
constexpr int kKeyNotRemoved = 9043;
constexpr int kKeyNotRemovedDetail = 9044;

std::string Ask(IShredHost& host, int key, const std::string& insert, Unattended whenUnattended)
{
    return host.Tell({MessageSize::Small, 3, "info", host.Text(key), insert, whenUnattended});
}

void Report(IShredHost& host, int key, const std::string& insert)
{
    host.Tell({MessageSize::Small, 1, "info", host.Text(key), insert});
}

// One folder run: its rules, read once, and who the protected folders are.
struct FolderRun
{
    IShredHost& host;
    int subfolderRule;
    int removeRule;
};

// What becomes of a subfolder (or a link to a folder) after its visit.
enum class RemoveOutcome
{
    Kept,
    Removed,
    Stop,
};

RemoveOutcome RemoveByRule(FolderRun& run, IEntry& folder, const std::string& name, bool isLink,
                           ShredMode mode)
{
    IShredHost& host = run.host;
    const std::string path = JoinPath(folder.Path(), name);
    if (mode == ShredMode::BinEntry)
    {
        return RemoveOutcome::Kept;
    }
    if (mode == ShredMode::Normal)
    {
        if (run.removeRule == 0)
        {
            return RemoveOutcome::Kept;
        }
        if (run.removeRule == 1)
        {
            std::string answer = Ask(host, kKeyAskRemove, path, Unattended::Show);
            if (answer == kAnswerNo)
            {
                return RemoveOutcome::Kept;
            }
            if (answer != kAnswerYes)
            {
                return RemoveOutcome::Stop;
            }
        }
        else if (run.removeRule != 2)
        {
            return RemoveOutcome::Kept;
        }
    }
    OsError error;
    bool removed =
        host.Files().RemoveIn(folder, name, isLink ? RemoveKind::Link : RemoveKind::Folder, error);
    if (!removed && mode == ShredMode::Normal)
    {
        ReportFolderNotRemoved(host, path, error);
    }
    return removed ? RemoveOutcome::Removed : RemoveOutcome::Kept;
}

int ShredOpenFolder(FolderRun& run, IEntry& folder, bool systemFlag, ShredMode mode)
{
    IShredHost& host = run.host;
    IFileSystem& files = host.Files();
    const std::string& path = folder.Path();
    if (mode == ShredMode::Normal)
    {
        std::string which;
        if (IsProtectedFolder(host, folder, which))
        {
            Report(host, kKeyProtected, which);
            return 0;
        }
        if (systemFlag)
        {
            std::string answer = Ask(host, kKeySystemFolder, path, Unattended::AnswerYes);
            if (answer == kAnswerNo)
            {
                return 1;
            }
            if (answer != kAnswerYes)
            {
                return 0;
            }
        }
    }

    std::vector<FolderEntry> entries;
    OsError error;
    if (folder.Status().isLink || !files.List(folder, entries, error))
    {
        Report(host, kKeyCannotList, path);
        return 1;
    }

    const ShredMode childMode =
        mode == ShredMode::Normal ? ShredMode::Normal : ShredMode::BinSubtree;
    int stop = 0;
    for (const FolderEntry& listed : entries)
    {
        if (host.Cancelled() || stop)
        {
            break;
        }
        // The listing only says what to look at: what an entry is, is
        // decided on the handle opened now, where it lies.
        std::unique_ptr<IEntry> child =
            listed.status.isFolder ? files.OpenIn(folder, listed.name, error) : nullptr;
        if (!child || !child->Status().isFolder)
        {
            child.reset();
            if (ShredFileIn(host, folder, listed.name, childMode) != 0 || host.Cancelled())
            {
                stop = 1;
            }
            continue;
        }
        const std::string childPath = child->Path();
        const bool isLink = child->Status().isLink;
        if (mode == ShredMode::Normal)
        {
            if (run.subfolderRule == 0)
            {
                continue;
            }
            if (run.subfolderRule == 1)
            {
                std::string answer = Ask(host, kKeyAskSubfolder, childPath, Unattended::Show);
                if (answer == kAnswerNo)
                {
                    continue;
                }
                if (answer != kAnswerYes)
                {
                    stop = 1;
                    continue;
                }
            }
        }
        // A link to a folder is never entered: only the link itself may go.
        if (!isLink && ShredOpenFolder(run, *child, child->Status().system, childMode) != 0)
        {
            stop = 1;
            break;
        }
        // An open folder cannot be removed.
        child.reset();
        if (RemoveByRule(run, folder, listed.name, isLink, mode) == RemoveOutcome::Stop)
        {
            stop = 1;
        }
    }
    return stop;
}

FolderRun NewRun(IShredHost& host)
{
    return {host, host.Options().folderRule, host.Options().removeRule};
}

} // namespace

bool IsProtectedFolder(IShredHost& host, const IEntry& folder, std::string& which)
{
    for (const std::string& protectedFolder : host.Options().protectedFolders)
    {
        if (protectedFolder.empty())
        {
            continue;
        }
        OsError error;
        std::unique_ptr<IEntry> other;
        if (SamePathNoCase(folder.Path(), protectedFolder) ||
            ((other = host.Files().Open(protectedFolder, error)) &&
             other->Status().identity == folder.Status().identity))
        {
            which = protectedFolder;
            return true;
        }
    }
    return false;
}

void ReportFolderNotRemoved(IShredHost& host, const std::string& path, const OsError& error)
{
    // The path goes in last, as an insert, so that a "#" in it stays a "#".
    std::string text =
        host.Text(kKeyNotRemoved) +
        Substitute(host.Text(kKeyNotRemovedDetail), {{"%s", ErrorDescription(host, error.code)},
                                                     {"%u", std::to_string(error.code)}});
    EngineMessage message{MessageSize::Small, 1, "info", text, path};
    message.logInserts = true;
    host.Tell(message);
}

int ShredFolder(IShredHost& host, const std::string& path, bool systemFlag, ShredMode mode)
{
    OsError error;
    std::unique_ptr<IEntry> folder = host.Files().Open(path, error);
    if (!folder)
    {
        Report(host, kKeyCannotList, path);
        return 1;
    }
    FolderRun run = NewRun(host);
    return ShredOpenFolder(run, *folder, systemFlag, mode);
}

void ShredFolderTarget(IShredHost& host, const std::string& path, bool systemFlag)
{
    IFileSystem& files = host.Files();
    OsError error;
    const std::string parentPath = ParentOf(path);
    std::unique_ptr<IEntry> parent = parentPath.empty() ? nullptr : files.Open(parentPath, error);
    std::unique_ptr<IEntry> folder = parent ? files.OpenIn(*parent, NameOf(path), error) : nullptr;
    if (!folder || !folder->Status().isFolder || folder->Status().isLink)
    {
        Report(host, kKeyCannotList, path);
        return;
    }
    std::string which;
    if (IsProtectedFolder(host, *folder, which))
    {
        Report(host, kKeyProtected, which);
        return;
    }
    FolderRun run = NewRun(host);
    if (ShredOpenFolder(run, *folder, systemFlag, ShredMode::Normal) != 0)
    {
        return;
    }
    std::vector<FolderEntry> left;
    if (!files.List(*folder, left, error) || !left.empty())
    {
        return;
    }
    folder.reset();
    if (!files.RemoveIn(*parent, NameOf(path), RemoveKind::Folder, error))
    {
        ReportFolderNotRemoved(host, path, error);
    }
}

} // namespace qw
