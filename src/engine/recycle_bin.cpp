#include "engine/recycle_bin.h"

#include "engine/file_shredder.h"
#include "engine/folder_shredder.h"
#include "engine/paths.h"
#include "engine/shred_host.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"
#include "platform/progress.h"
#include "platform/shell.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <set>

namespace qw
{
namespace
{

constexpr int kKeyNoBinFunctions = 9014;
constexpr int kKeyBinEmpty = 9015;
constexpr int kKeyNotFound = 9034;
constexpr int kKeyQueryFailed = 9048;
constexpr int kKeyConsent = 9049;
constexpr int kKeyCancelled = 9050;
constexpr int kKeyItemsNotFound = 9090;
constexpr int kKeySharedNotEmptied = 9091;
constexpr int kKeyItemsAdded = 9092;
constexpr int kKeyCaption = 9902;
constexpr int kKeyDriveLine = 9913;

std::string Report(IShredHost& host, MessageSize size, int frame, const char* type,
                   std::string text, const std::string& insert = {},
                   LeftReason reason = LeftReason::NotEmptied)
{
    return host.Tell(EngineMessage{size, frame, type, std::move(text), insert}.Because(reason));
}

bool IsFolder(IFileSystem& files, const std::string& path)
{
    OsError error;
    auto status = files.Status(path, error);
    return status && status->isFolder && !status->isLink;
}

enum class BinFolderResult
{
    Overwritten,
    NotListed,
    Incomplete, // cancelled, or an item could not be overwritten
};

// Overwrites what lies in one bin folder, leaving the entries in place for
// the shell to delete.
// `names`, when given, receives the name of every entry listed.
BinFolderResult ShredBinFolder(IShredHost& host, const std::string& folder, bool keepIndexFiles,
                               std::set<std::string>* names = nullptr)
{
    IFileSystem& files = host.Files();
    std::vector<FolderEntry> entries;
    OsError error;
    std::unique_ptr<IEntry> bin = files.Open(folder.substr(0, folder.size() - 1), error);
    if (!bin || bin->Status().isLink || !files.List(*bin, entries, error))
    {
        return BinFolderResult::NotListed;
    }
    for (const FolderEntry& entry : entries)
    {
        if (host.Cancelled())
        {
            break;
        }
        if (names)
        {
            names->insert(entry.name);
        }
        std::string path = folder + entry.name;
        if (entry.status.isFolder && !entry.status.isLink)
        {
            // An item left stops this bin, but is no cancel: the rest of
            // the run goes on, and its log does not claim a stop.
            if (ShredFolder(host, path, false, ShredMode::BinEntry) != 0)
            {
                return BinFolderResult::Incomplete;
            }
            continue;
        }
        if (keepIndexFiles &&
            (SamePathNoCase(entry.name, "INFO2") || SamePathNoCase(entry.name, "desktop.ini")))
        {
            continue;
        }
        if (ShredFileIn(host, *bin, entry.name, ShredMode::BinEntry) != 0 || host.Cancelled())
        {
            return BinFolderResult::Incomplete;
        }
    }
    return host.Cancelled() ? BinFolderResult::Incomplete : BinFolderResult::Overwritten;
}

void WriteDesktopIni(IShredHost& host, const std::string& folder)
{
    OsError error;
    auto file = host.Files().CreateForWriting(folder + "desktop.ini", error);
    if (!file)
    {
        return;
    }
    file->WriteAt(0, reinterpret_cast<const std::uint8_t*>(kBinDesktopIni.data()),
                  kBinDesktopIni.size(), error);
    file->Close(error);
}

// What the shell's emptying leaves of items already overwritten: wine 8.0
// deletes only files, so trashed folders stay behind, empty, with their
// (truncated) info files.
void RemoveLeftovers(IFileSystem& files, const std::string& folder)
{
    std::vector<FolderEntry> entries;
    OsError error;
    if (!files.ListFolder(folder, entries, error))
    {
        return;
    }
    std::unique_ptr<IEntry> open = files.Open(folder, error);
    for (const FolderEntry& entry : entries)
    {
        std::unique_ptr<IEntry> child = open ? files.OpenIn(*open, entry.name, error) : nullptr;
        if (!child)
        {
            continue;
        }
        const FileStatus status = child->Status();
        if (status.isFolder && !status.isLink)
        {
            RemoveLeftovers(files, child->Path());
        }
        child.reset();
        files.RemoveIn(*open, entry.name,
                       status.isLink     ? RemoveKind::Link
                       : status.isFolder ? RemoveKind::Folder
                                         : RemoveKind::File,
                       error);
    }
}

std::string Hex8(std::int32_t code)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", static_cast<std::uint32_t>(code));
    return buffer;
}

// The items a bin folder's entries make: on the modern layout each is a
// "$R" entry (its "$I" record aside), on the older ones every entry but the
// index and desktop.ini.
std::uint64_t ItemCount(const std::set<std::string>& names, BinLayout layout)
{
    std::uint64_t count = 0;
    for (const std::string& name : names)
    {
        const bool item =
            layout == BinLayout::RecycleBin
                ? name.size() > 2 && name[0] == '$' && (name[1] == 'R' || name[1] == 'r')
                : !SamePathNoCase(name, "INFO2") && !SamePathNoCase(name, "desktop.ini");
        count += item ? 1 : 0;
    }
    return count;
}

void ShowEmptying(IShredHost& host, const std::string& root)
{
    IProgressWindow* progress = host.Progress();
    progress->SetLine(1, host.Text(kKeyDriveLine) + root.substr(0, 1));
    progress->SetLine(2, "");
    progress->SetLine(3, "");
    progress->SetPosition(0);
    progress->Repaint();
}

// The names in a folder now; nothing when it cannot be listed.
std::optional<std::set<std::string>> NamesIn(IFileSystem& files, const std::string& folder)
{
    std::vector<FolderEntry> entries;
    OsError error;
    if (!files.ListFolder(folder, entries, error))
    {
        return std::nullopt;
    }
    std::set<std::string> names;
    for (const FolderEntry& entry : entries)
    {
        names.insert(entry.name);
    }
    return names;
}

// One bin for every drive, kept where the shell says (wine 8.0: the
// desktop's trash, and SHQueryRecycleBin and SHEmptyRecycleBin ignore the
// drive they are given). A folder on a drive named like a bin is not what
// the shell empties there, so it is neither overwritten nor counted. The bin
// is emptied only when what the shell counts was found and overwritten, and
// nothing came in meanwhile: emptying deletes whatever lies there by then.
void ShredSharedBin(IShredHost& host, IRecycleBinFunctions& bin,
                    const std::vector<std::string>& folders)
{
    const ShredOptions& options = host.Options();
    std::string root;
    BinQuery query;
    for (const std::string& candidate : options.driveRoots)
    {
        if (!candidate.empty())
        {
            query = bin.Query(candidate);
            if (query.result == 0 && (query.size != 0 || query.items != 0))
            {
                root = candidate;
                break;
            }
        }
    }
    if (root.empty())
    {
        return;
    }
    // The first folder holds the items, one entry each; the others their
    // records.
    std::set<std::string> items;
    BinFolderResult result = BinFolderResult::Overwritten;
    for (std::size_t n = 0; n < folders.size() && result == BinFolderResult::Overwritten; ++n)
    {
        BinFolderResult folderResult =
            ShredBinFolder(host, folders[n] + "\\", false, n == 0 ? &items : nullptr);
        // A records folder that does not exist holds nothing.
        if (folderResult == BinFolderResult::Incomplete ||
            (n == 0 && folderResult == BinFolderResult::NotListed))
        {
            result = folderResult;
        }
    }
    if (host.Cancelled() || result == BinFolderResult::Incomplete)
    {
        Report(host, MessageSize::Middle, 1, "info", host.Text(kKeySharedNotEmptied));
        return;
    }
    // Wine 8.0 counts only items that have their record.
    if (result == BinFolderResult::NotListed || items.size() < query.items)
    {
        host.Tell(
            EngineMessage::Naming(MessageSize::Middle, host.Text(kKeyItemsNotFound), folders[0])
                .Because(LeftReason::NotEmptied));
        return;
    }
    std::optional<std::set<std::string>> now = NamesIn(host.Files(), folders[0]);
    BinQuery after = bin.Query(root);
    if (!now || !std::includes(items.begin(), items.end(), now->begin(), now->end()) ||
        after.items > query.items)
    {
        Report(host, MessageSize::Middle, 1, "info", host.Text(kKeyItemsAdded));
        return;
    }
    ShowEmptying(host, root);
    bin.Empty(root);
    for (const std::string& folder : folders)
    {
        RemoveLeftovers(host.Files(), folder);
    }
}

} // namespace

BinLayout FindBinFolder(IShredHost& host, const std::string& root, bool ntfs, std::string& folder)
{
    IFileSystem& files = host.Files();
    const std::string& sid = host.Options().userSid;
    std::vector<std::pair<std::string, BinLayout>> candidates;
    if (!sid.empty())
    {
        candidates.push_back({"$Recycle.Bin\\" + sid, BinLayout::RecycleBin});
        if (ntfs)
        {
            candidates.push_back({"Recycler\\" + sid, BinLayout::Recycler});
        }
    }
    if (!ntfs)
    {
        candidates.push_back({"RECYCLED", BinLayout::Recycled});
    }
    for (const auto& [name, layout] : candidates)
    {
        if (IsFolder(files, root + name))
        {
            folder = root + name + "\\";
            return layout;
        }
    }
    folder.clear();
    return BinLayout::None;
}

void ShredRecycleBin(IShredHost& host)
{
    BinShell state = BinShell::NotLoaded;
    std::unique_ptr<IRecycleBinFunctions> bin = host.Shell().LoadRecycleBin(state);
    if (state == BinShell::NotLoaded)
    {
        return;
    }
    if (!bin)
    {
        Report(host, MessageSize::Small, 1, "info", host.Text(kKeyNoBinFunctions), {},
               LeftReason::Unavailable);
        return;
    }
    const ShredOptions& options = host.Options();

    host.SetCancelled(false);
    std::uint64_t total = 0;
    std::uint64_t items = 0;
    for (const std::string& root : options.driveRoots)
    {
        if (root.empty())
        {
            continue;
        }
        BinQuery query = bin->Query(root);
        if (query.result != 0)
        {
            Report(host, MessageSize::Small, 1, "info",
                   host.Text(kKeyQueryFailed) + " (" + Hex8(query.result) + ")", {},
                   LeftReason::Unavailable);
            break;
        }
        total += query.size;
        items += query.items;
    }
    // Wine 8.0 counts a folder in the bin as 0 bytes: items count too.
    if (total == 0 && items == 0)
    {
        Report(host, MessageSize::Small, 1, "info", host.Text(kKeyBinEmpty), {}, LeftReason::Other);
        return;
    }
    if (!options.unattended && Report(host, MessageSize::Small, 3, "warning", host.Text(kKeyConsent),
                                      {}, LeftReason::Declined) != kAnswerYes)
    {
        return;
    }
    const CItemScope item(host.Events(), {"recycle", ItemKind::RecycleBin});
    if (!host.CreateProgressWindow())
    {
        return;
    }
    host.Progress()->SetCaption(host.Text(kKeyCaption));

    std::vector<std::string> shellFolders = host.Shell().ShellBinFolders();
    if (!shellFolders.empty())
    {
        ShredSharedBin(host, *bin, shellFolders);
        host.DestroyProgressWindow();
        return;
    }
    for (std::size_t drive = 0; drive < options.driveRoots.size(); ++drive)
    {
        const std::string& root = options.driveRoots[drive];
        if (root.empty() || host.Cancelled())
        {
            continue;
        }
        BinQuery query = bin->Query(root);
        if (query.size == 0 && query.items == 0)
        {
            continue;
        }
        std::string folder;
        BinLayout layout = FindBinFolder(host, root, options.ntfs[drive], folder);
        if (layout == BinLayout::None)
        {
            // Items nobody could find were not overwritten: that bin is not
            // emptied.
            Report(host, MessageSize::Small, 1, "info", host.Text(kKeyNotFound),
                   root + "$Recycle.Bin");
            continue;
        }
        std::set<std::string> names;
        BinFolderResult result = ShredBinFolder(host, folder, true, &names);
        if (result == BinFolderResult::NotListed)
        {
            Report(host, MessageSize::Small, 1, "info", host.Text(kKeyNotFound), folder);
            continue;
        }
        if (host.Cancelled() || result == BinFolderResult::Incomplete)
        {
            std::string letter(1, root[0]);
            std::string text = host.Text(kKeyCancelled);
            // Only the first two "%c" name the drive.
            for (int n = 0; n < 2; ++n)
            {
                std::size_t at = text.find("%c");
                if (at != std::string::npos)
                {
                    text.replace(at, 2, letter);
                }
            }
            Report(host, MessageSize::Middle, 1, "info", text);
            break;
        }
        // More items than this folder holds: the shell keeps them elsewhere
        // (the folder found is a left-over or planted one), and emptying would
        // delete what was never overwritten.
        if (ItemCount(names, layout) < query.items)
        {
            host.Tell(
                EngineMessage::Naming(MessageSize::Middle, host.Text(kKeyItemsNotFound), folder)
                    .Because(LeftReason::NotEmptied));
            continue;
        }
        ShowEmptying(host, root);
        bin->Empty(root);
        if (layout == BinLayout::Recycler || layout == BinLayout::Recycled)
        {
            WriteDesktopIni(host, folder);
        }
    }
    host.DestroyProgressWindow();
}

} // namespace qw
