#pragma once

#include "platform/file_system.h"
#include "ui/flash_window.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qw
{

class ISettingsStore;
class ISplashControl;
struct TaskTrigger;

inline constexpr std::string_view kMainMovie = "\\Lang\\Quellwipe.movie";
inline constexpr std::string_view kSplashFile = "\\Mask\\QW_Splash.spl";
inline constexpr std::string_view kUpdateProgram = "\\Update\\Update.exe";
inline constexpr int kAboutMenuId = 16;
inline constexpr int kMainWindowAboutFrame = 2;

enum class ScheduleCheck
{
    Include,
    Skip,
    Abort,
};

// What an entry of a list was when it was added: Shred now acts on it only
// while its name still leads there.
struct ListedEntry
{
    std::optional<FileStatus> status; // nothing where the name led nowhere
    bool driveRoot = false;
};

// What the main window needs of the program around it: its settings and
// texts, and the runs of the engine, each reported as the targets run
// reports them.
class IMainWindowHost
{
public:
    virtual ~IMainWindowHost() = default;
    virtual ISettingsStore& Settings() = 0;
    // A text of the current language's pack.
    virtual std::string Text(int key) = 0;
    virtual std::string Language() = 0;
    // Takes effect for every later lookup and window. A language without a
    // pack to read gives English; returns the language taken.
    virtual std::string SetLanguage(const std::string& language) = 0;
    // The folder the help, log and update program are found in (AppPath).
    virtual std::string AppPath() = 0;
    // The folder whose "log.txt" holds the latest entries.
    virtual std::string LogFolder() { return AppPath(); }
    // The folder of the runs' certificates, made when missing; empty when
    // there is none.
    virtual std::string ReportsFolder() = 0;
    // A small message window; returns the answer.
    virtual std::string ShowSmall(int frame, std::string_view type, const std::string& text,
                                  const std::string& insert = {}) = 0;
    virtual bool FileExists(const std::string& path) = 0;
    // "C:" for each drive whose free space may be wiped, A to Z.
    virtual std::vector<std::string> DriveNames() = 0;

    // A run: begun with what it was given (cancel flag cleared, the
    // settings taken), its items,
    // ended (the progress window closed). An item returns false when the
    // run is to stop; the cancel flag is read between items.
    virtual void BeginRun(const std::vector<std::string>& named) = 0;
    // What `path` is now, opened where it lies: a link is described, not
    // followed.
    virtual ListedEntry DescribeEntry(const std::string& path) = 0;
    // An entry of the file or folder list, shredded only while it is still
    // what was added; anything else in its place is reported and left.
    virtual bool ShredListed(const std::string& path, bool folderList,
                             const ListedEntry& added) = 0;
    virtual bool Cancelled() = 0;
    virtual void EndRun() = 0;
    virtual void WipeFreeSpace(const std::string& root) = 0;
    // With its warning unless switched off.
    virtual void ShredRecycleBin() = 0;

    // The checks made before a path goes into a scheduled task; they may
    // ask the user and may store the sub-folder rules.
    virtual ScheduleCheck CheckScheduledFile(const std::string& path) = 0;
    virtual ScheduleCheck CheckScheduledFolder(const std::string& path) = 0;
};

// What the main window needs of the system's own windows.
class IMainWindowServices
{
public:
    virtual ~IMainWindowServices() = default;
    // The system menu's about entry and the program's icon.
    virtual void PrepareFrame() = 0;
    // Full paths of the chosen files; nothing when the user cancelled.
    virtual std::optional<std::vector<std::string>> ChooseFiles() = 0;
    virtual std::optional<std::string> ChooseFolder() = 0;
    // The shell's "open" verb; failures are not reported.
    virtual void Open(const std::string& file, const std::string& folder, bool maximised) = 0;
    virtual void Minimise() = 0;
    virtual void EnableWindow(bool enable) = 0;
    // The sub-folder options window; true when closed with OK, the rules
    // then hold the choice.
    virtual bool EditSubfolderRules(int& shredRule, int& removeRule) = 0;
    virtual void ShowAbout(int frame) = 0;
};

// What a schedule command works on: the main window's movie and its lists,
// which it may empty on both sides.
struct SchedulingContext
{
    IMovie& movie;
    std::vector<std::string>& files;
    std::vector<std::string>& folders;
};

// The scheduling commands; filled by the scheduling client.
class IScheduling
{
public:
    virtual ~IScheduling() = default;
    virtual void Run(std::string_view command, SchedulingContext& context) = 0;
};

// The windows the scheduling commands open.
class ISchedulingWindows
{
public:
    virtual ~ISchedulingWindows() = default;

    struct TaskName
    {
        std::string name;       // empty after Cancel or an empty OK
        bool emptyOnOk = false; // OK with no name: the caller says so
    };
    // `refuse` sees each name offered; true keeps the window open.
    virtual TaskName AskTaskName(const std::function<bool(const std::string&)>& refuse) = 0;
    // The task's schedule; false when cancelled.
    virtual bool EditSchedule(const std::string& taskName, TaskTrigger& trigger) = 0;
};

// The scheduling commands where the scheduler component cannot be used:
// each shows the warning of the start-up check again.
class CSchedulingUnavailable : public IScheduling
{
public:
    explicit CSchedulingUnavailable(IMainWindowHost& host) : m_host(host) {}
    void Run(std::string_view command, SchedulingContext& context) override;

private:
    IMainWindowHost& m_host;
};

// The program's own window: start-up with the movie, the language, method
// and pass count; the commands of the movie; the file and folder lists kept
// in step with the movie's.
class CMainWindow : public CFlashWindow
{
public:
    CMainWindow(IMovie& movie, ISkinControl* skin, IWindowFrame& frame,
                IMessagePresenter& presenter, std::string programFolder, IMainWindowHost& host,
                IMainWindowServices& services, IScheduling& scheduling, ISplashControl* splash);

    int Method() const { return m_method; }
    int PassCount() const { return m_passCount; }
    const std::vector<std::string>& Files() const { return m_files; }
    const std::vector<std::string>& Folders() const { return m_folders; }

    // Files and folders dropped on the window: each joins its list.
    void AddDropped(const std::vector<std::string>& paths, const std::vector<bool>& isFolder);
    void Help();
    void About();
    void OpenReports();

protected:
    void Prepare() override;
    void SetVariables() override;
    std::vector<CommandEntry> Commands() override;

private:
    void Close();
    void ChangeLanguage(const std::string& argument);
    void ReadMethod();
    void ReadPassCount();
    void AddFiles(const std::vector<std::string>& paths);
    bool AddFolder(const std::string& path);
    void BrowseFiles();
    void BrowseFolder();
    void ShredFiles();
    void ShredFolders();
    void RunList(bool folders);
    // What `path` is, where it may join its list; nothing, after saying
    // why, for a name the movie's list would split, one that names nothing
    // or is listed already, and a whole drive among folders.
    std::optional<ListedEntry> Admitted(const std::string& path, bool folders);
    void SelectLanguage(const std::string& language);
    void RemoveOne(bool files);
    void RemoveAllFiles();
    void RemoveAllFolders();
    void SubfolderOptions();
    void FillDrives();
    void WipeSelectedDrive();
    void WhileDisabled(const std::function<void()>& run);

    IMainWindowHost& m_host;
    IMainWindowServices& m_services;
    IScheduling& m_scheduling;
    ISplashControl* m_splash;
    std::string m_programFolder;
    int m_method = 0;
    int m_passCount = 3;
    std::vector<std::string> m_files;
    std::vector<std::string> m_folders;
    // By path: what each entry was when added. Kept apart from the lists,
    // which the scheduling commands empty, so that both can never drift.
    std::map<std::string, ListedEntry> m_addedFiles;
    std::map<std::string, ListedEntry> m_addedFolders;
};

} // namespace qw
