#include "app/main_window_host.h"

#include "app/schedule_checks.h"
#include "app/shred_app.h"
#include "app/targets_run.h"
#include "engine/free_space_wipe.h"
#include "engine/paths.h"
#include "lang/ini_file.h"
#include "platform/file_system.h"

namespace qw
{
namespace
{

constexpr int kKeyNotFound = 9053;

ScheduleCheck FromCheck(CheckResult result)
{
    switch (result)
    {
    case CheckResult::Include:
        return ScheduleCheck::Include;
    case CheckResult::Skip:
        return ScheduleCheck::Skip;
    case CheckResult::Abort:
        break;
    }
    return ScheduleCheck::Abort;
}

} // namespace

ISettingsStore& CAppMainWindowHost::Settings()
{
    return m_app.Env().settings;
}

std::string CAppMainWindowHost::Text(int key)
{
    // The lists' messages live in the pack's message section.
    std::string text = m_app.LanguageText(key);
    return text == kMissingText ? m_app.MessageText(key) : text;
}

std::string CAppMainWindowHost::Language()
{
    return m_app.m_language;
}

std::string CAppMainWindowHost::SetLanguage(const std::string& language)
{
    return m_app.SetLanguage(language);
}

std::string CAppMainWindowHost::AppPath()
{
    return m_app.m_appPath.empty() ? m_app.m_exeFolder : m_app.m_appPath;
}

std::string CAppMainWindowHost::LogFolder()
{
    const std::string latest = m_app.Log().LatestPath();
    return latest == m_app.Log().UserPath() ? latest.substr(0, latest.rfind('\\')) : AppPath();
}

std::string CAppMainWindowHost::ReportsFolder()
{
    return m_app.ReportsFolder();
}

std::string CAppMainWindowHost::ShowSmall(int frame, std::string_view type, const std::string& text,
                                          const std::string& insert)
{
    CMessageWindow window = m_app.NewMessage(MessageSize::Small);
    window.SetFrame(frame);
    window.SetType(std::string(type));
    window.SetMessage(text);
    window.SetInsert(insert);
    return m_app.ShowMessage(window);
}

bool CAppMainWindowHost::FileExists(const std::string& path)
{
    OsError error;
    const auto status = m_app.Files().Status(path, error);
    return status && !status->isFolder;
}

std::vector<std::string> CAppMainWindowHost::DriveNames()
{
    std::vector<std::string> names;
    for (const std::string& root : m_app.m_driveRoots)
    {
        if (!root.empty())
        {
            names.push_back(root.substr(0, 2));
        }
    }
    return names;
}

void CAppMainWindowHost::BeginRun(const std::vector<std::string>& named)
{
    m_app.m_cancel = 0;
    m_app.PrepareShredOptions();
    const ShredOptions& options = m_app.Options();
    m_app.BeginRun({{}, false, options.method, options.passes, named, options.verify});
}

ListedEntry CAppMainWindowHost::DescribeEntry(const std::string& path)
{
    ListedEntry described;
    const std::optional<std::string> canonical =
        path.empty() ? std::nullopt : CanonicalPath(m_app.Files().AbsolutePath(path));
    if (!canonical)
    {
        return described;
    }
    described.driveRoot = IsDriveRoot(*canonical);
    OsError error;
    if (std::unique_ptr<IEntry> entry = m_app.Files().Open(*canonical, error))
    {
        described.status = entry->Status();
        // Any name of a drive's root, by identity.
        for (const std::string& root : m_app.m_driveRoots)
        {
            std::unique_ptr<IEntry> rootEntry =
                root.empty() ? nullptr : m_app.Files().Open(root, error);
            if (rootEntry && rootEntry->Status().identity == described.status->identity)
            {
                described.driveRoot = true;
            }
        }
    }
    return described;
}

bool CAppMainWindowHost::ShredListed(const std::string& path, bool folderList,
                                     const ListedEntry& added)
{
    // Each entry of the list is its own run: a file's other names count as
    // shredded only where they are this entry.
    m_app.SetRunTargets({path});
    return RunListedTarget(m_app, path, {folderList, added.status});
}

bool CAppMainWindowHost::Cancelled()
{
    return m_app.m_cancel != 0;
}

void CAppMainWindowHost::EndRun()
{
    m_app.DestroyProgressWindow();
    m_app.EndRun({m_app.m_cancel ? RunEndKind::Cancelled : RunEndKind::Completed, {}});
}

void CAppMainWindowHost::WipeFreeSpace(const std::string& root)
{
    // Only a drive of the table: a name the movie did not define
    // ("undefined\") reaches nothing.
    for (const std::string& known : m_app.m_driveRoots)
    {
        if (!known.empty() && EqualsNoCase(known, root))
        {
            BeginRun({known});
            qw::WipeFreeSpace(m_app, known);
            EndRun();
            return;
        }
    }
    ShowSmall(1, "info", Text(kKeyNotFound), root);
}

void CAppMainWindowHost::ShredRecycleBin()
{
    BeginRun({"recycle"});
    ShredRecycleBinAfterWarning(m_app);
    EndRun();
}

ScheduleCheck CAppMainWindowHost::CheckScheduledFile(const std::string& path)
{
    return FromCheck(CheckFileForSchedule(m_app, path));
}

ScheduleCheck CAppMainWindowHost::CheckScheduledFolder(const std::string& path)
{
    return FromCheck(CheckFolderForSchedule(m_app, path));
}

} // namespace qw
