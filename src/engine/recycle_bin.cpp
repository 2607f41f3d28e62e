#include "engine/recycle_bin.h"

#include "app/setting_names.h"
#include "app/shred_app.h"
#include "engine/file_shredder.h"
#include "engine/folder_shredder.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"
#include "platform/presenter.h"
#include "platform/progress.h"
#include "platform/settings_store.h"
#include "platform/shell.h"

#include <cstdio>

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
constexpr int kKeyWarning = 9062;
constexpr int kKeyCaption = 9902;
constexpr int kKeyDriveLine = 9913;
constexpr int kKeyDontShowAgain = 11000;

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
    {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (fold(a[i]) != fold(b[i]))
        {
            return false;
        }
    }
    return true;
}

std::string Report(CShredApp& app, MessageSize size, int frame, const char* type, std::string text,
                   const std::string& insert = {})
{
    CMessageWindow window = app.NewMessage(size);
    window.SetFrame(frame);
    window.SetType(type);
    window.SetMessage(std::move(text));
    window.SetInsert(insert);
    return app.ShowOrLog(window);
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
BinFolderResult ShredBinFolder(CShredApp& app, const std::string& folder, bool keepIndexFiles)
{
    IFileSystem& files = app.Env().files;
    std::vector<FolderEntry> entries;
    OsError error;
    if (!files.ListFolder(folder.substr(0, folder.size() - 1), entries, error))
    {
        return BinFolderResult::NotListed;
    }
    for (const FolderEntry& entry : entries)
    {
        if (app.m_cancel)
        {
            break;
        }
        std::string path = folder + entry.name;
        if (entry.status.isFolder && !entry.status.isLink)
        {
            if (ShredFolder(app, path, false, ShredMode::BinEntry) != 0)
            {
                app.m_cancel = 1;
            }
            continue;
        }
        if (keepIndexFiles &&
            (EqualsNoCase(entry.name, "INFO2") || EqualsNoCase(entry.name, "desktop.ini")))
        {
            continue;
        }
        if (ShredFile(app, path, ShredMode::BinEntry) != 0 || app.m_cancel)
        {
            app.m_cancel = 1;
        }
    }
    return app.m_cancel ? BinFolderResult::Incomplete : BinFolderResult::Overwritten;
}

void WriteDesktopIni(CShredApp& app, const std::string& folder)
{
    OsError error;
    auto file = app.Env().files.CreateForWriting(folder + "desktop.ini", error);
    if (!file)
    {
        return;
    }
    file->WriteAt(0, reinterpret_cast<const std::uint8_t*>(kBinDesktopIni.data()),
                  kBinDesktopIni.size(), error);
    file->Close();
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
    for (const FolderEntry& entry : entries)
    {
        std::string path = folder + "\\" + entry.name;
        if (entry.status.isLink)
        {
            files.RemoveLink(path, error);
        }
        else if (entry.status.isFolder)
        {
            RemoveLeftovers(files, path);
            files.RemoveFolder(path, error);
        }
        else
        {
            files.RemoveFile(path, error);
        }
    }
}

std::string Hex8(std::int32_t code)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", static_cast<std::uint32_t>(code));
    return buffer;
}

} // namespace

BinLayout FindBinFolder(CShredApp& app, const std::string& root, std::string& folder)
{
    IFileSystem& files = app.Env().files;
    if (!app.m_userSid.empty())
    {
        for (auto [name, layout] : {std::pair{"$Recycle.Bin\\", BinLayout::RecycleBin},
                                    std::pair{"Recycler\\", BinLayout::Recycler}})
        {
            std::string candidate = root + name + app.m_userSid;
            if (IsFolder(files, candidate))
            {
                folder = candidate + "\\";
                return layout;
            }
        }
    }
    if (IsFolder(files, root + "RECYCLED"))
    {
        folder = root + "RECYCLED\\";
        return BinLayout::Recycled;
    }
    folder.clear();
    return BinLayout::None;
}

void ShredRecycleBin(CShredApp& app)
{
    BinShell state = BinShell::NotLoaded;
    std::unique_ptr<IRecycleBinFunctions> bin = app.Env().shell.LoadRecycleBin(state);
    if (state == BinShell::NotLoaded)
    {
        return;
    }
    if (!bin)
    {
        Report(app, MessageSize::Small, 1, "info", app.LanguageText(kKeyNoBinFunctions));
        return;
    }

    app.m_cancel = 0;
    std::uint64_t total = 0;
    std::uint64_t items = 0;
    for (const std::string& root : app.m_driveRoots)
    {
        if (root.empty())
        {
            continue;
        }
        BinQuery query = bin->Query(root);
        if (query.result != 0)
        {
            Report(app, MessageSize::Small, 1, "info",
                   app.LanguageText(kKeyQueryFailed) + " (" + Hex8(query.result) + ")");
            break;
        }
        total += query.size;
        items += query.items;
    }
    // Wine 8.0 counts a folder in the bin as 0 bytes: items count too.
    if (total == 0 && items == 0)
    {
        Report(app, MessageSize::Small, 1, "info", app.LanguageText(kKeyBinEmpty));
        return;
    }
    if (!app.m_unattended &&
        Report(app, MessageSize::Small, 3, "warning", app.LanguageText(kKeyConsent)) != kAnswerYes)
    {
        return;
    }
    if (!app.CreateProgressWindow())
    {
        return;
    }
    app.Progress()->SetCaption(app.LanguageText(kKeyCaption));

    bool shellFoldersDone = false;
    for (const std::string& root : app.m_driveRoots)
    {
        if (root.empty() || app.m_cancel)
        {
            continue;
        }
        BinQuery query = bin->Query(root);
        if (query.size == 0 && query.items == 0)
        {
            continue;
        }
        std::string folder;
        BinLayout layout = FindBinFolder(app, root, folder);
        BinFolderResult result = BinFolderResult::Overwritten;
        bool usedShellFolders = false;
        if (layout != BinLayout::None)
        {
            result = ShredBinFolder(app, folder, true);
            if (result == BinFolderResult::NotListed)
            {
                Report(app, MessageSize::Small, 1, "info", app.LanguageText(kKeyNotFound), folder);
                continue;
            }
        }
        else if (!shellFoldersDone)
        {
            // No bin folder on this drive: the shell keeps its items
            // elsewhere (wine: the desktop's trash). A missing one holds
            // nothing.
            shellFoldersDone = true;
            usedShellFolders = true;
            for (const std::string& shellFolder : app.Env().shell.ShellBinFolders())
            {
                if (ShredBinFolder(app, shellFolder + "\\", false) == BinFolderResult::Incomplete)
                {
                    result = BinFolderResult::Incomplete;
                    break;
                }
            }
        }
        if (app.m_cancel || result == BinFolderResult::Incomplete)
        {
            std::string letter(1, root[0]);
            std::string text = app.LanguageText(kKeyCancelled);
            // Only the first two "%c" name the drive.
            for (int n = 0; n < 2; ++n)
            {
                std::size_t at = text.find("%c");
                if (at != std::string::npos)
                {
                    text.replace(at, 2, letter);
                }
            }
            Report(app, MessageSize::Middle, 1, "info", text);
            break;
        }
        IProgressWindow* progress = app.Progress();
        progress->SetLine(1, app.LanguageText(kKeyDriveLine) + root.substr(0, 1));
        progress->SetLine(2, "");
        progress->SetLine(3, "");
        progress->SetPosition(0);
        progress->Repaint();
        bin->Empty(root);
        if (usedShellFolders)
        {
            for (const std::string& shellFolder : app.Env().shell.ShellBinFolders())
            {
                RemoveLeftovers(app.Env().files, shellFolder);
            }
        }
        if (layout == BinLayout::Recycler || layout == BinLayout::Recycled)
        {
            WriteDesktopIni(app, folder);
        }
    }
    app.DestroyProgressWindow();
}

void ShredRecycleBinAfterWarning(CShredApp& app)
{
    ISettingsStore& settings = app.Env().settings;
    if (settings.ReadInt(kBinAlertDisabled, 0) == 0)
    {
        ShellAlertResult result = app.Env().presenter.ShowShellAlert(
            1, app.LanguageText(kKeyWarning), app.LanguageText(kKeyDontShowAgain), app.m_title);
        if (result.answer != kAnswerOk)
        {
            return;
        }
        if (result.dontShowAgain)
        {
            settings.WriteInt(kBinAlertDisabled, 1);
        }
    }
    ShredRecycleBin(app);
}

} // namespace qw
