#include "app/targets_run.h"

#include "engine/file_shredder.h"
#include "engine/folder_shredder.h"
#include "engine/free_space_wipe.h"
#include "engine/recycle_bin.h"
#include "platform/file_system.h"
#include "platform/shell.h"

namespace qw
{
namespace
{

constexpr int kKeyConfirmSeveral = 9051;
constexpr int kKeyConfirmOne = 9052;
constexpr int kKeyNotFound = 9053;
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
    CMessageWindow window = app.NewMessage(MessageSize::Small);
    window.SetFrame(2);
    window.SetType("info");
    window.SetMessage(app.LanguageText(kKeyNotFound));
    window.SetInsert(target);
    return app.ShowOrLog(window) == kAnswerOk || app.m_unattended;
}

std::string WithoutTrailingBackslashes(std::string path)
{
    while (path.size() > 1 && path.back() == '\\')
    {
        path.pop_back();
    }
    return path;
}

void ShredFolderTarget(CShredApp& app, const std::string& target, const FileStatus& status)
{
    IFileSystem& files = app.Env().files;
    std::string folder = WithoutTrailingBackslashes(target);
    if (ShredFolder(app, folder, status.system, ShredMode::Normal) != 0)
    {
        return;
    }
    std::vector<FolderEntry> left;
    OsError error;
    if (!files.ListFolder(folder, left, error) || !left.empty())
    {
        return;
    }
    if (!files.RemoveFolder(folder, error))
    {
        ReportFolderNotRemoved(app, folder, error);
    }
}

} // namespace

bool IsDriveRootForm(const std::string& target)
{
    if (target.size() < 2 || target[1] != ':')
    {
        return false;
    }
    char letter = Upper(target[0]);
    if (letter < 'A' || letter > 'Z')
    {
        return false;
    }
    return target.find_first_not_of("\\/", 2) == std::string::npos;
}

void CTargetsRun::Run(CShredApp& app)
{
    app.m_cancel = 0;
    if (!app.m_unattended && !Confirm(app))
    {
        return;
    }
    IFileSystem& files = app.Env().files;
    for (int i = 0; i < app.m_targetCount; ++i)
    {
        const std::string target = app.m_targets[i];
        if (target == kRecycleTarget)
        {
            ShredRecycleBinAfterWarning(app);
        }
        else if (IsDriveRootForm(target))
        {
            // Checked before the folder form: a root is a folder too, and
            // shredding it as one would destroy the whole drive.
            // Only the exact root ("C:\", any case) is wiped; "C:" or "C:\\"
            // name no drive of the table and are not found.
            std::string root = std::string(1, Upper(target[0])) + ":\\";
            int drive = root[0] - 'A';
            if (app.m_driveRoots[drive] == root && target.size() == root.size() &&
                target[2] == '\\')
            {
                WipeFreeSpace(app, root);
            }
            else if (!ReportNotFound(app, target))
            {
                break;
            }
        }
        else
        {
            OsError error;
            std::optional<FileStatus> status =
                files.Status(WithoutTrailingBackslashes(target), error);
            if (!status)
            {
                if (!ReportNotFound(app, target))
                {
                    break;
                }
            }
            else if (status->isLink)
            {
                // The link goes; what it points to is never touched.
                if (!files.RemoveLink(WithoutTrailingBackslashes(target), error) &&
                    status->isFolder)
                {
                    ReportFolderNotRemoved(app, target, error);
                }
            }
            else if (status->isFolder)
            {
                ShredFolderTarget(app, target, *status);
            }
            else
            {
                ShredFile(app, target, ShredMode::Normal);
            }
        }
        if (app.m_cancel)
        {
            break;
        }
    }
    app.DestroyProgressWindow();
}

} // namespace qw
