#include "app/targets_run.h"

#include "engine/file_shredder.h"
#include "engine/folder_shredder.h"
#include "engine/free_space_wipe.h"
#include "engine/paths.h"
#include "engine/recycle_bin.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"
#include "platform/presenter.h"
#include "platform/setting_names.h"
#include "platform/settings_store.h"
#include "platform/shell.h"

namespace qw
{
namespace
{

constexpr int kKeyConfirmSeveral = 9051;
constexpr int kKeyConfirmOne = 9052;
constexpr int kKeyNotFound = 9053;
constexpr int kKeyRefusedSwitch = 9118;
constexpr int kKeyCannotDelete = 9038;
constexpr int kKeyProtected = 9039;
constexpr int kKeyBinWarning = 9062;
constexpr int kKeyDontShowAgain = 11000;
constexpr int kKeyFileChanged = 9111;
constexpr int kKeyFolderChanged = 9112;
constexpr int kKeyDriveRootAsFolder = 9113;
constexpr std::string_view kRecycleTarget = "recycle";

char Upper(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string DisplayPath(CShredApp& app, const std::string& target)
{
    if (target == kRecycleTarget)
    {
        return "the Recycle Bin";
    }
    if (auto parsed = app.Env().shell.ParseDisplayPath(target))
    {
        return *parsed;
    }
    return target;
}

bool Confirm(CShredApp& app)
{
    CMessageWindow window = app.NewMessage(MessageSize::Small);
    window.SetFrame(3);
    window.SetType("warning");
    if (app.m_targetCount == 1)
    {
        window.SetMessage(app.LanguageText(kKeyConfirmOne));
        window.SetInsert(DisplayPath(app, app.m_targets[0]));
    }
    else
    {
        window.SetMessage(app.LanguageText(kKeyConfirmSeveral));
        window.SetSecondInsert(std::to_string(app.m_targetCount));
    }
    return app.ShowMessage(window) == kAnswerYes;
}

// False when the run is to end.
bool ReportNotFound(CShredApp& app, const std::string& target)
{
    return app.Tell(EngineMessage{MessageSize::Small, 2, "info", app.LanguageText(kKeyNotFound),
                                  target}
                        .Because(LeftReason::NotFound)) == kAnswerOk ||
           app.m_unattended;
}

// The drive whose root this entry is, whatever name reached it ("D:\.",
// "\\?\D:\", a share of the drive's root); empty when it is none.
std::string DriveRootOf(CShredApp& app, const IEntry& entry)
{
    for (const std::string& root : app.m_driveRoots)
    {
        OsError error;
        std::unique_ptr<IEntry> rootEntry = root.empty() ? nullptr : app.Files().Open(root, error);
        if (rootEntry && rootEntry->Status().identity == entry.Status().identity)
        {
            return root;
        }
    }
    return {};
}

void RemoveLinkTarget(CShredApp& app, const std::string& path, const FileStatus& status)
{
    const CItemScope item(app.Events(), {path, status.isFolder ? ItemKind::Folder : ItemKind::File});
    // The link goes; what it points to is never touched.
    if (status.linkStays)
    {
        ReportLinkStays(app, path);
        return;
    }
    IFileSystem& files = app.Files();
    OsError error;
    std::unique_ptr<IEntry> parent = files.Open(ParentOf(path), error);
    if (parent && files.RemoveIn(*parent, NameOf(path), RemoveKind::Link, error))
    {
        app.Events().Deleted(path);
        return;
    }
    if (status.isFolder)
    {
        ReportFolderNotRemoved(app, path, error);
    }
    else
    {
        app.Tell(EngineMessage{MessageSize::Middle, 2, "info", app.LanguageText(kKeyCannotDelete),
                               path}
                     .Because(LeftReason::NotDeleted, error.code));
    }
}

// The entry now is the one listed: a file stays a file, a folder a folder,
// and what the name led to then it leads to now.
bool StillListed(const ExpectedEntry& expected, const FileStatus& now)
{
    if (now.isFolder != expected.folder)
    {
        return false;
    }
    if (!expected.added)
    {
        return !now.isLink;
    }
    const FileStatus& added = *expected.added;
    return added.isLink == now.isLink && added.isFolder == now.isFolder &&
           (!added.identity.known || added.identity == now.identity);
}

bool RunTargetAs(CShredApp& app, const std::string& target, const ExpectedEntry* expected);

} // namespace

bool RunTarget(CShredApp& app, const std::string& target)
{
    return RunTargetAs(app, target, nullptr);
}

bool RunListedTarget(CShredApp& app, const std::string& target, const ExpectedEntry& expected)
{
    return RunTargetAs(app, target, &expected);
}

namespace
{

bool RunTargetAs(CShredApp& app, const std::string& target, const ExpectedEntry* expected)
{
    if (target == kRecycleTarget)
    {
        ShredRecycleBinAfterWarning(app);
        return true;
    }
    // Decided once, on one canonical name: "C:\." is the root of C:, and
    // "foo." is not "foo". What is checked below is what is then opened.
    // An empty argument names nothing, not the current folder.
    std::optional<std::string> path =
        target.empty() ? std::nullopt : CanonicalPath(app.Files().AbsolutePath(target));
    if (!path)
    {
        return ReportNotFound(app, target);
    }
    const auto refuseRoot = [&app, &target]
    {
        app.Tell(EngineMessage{MessageSize::Middle, 1, "info",
                               app.LanguageText(kKeyDriveRootAsFolder), target}
                     .Because(LeftReason::Protected));
        return true;
    };
    if (IsDriveRoot(*path))
    {
        if (expected)
        {
            return refuseRoot();
        }
        // A root is a folder too, and shredding it as one would destroy the
        // whole drive: only its free space is wiped, and only for a drive of
        // the table.
        std::string root = std::string(1, Upper((*path)[0])) + ":\\";
        if (app.m_driveRoots[root[0] - 'A'] != root)
        {
            return ReportNotFound(app, target);
        }
        WipeFreeSpace(app, root);
        return true;
    }
    OsError error;
    std::unique_ptr<IEntry> entry = app.Files().Open(*path, error);
    if (!entry)
    {
        return ReportNotFound(app, target);
    }
    const FileStatus status = entry->Status();
    std::string root = status.isFolder ? DriveRootOf(app, *entry) : std::string();
    if (expected && !root.empty())
    {
        return refuseRoot();
    }
    if (expected && !StillListed(*expected, status))
    {
        app.Tell(EngineMessage{MessageSize::Middle, 1, "info",
                               app.LanguageText(expected->folder ? kKeyFolderChanged
                                                                 : kKeyFileChanged),
                               target}
                     .Because(LeftReason::Changed));
        return true;
    }
    // A protected folder stays as it is, even where it is a link (wine's
    // Desktop is one to the user's home).
    std::string which;
    if (root.empty() && status.isFolder && IsProtectedFolder(app, *entry, which))
    {
        app.Tell(EngineMessage{MessageSize::Small, 1, "info", app.LanguageText(kKeyProtected), which}
                     .Because(LeftReason::Protected));
        return true;
    }
    entry.reset();
    if (!root.empty())
    {
        WipeFreeSpace(app, root);
    }
    else if (status.isLink)
    {
        RemoveLinkTarget(app, *path, status);
    }
    else if (status.isFolder)
    {
        ShredFolderTarget(app, *path, status.system);
    }
    else
    {
        ShredFile(app, *path, ShredMode::Normal);
    }
    return true;
}

} // namespace

void ShredRecycleBinAfterWarning(CShredApp& app)
{
    ISettingsStore& settings = app.Env().settings;
    if (settings.ReadInt(kBinAlertDisabled, 0) == 0)
    {
        ShellAlertResult result = app.Env().presenter.ShowShellAlert(
            1, app.LanguageText(kKeyBinWarning), app.LanguageText(kKeyDontShowAgain), app.m_title);
        if (result.answer != kAnswerOk)
        {
            app.ReportLeft({std::string(kRecycleTarget), LeftReason::Declined, 0,
                            app.LanguageText(kKeyBinWarning), true});
            return;
        }
        if (result.dontShowAgain)
        {
            settings.WriteInt(kBinAlertDisabled, 1);
        }
    }
    ShredRecycleBin(app);
}

void CTargetsRun::Run(CShredApp& app)
{
    app.m_cancel = 0;
    app.PrepareShredOptions();
    std::vector<std::string> named;
    std::vector<std::string> targets;
    for (int i = 0; i < app.m_targetCount && i < static_cast<int>(app.m_targets.size()); ++i)
    {
        targets.push_back(app.m_targets[i]);
        if (app.m_targets[i] != kRecycleTarget)
        {
            named.push_back(app.m_targets[i]);
        }
    }
    app.SetRunTargets(named);
    const ShredOptions& options = app.Options();
    app.BeginRun({app.m_taskName, app.m_unattended, options.method, options.passes, targets,
                  options.verify});
    // Only an unattended run takes its switches; the others use the settings.
    if (app.m_unattended && !app.m_refusedSwitches.empty())
    {
        app.EndRun({RunEndKind::Refused, Substitute(app.LanguageText(kKeyRefusedSwitch),
                                                    {{"%s", app.m_refusedSwitches.front()}})});
        return;
    }
    if (!app.m_unattended && !Confirm(app))
    {
        app.EndRun({RunEndKind::Cancelled, {}});
        return;
    }
    bool stopped = false;
    for (int i = 0; i < app.m_targetCount && !stopped && !app.m_cancel; ++i)
    {
        stopped = !RunTarget(app, app.m_targets[i]);
    }
    app.DestroyProgressWindow();
    // A run that was stopped says so: what was not reached is still there.
    app.EndRun({stopped || app.m_cancel ? RunEndKind::Cancelled : RunEndKind::Completed, {}});
}

} // namespace qw
