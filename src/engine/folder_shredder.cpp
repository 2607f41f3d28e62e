#include "engine/folder_shredder.h"

#include "app/setting_names.h"
#include "app/shred_app.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"

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

bool SamePathNoCase(const std::string& a, const std::string& b)
{
    if (a.size() != b.size())
    {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
        char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
        if (x != y)
        {
            return false;
        }
    }
    return true;
}

std::string Ask(CShredApp& app, int key, const std::string& insert, bool unattendedShowsToo)
{
    CMessageWindow window = app.NewMessage(MessageSize::Small);
    window.SetFrame(3);
    window.SetType("info");
    window.SetMessage(app.LanguageText(key));
    window.SetInsert(insert);
    if (app.m_unattended && !unattendedShowsToo)
    {
        return std::string(kAnswerYes);
    }
    return app.ShowMessage(window);
}

void Report(CShredApp& app, int key, const std::string& insert)
{
    CMessageWindow window = app.NewMessage(MessageSize::Small);
    window.SetFrame(1);
    window.SetType("info");
    window.SetMessage(app.LanguageText(key));
    window.SetInsert(insert);
    app.ShowOrLog(window);
}

std::string TrimEnd(std::string text)
{
    while (!text.empty() &&
           (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' || text.back() == '.'))
    {
        text.pop_back();
    }
    return text;
}

// What becomes of a subfolder (or a link to a folder) after its visit.
enum class RemoveOutcome
{
    Kept,
    Removed,
    Stop,
};

RemoveOutcome RemoveByRule(CShredApp& app, const std::string& path, bool isLink, ShredMode mode,
                           int removeRule)
{
    if (mode == ShredMode::BinEntry)
    {
        return RemoveOutcome::Kept;
    }
    if (mode == ShredMode::Normal)
    {
        if (removeRule == 0)
        {
            return RemoveOutcome::Kept;
        }
        if (removeRule == 1)
        {
            std::string answer = Ask(app, kKeyAskRemove, path, true);
            if (answer == kAnswerNo)
            {
                return RemoveOutcome::Kept;
            }
            if (answer != kAnswerYes)
            {
                return RemoveOutcome::Stop;
            }
        }
        else if (removeRule != 2)
        {
            return RemoveOutcome::Kept;
        }
    }
    OsError error;
    IFileSystem& files = app.Env().files;
    bool removed = isLink ? files.RemoveLink(path, error) : files.RemoveFolder(path, error);
    if (!removed && mode == ShredMode::Normal)
    {
        ReportFolderNotRemoved(app, path, error);
    }
    return removed ? RemoveOutcome::Removed : RemoveOutcome::Kept;
}

} // namespace

void ReportFolderNotRemoved(CShredApp& app, const std::string& path, const OsError& error)
{
    std::string text = Substitute(app.LanguageText(kKeyNotRemoved), {{"%s", path}}) +
                       Substitute(app.LanguageText(kKeyNotRemovedDetail),
                                  {{"%s", TrimEnd(app.Env().files.ErrorText(error.code))},
                                   {"%u", std::to_string(error.code)}});
    CMessageWindow window = app.NewMessage(MessageSize::Small);
    window.SetFrame(1);
    window.SetType("info");
    window.SetMessage(text);
    // The text is complete: its placeholders stand for themselves.
    window.SetInsert("%s");
    window.SetSecondInsert("%u");
    app.ShowOrLog(window);
}

int ShredFolder(CShredApp& app, const std::string& path, bool systemFlag, ShredMode mode)
{
    ISettingsStore& settings = app.Env().settings;
    IFileSystem& files = app.Env().files;
    int subfolderRule = app.m_unattended ? app.m_cmdFolderRule : settings.ReadInt(kFolder, 0);
    int removeRule = app.m_unattended ? app.m_cmdRemoveRule : settings.ReadInt(kRemove, 0);

    if (mode == ShredMode::Normal)
    {
        for (const std::string& protectedFolder : app.m_protectedFolders)
        {
            if (!protectedFolder.empty() && SamePathNoCase(path, protectedFolder))
            {
                Report(app, kKeyProtected, protectedFolder);
                return 0;
            }
        }
        if (systemFlag)
        {
            std::string answer = Ask(app, kKeySystemFolder, path, false);
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
    if (!files.ListFolder(path, entries, error))
    {
        Report(app, kKeyCannotList, path);
        return 1;
    }

    const ShredMode childMode =
        mode == ShredMode::Normal ? ShredMode::Normal : ShredMode::BinSubtree;
    int stop = 0;
    for (const FolderEntry& entry : entries)
    {
        if (app.m_cancel || stop)
        {
            break;
        }
        std::string child = path + "\\" + entry.name;
        if (!entry.status.isFolder)
        {
            if (ShredFile(app, child, childMode) != 0 || app.m_cancel)
            {
                stop = 1;
            }
            continue;
        }
        if (mode == ShredMode::Normal)
        {
            if (subfolderRule == 0)
            {
                continue;
            }
            if (subfolderRule == 1)
            {
                std::string answer = Ask(app, kKeyAskSubfolder, child, true);
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
        if (!entry.status.isLink && ShredFolder(app, child, entry.status.system, childMode) != 0)
        {
            stop = 1;
            break;
        }
        if (RemoveByRule(app, child, entry.status.isLink, mode, removeRule) == RemoveOutcome::Stop)
        {
            stop = 1;
        }
    }
    return stop;
}

} // namespace qw
