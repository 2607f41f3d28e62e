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

// `declined`: what a "No" leaves (Declined), or None where it leaves nothing
// that was asked for.
std::string Ask(IShredHost& host, int key, const std::string& insert, Unattended whenUnattended,
                LeftReason declined = LeftReason::Declined)
{
    return host.Tell(
        EngineMessage{MessageSize::Small, 3, "info", host.Text(key), insert, whenUnattended}.Because(
            declined));
}

void Report(IShredHost& host, int key, const std::string& insert, LeftReason reason)
{
    host.Tell(EngineMessage{MessageSize::Small, 1, "info", host.Text(key), insert}.Because(reason));
}

// One folder run: its rules, read once, and who the protected folders are,
// looked up once rather than at every folder of the tree.
struct FolderRun
{
    IShredHost& host;
    int subfolderRule;
    int removeRule;
    std::vector<std::pair<std::string, FileIdentity>> protectedFolders;

    bool IsProtected(const IEntry& folder, std::string& which) const
    {
        const FileIdentity& identity = folder.Status().identity;
        for (const auto& [path, protectedIdentity] : protectedFolders)
        {
            if (protectedIdentity == identity || SamePathNoCase(folder.Path(), path))
            {
                which = path;
                return true;
            }
        }
        return false;
    }
};

// What becomes of a subfolder (or a link to a folder) after its visit.
enum class RemoveOutcome
{
    Kept,
    Removed,
    Stop,
};

// `entry`: the folder itself, still open, removed through its handle where
// the system can; null for a link.
RemoveOutcome RemoveByRule(FolderRun& run, IEntry& folder, const std::string& name, bool isLink,
                           ShredMode mode, std::unique_ptr<IEntry> entry = nullptr)
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
            std::string answer = Ask(host, kKeyAskRemove, path, Unattended::Show, LeftReason::None);
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
    const bool removed =
        isLink ? host.Files().RemoveIn(folder, name, RemoveKind::Link, error)
               : host.Files().RemoveFolderEntry(folder, name, std::move(entry), error);
    if (!removed && mode == ShredMode::Normal)
    {
        ReportFolderNotRemoved(host, path, error);
    }
    if (removed)
    {
        host.Events().Deleted(path);
    }
    return removed ? RemoveOutcome::Removed : RemoveOutcome::Kept;
}

// Whether RemoveByRule may remove what is found in a folder walked in
// `mode`.
bool MayRemoveSubfolders(const FolderRun& run, ShredMode mode)
{
    if (mode == ShredMode::Normal)
    {
        return run.subfolderRule != 0 && (run.removeRule == 1 || run.removeRule == 2);
    }
    return mode != ShredMode::BinEntry;
}

// A folder being shredded: open, listed once, walked entry by entry.
struct OpenFolder
{
    std::unique_ptr<IEntry> folder;
    std::vector<FolderEntry> entries;
    std::size_t next = 0;
    ShredMode mode = ShredMode::Normal;
    std::string name; // in the folder above it
    int stop = 0;
};

// What the first steps of a folder's shred decided.
enum class Entry
{
    Entered,   // listed; its entries are next
    Protected, // reported; neither touched nor removed
    Untouched, // declined without a stop
    Stop,      // declined, or not listable: the enclosing folders stop too
};

Entry EnterFolder(FolderRun& run, OpenFolder& open, bool systemFlag)
{
    IShredHost& host = run.host;
    IEntry& folder = *open.folder;
    if (open.mode == ShredMode::Normal)
    {
        std::string which;
        if (run.IsProtected(folder, which))
        {
            Report(host, kKeyProtected, which, LeftReason::Protected);
            return Entry::Protected;
        }
        if (systemFlag)
        {
            std::string answer = Ask(host, kKeySystemFolder, folder.Path(), Unattended::AnswerYes);
            if (answer == kAnswerNo)
            {
                return Entry::Stop;
            }
            if (answer != kAnswerYes)
            {
                return Entry::Untouched;
            }
        }
    }
    OsError error;
    if (folder.Status().isLink || !host.Files().List(folder, open.entries, error))
    {
        Report(host, kKeyCannotList, folder.Path(), LeftReason::CannotOpen);
        return Entry::Stop;
    }
    return Entry::Entered;
}

// Shreds a tree with a stack of open folders instead of the call stack, so
// that depth is bounded by memory alone: Windows allows trees deeper than a
// 2 MiB stack holds frames for. Each level costs the same, however deep.
int ShredTree(FolderRun& run, std::unique_ptr<IEntry> top, bool systemFlag, ShredMode mode)
{
    IShredHost& host = run.host;
    IFileSystem& files = host.Files();
    std::vector<OpenFolder> stack;
    stack.push_back({std::move(top), {}, 0, mode, {}, 0});
    switch (EnterFolder(run, stack.back(), systemFlag))
    {
    case Entry::Entered:
        break;
    case Entry::Stop:
        return 1;
    default:
        return 0;
    }

    while (true)
    {
        OpenFolder& open = stack.back();
        if (host.Cancelled() || open.stop || open.next == open.entries.size())
        {
            const int stop = open.stop;
            const std::string name = std::move(open.name);
            // Kept open for its removal, which closes it.
            std::unique_ptr<IEntry> done = std::move(open.folder);
            stack.pop_back();
            if (stack.empty())
            {
                return stop;
            }
            OpenFolder& parent = stack.back();
            if (stop)
            {
                parent.stop = 1;
            }
            else if (RemoveByRule(run, *parent.folder, name, false, parent.mode, std::move(done)) ==
                     RemoveOutcome::Stop)
            {
                parent.stop = 1;
            }
            continue;
        }

        const FolderEntry& listed = open.entries[open.next++];
        const ShredMode childMode =
            open.mode == ShredMode::Normal ? ShredMode::Normal : ShredMode::BinSubtree;
        OsError error;
        // The listing only says what to look at: what an entry is, is
        // decided on the handle opened now, where it lies. A folder that
        // may go after its visit is held so that it can go by that handle.
        std::unique_ptr<IEntry> child;
        if (listed.status.isFolder)
        {
            child = MayRemoveSubfolders(run, open.mode)
                        ? files.OpenFolderToRemove(*open.folder, listed.name, error)
                        : files.OpenIn(*open.folder, listed.name, error);
        }
        if (!child || !child->Status().isFolder)
        {
            child.reset();
            if (ShredFileIn(host, *open.folder, listed.name, childMode) != 0 || host.Cancelled())
            {
                open.stop = 1;
            }
            continue;
        }
        if (open.mode == ShredMode::Normal)
        {
            if (run.subfolderRule == 0)
            {
                continue;
            }
            if (run.subfolderRule == 1)
            {
                std::string answer = Ask(host, kKeyAskSubfolder, child->Path(), Unattended::Show);
                if (answer == kAnswerNo)
                {
                    continue;
                }
                if (answer != kAnswerYes)
                {
                    open.stop = 1;
                    continue;
                }
            }
        }
        // A link to a folder is never entered: only the link itself may go.
        if (child->Status().isLink)
        {
            child.reset();
            if (RemoveByRule(run, *open.folder, listed.name, true, open.mode) ==
                RemoveOutcome::Stop)
            {
                open.stop = 1;
            }
            continue;
        }
        const bool system = child->Status().system;
        OpenFolder next{std::move(child), {}, 0, childMode, listed.name, 0};
        switch (EnterFolder(run, next, system))
        {
        case Entry::Entered:
            stack.push_back(std::move(next)); // `open` and `listed` are stale now
            break;
        case Entry::Protected:
            break; // stays where it is, empty or not
        case Entry::Stop:
            open.stop = 1;
            break;
        case Entry::Untouched:
            next.folder.reset();
            if (RemoveByRule(run, *open.folder, listed.name, false, open.mode) ==
                RemoveOutcome::Stop)
            {
                open.stop = 1;
            }
            break;
        }
    }
}

FolderRun NewRun(IShredHost& host)
{
    FolderRun run{host, host.Options().folderRule, host.Options().removeRule, {}};
    for (const std::string& path : host.Options().protectedFolders)
    {
        if (path.empty())
        {
            continue;
        }
        OsError error;
        std::unique_ptr<IEntry> entry = host.Files().Open(path, error);
        run.protectedFolders.push_back({path, entry ? entry->Status().identity : FileIdentity{}});
    }
    return run;
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
    host.Tell(EngineMessage::Naming(MessageSize::Small, text, path)
                  .Because(LeftReason::NotRemoved, error.code));
}

int ShredFolder(IShredHost& host, const std::string& path, bool systemFlag, ShredMode mode)
{
    OsError error;
    std::unique_ptr<IEntry> folder = host.Files().Open(path, error);
    if (!folder)
    {
        Report(host, kKeyCannotList, path, LeftReason::CannotOpen);
        return 1;
    }
    FolderRun run = NewRun(host);
    return ShredTree(run, std::move(folder), systemFlag, mode);
}

void ShredFolderTarget(IShredHost& host, const std::string& path, bool systemFlag)
{
    IFileSystem& files = host.Files();
    OsError error;
    const std::string parentPath = ParentOf(path);
    std::unique_ptr<IEntry> parent = parentPath.empty() ? nullptr : files.Open(parentPath, error);
    std::unique_ptr<IEntry> folder = parent ? files.OpenIn(*parent, NameOf(path), error) : nullptr;
    const CItemScope item(host.Events(), {path, ItemKind::Folder});
    if (!folder || !folder->Status().isFolder || folder->Status().isLink)
    {
        Report(host, kKeyCannotList, path, LeftReason::CannotOpen);
        return;
    }
    std::string which;
    if (IsProtectedFolder(host, *folder, which))
    {
        Report(host, kKeyProtected, which, LeftReason::Protected);
        return;
    }
    FolderRun run = NewRun(host);
    const FileIdentity identity = folder->Status().identity;
    if (ShredTree(run, std::move(folder), systemFlag, ShredMode::Normal) != 0)
    {
        return;
    }
    // Opened again, as itself, to see whether it ended up empty; only the
    // folder that was shredded may go.
    folder = files.OpenIn(*parent, NameOf(path), error);
    std::vector<FolderEntry> left;
    if (!folder || !(folder->Status().identity == identity) || folder->Status().isLink ||
        !files.List(*folder, left, error) || !left.empty())
    {
        return;
    }
    if (!files.RemoveFolderEntry(*parent, NameOf(path), std::move(folder), error))
    {
        ReportFolderNotRemoved(host, path, error);
        return;
    }
    host.Events().Deleted(path);
}

} // namespace qw
