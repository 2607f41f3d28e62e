#include "app/schedule_checks.h"

#include "app/shred_app.h"
#include "platform/file_system.h"
#include "platform/setting_names.h"
#include "platform/settings_store.h"

namespace qw
{
namespace
{

constexpr int kKeyCannotList = 9011;
constexpr int kKeyNotFound = 9034;
constexpr int kKeySystemFolder = 9040;
constexpr int kKeyAskInclude = 9054;
constexpr int kKeyAskSubfolders = 9055;
constexpr int kKeyAskRemove = 9056;

std::string Ask(CShredApp& app, MessageSize size, int frame, const char* type, int key,
                const std::string& insert)
{
    CMessageWindow window = app.NewMessage(size);
    window.SetFrame(frame);
    window.SetType(type);
    window.SetMessage(app.LanguageText(key));
    window.SetInsert(insert);
    return app.ShowMessage(window);
}

// The rule question while the setting says "ask": the answer is stored.
// False when the whole check is to stop.
bool AskRule(CShredApp& app, std::string_view setting, int key, bool& skip)
{
    ISettingsStore& settings = app.Env().settings;
    if (settings.ReadInt(setting, 0) != 1)
    {
        return true;
    }
    std::string answer = Ask(app, MessageSize::Small, 3, "info", key, "");
    if (answer == kAnswerNo)
    {
        settings.WriteInt(setting, 0);
        skip = setting == kFolder;
        return true;
    }
    if (answer == kAnswerYes)
    {
        settings.WriteInt(setting, 2);
        return true;
    }
    return false;
}

} // namespace

CheckResult CheckFileForSchedule(CShredApp& app, const std::string& path, bool insideFolder)
{
    OsError error;
    std::optional<FileStatus> status = app.Env().files.Status(path, error);
    if (!status)
    {
        CMessageWindow window = app.NewMessage(MessageSize::Small);
        window.SetFrame(1);
        window.SetType("info");
        window.SetMessage(app.LanguageText(kKeyNotFound));
        window.SetInsert(path);
        app.ShowMessage(window);
        return CheckResult::Skip;
    }
    if (!status->readOnly && !status->hidden && !status->system)
    {
        return CheckResult::Include;
    }
    std::string answer =
        Ask(app, MessageSize::Middle, insideFolder ? 2 : 4, "warning", kKeyAskInclude, path);
    if (answer == kAnswerCancel)
    {
        return CheckResult::Abort;
    }
    if (insideFolder || answer == kAnswerYes)
    {
        return CheckResult::Include;
    }
    return CheckResult::Skip;
}

CheckResult CheckFolderForSchedule(CShredApp& app, const std::string& path)
{
    IFileSystem& files = app.Env().files;
    OsError error;
    std::optional<FileStatus> status = files.Status(path, error);
    if (status && status->system &&
        Ask(app, MessageSize::Small, 3, "warning", kKeySystemFolder, path) == kAnswerNo)
    {
        return CheckResult::Abort;
    }
    std::vector<FolderEntry> entries;
    if (!files.ListFolder(path, entries, error))
    {
        CMessageWindow window = app.NewMessage(MessageSize::Small);
        window.SetFrame(1);
        window.SetType("warning");
        window.SetMessage(app.LanguageText(kKeyCannotList));
        app.ShowMessage(window);
        return CheckResult::Abort;
    }
    for (const FolderEntry& entry : entries)
    {
        if (app.m_cancel)
        {
            break;
        }
        std::string child = path + "\\" + entry.name;
        if (!entry.status.isFolder)
        {
            if (CheckFileForSchedule(app, child, true) == CheckResult::Abort)
            {
                return CheckResult::Abort;
            }
            continue;
        }
        // Links are removed, never entered, by the run itself.
        if (entry.status.isLink || app.Env().settings.ReadInt(kFolder, 0) == 0)
        {
            continue;
        }
        bool skip = false;
        if (!AskRule(app, kFolder, kKeyAskSubfolders, skip))
        {
            return CheckResult::Abort;
        }
        if (skip)
        {
            continue;
        }
        bool ignored = false;
        if (!AskRule(app, kRemove, kKeyAskRemove, ignored))
        {
            return CheckResult::Abort;
        }
        if (CheckFolderForSchedule(app, child) == CheckResult::Abort)
        {
            return CheckResult::Abort;
        }
    }
    return CheckResult::Include;
}

} // namespace qw
