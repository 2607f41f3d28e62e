#include "ui/main_window.h"

#include "engine/shred_host.h"
#include "lang/ini_file.h"
#include "platform/setting_names.h"
#include "platform/settings_store.h"
#include "player/splash.h"
#include "ui/movie_windows.h"

#include <algorithm>
#include <cstdlib>

namespace qw
{
namespace
{

constexpr int kKeyNoScheduler = 9060;
constexpr int kKeyLanguageChanged = 9061;
constexpr int kKeyFileListed = 1000;
constexpr int kKeyFolderListed = 1003;
constexpr int kKeyNoFiles = 9021;
constexpr int kKeyNoFolders = 9022;
constexpr int kKeyConfirmFiles = 9023;
constexpr int kKeyConfirmFolders = 9032;
constexpr int kKeyFileListEmpty = 9068;
constexpr int kKeyFolderListEmpty = 9069;
constexpr int kKeyNoFileSelected = 9018;
constexpr int kKeyNoFolderSelected = 9025;
constexpr int kKeyConfirmRemoveFiles = 9066;
constexpr int kKeyConfirmRemoveFolders = 9067;
constexpr int kKeyNotFound = 9034;
constexpr int kKeyBarInName = 9110;
constexpr int kKeyDriveRootAsFolder = 9113;
constexpr int kKeyTrailingDotOrBlank = 9100;

constexpr std::string_view kLanguageCount = "_root.NoSupportedLanguage";
constexpr std::string_view kLanguageLabel = "_root.LanguageLabel";
constexpr std::string_view kSelectedLanguage = "_root.LastSelectedLang";
constexpr std::string_view kMethodVar = "_root.QkShred_Selected";
constexpr std::string_view kPassCountVar = "_root.RepeatCount";
constexpr std::string_view kRemoveVar = "_root.Remove";

// Text to number as the movie's values convert: leading blanks and a sign,
// then digits; anything else ends it, and no digit at all is 0.
int ToInt(const std::string& text)
{
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

std::string TrimLeadingBars(const std::string& text)
{
    const std::size_t start = text.find_first_not_of(" |");
    return start == std::string::npos ? std::string() : text.substr(start);
}

bool Listed(const std::vector<std::string>& list, const std::string& path)
{
    return std::find(list.begin(), list.end(), path) != list.end();
}

// Windows reads "b.txt." and "b.txt " as "b.txt": such a name in a path
// names no entry of its own.
bool HasStrippedName(std::string_view path)
{
    std::size_t start = 0;
    while (start <= path.size())
    {
        std::size_t end = path.find_first_of("\\/", start);
        end = end == std::string_view::npos ? path.size() : end;
        const std::string_view name = path.substr(start, end - start);
        if (name != "." && name != ".." && !name.empty() &&
            (name.back() == '.' || name.back() == ' '))
        {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// Read from the settings and stored back corrected, so that nothing built
// from them later (a task's line above all) carries a value out of range.
int ReadCorrected(ISettingsStore& settings, std::string_view name, int defaultValue,
                  int (*corrected)(int))
{
    const int stored = settings.ReadInt(name, defaultValue);
    if (corrected(stored) != stored)
    {
        settings.WriteInt(name, corrected(stored));
    }
    return corrected(stored);
}

} // namespace

void CSchedulingUnavailable::Run(std::string_view, SchedulingContext&)
{
    m_host.ShowSmall(1, "warning", m_host.Text(kKeyNoScheduler));
}

CMainWindow::CMainWindow(IMovie& movie, ISkinControl* skin, IWindowFrame& frame,
                         IMessagePresenter& presenter, std::string programFolder,
                         IMainWindowHost& host, IMainWindowServices& services,
                         IScheduling& scheduling, ISplashControl* splash)
    : CFlashWindow(movie, skin, frame, presenter, programFolder,
                   {std::string(kMainMovie), "Mask", 0}),
      m_host(host), m_services(services), m_scheduling(scheduling), m_splash(splash),
      m_programFolder(std::move(programFolder))
{
}

void CMainWindow::Prepare()
{
    m_services.PrepareFrame();
    if (m_splash != nullptr)
    {
        m_splash->Load(m_programFolder + std::string(kSplashFile));
        m_splash->SetDelay(0);
        m_splash->SetModal(false);
    }
}

void CMainWindow::SetVariables()
{
    IMovie& movie = Movie();
    ISettingsStore& settings = m_host.Settings();
    movie.SetVariable(std::string(kLanguageCount), "1");
    movie.SetVariable(std::string(kLanguageLabel) + "0", "English");
    // The language the program took at start: a setting that names no pack
    // was corrected there.
    const std::string language = m_host.Language();
    movie.SetVariable(std::string(kLanguageVar), language);

    m_method = ReadCorrected(settings, kMethod, kDefaultMethod, CorrectedMethod);
    m_passCount = ReadCorrected(settings, kPassCount, kDefaultPassCount, CorrectedPasses);
    ReadCorrected(settings, kFolder, kDefaultRule, CorrectedRule);
    ReadCorrected(settings, kRemove, kDefaultRule, CorrectedRule);

    SelectLanguage(language);
    movie.SetVariable(std::string(kMethodVar), std::to_string(m_method));
    movie.SetVariable(std::string(kPassCountVar), std::to_string(m_passCount));
    // The update button shows only where there is something to start.
    movie.SetVariable("_root.UpdateAvailable",
                      m_host.FileExists(m_host.AppPath() + std::string(kUpdateProgram)) ? "true"
                                                                                        : "false");
}

std::vector<CFlashWindow::CommandEntry> CMainWindow::Commands()
{
    auto plain = [](void (CMainWindow::*action)(), CMainWindow* self)
    { return [self, action](const std::string&) { (self->*action)(); }; };
    auto schedule = [this](std::string_view command)
    {
        return [this, command](const std::string&)
        {
            SchedulingContext context{Movie(), m_files, m_folders};
            m_scheduling.Run(command, context);
        };
    };
    return {
        {"IDC_FS_Close", plain(&CMainWindow::Close, this)},
        {"IDC_FS_About", plain(&CMainWindow::About, this)},
        {"IDC_FS_Help", plain(&CMainWindow::Help, this)},
        {"IDC_FS_Minimize", [this](const std::string&) { m_services.Minimise(); }},
        DragCommand(),
        {"IDC_FS_LiveUpdate", [this](const std::string&)
         { m_services.Open("Update.exe", m_host.AppPath() + "\\Update", false); }},
        {"IDC_FS_ComboChange", [this](const std::string& argument) { ChangeLanguage(argument); }},
        {"IDC_FS_RadioChange", plain(&CMainWindow::ReadMethod, this)},
        {"IDC_FS_NumericChange", plain(&CMainWindow::ReadPassCount, this)},
        {"IDC_FS_FileBrowse", plain(&CMainWindow::BrowseFiles, this)},
        {"IDC_FS_FileSchedule", schedule("IDC_FS_FileSchedule")},
        {"IDC_FS_FileShredNow", plain(&CMainWindow::ShredFiles, this)},
        {"IDC_FS_RemoveItem", [this](const std::string&) { RemoveOne(true); }},
        {"IDC_FS_RemoveAll", plain(&CMainWindow::RemoveAllFiles, this)},
        {"IDC_FS_SubFolderOptions", plain(&CMainWindow::SubfolderOptions, this)},
        {"IDC_FS_FolderBrowse", plain(&CMainWindow::BrowseFolder, this)},
        {"IDC_FS_FolderSchedule", schedule("IDC_FS_FolderSchedule")},
        {"IDC_FS_FdShredNow", plain(&CMainWindow::ShredFolders, this)},
        {"IDC_FS_FdRemoveItem", [this](const std::string&) { RemoveOne(false); }},
        {"IDC_FS_FdRemoveAll", plain(&CMainWindow::RemoveAllFolders, this)},
        {"IDC_FS_Scheduler", schedule("IDC_FS_Scheduler")},
        {"IDC_FS_TaskProperties", schedule("IDC_FS_TaskProperties")},
        {"IDC_FS_RunNow", schedule("IDC_FS_RunNow")},
        {"IDC_FS_DeleteTask", schedule("IDC_FS_DeleteTask")},
        {"IDC_FS_DeleteAll", schedule("IDC_FS_DeleteAll")},
        {"IDC_FS_ViewLog",
         [this](const std::string&) { m_services.Open("log.txt", m_host.LogFolder(), false); }},
        {"IDC_FS_ViewReports", plain(&CMainWindow::OpenReports, this)},
        {"IDC_FS_Drive", plain(&CMainWindow::FillDrives, this)},
        {"IDC_FS_DriveSchedule", schedule("IDC_FS_DriveSchedule")},
        {"IDC_FS_DrShredNow", plain(&CMainWindow::WipeSelectedDrive, this)},
        {"IDC_FS_RecycleSchedule", schedule("IDC_FS_RecycleSchedule")},
        {"IDC_FS_RecycleShredNow",
         [this](const std::string&) { WhileDisabled([this] { m_host.ShredRecycleBin(); }); }},
    };
}

void CMainWindow::Help()
{
    m_services.Open(m_host.AppPath() + "\\HLP\\Quellwipe.chm", {}, true);
}

void CMainWindow::OpenReports()
{
    const std::string folder = m_host.ReportsFolder();
    if (!folder.empty())
    {
        m_services.Open(folder, {}, false);
    }
}

void CMainWindow::About()
{
    m_services.ShowAbout(kMainWindowAboutFrame);
}

void CMainWindow::Close()
{
    // The movie's values are corrected before they are kept: the settings
    // never hold what the next start would have to repair.
    m_method = CorrectedMethod(ToInt(Movie().GetVariable(std::string(kMethodVar))));
    m_passCount = CorrectedPasses(ToInt(Movie().GetVariable(std::string(kPassCountVar))));
    m_host.Settings().WriteInt(kMethod, m_method);
    m_host.Settings().WriteInt(kPassCount, m_passCount);
    Frame().EndModal();
}

void CMainWindow::ReadMethod()
{
    m_method = CorrectedMethod(ToInt(Movie().GetVariable(std::string(kMethodVar))));
    m_host.Settings().WriteInt(kMethod, m_method);
}

void CMainWindow::ReadPassCount()
{
    m_passCount = CorrectedPasses(ToInt(Movie().GetVariable(std::string(kPassCountVar))));
    m_host.Settings().WriteInt(kPassCount, m_passCount);
}

void CMainWindow::SelectLanguage(const std::string& language)
{
    IMovie& movie = Movie();
    const int count = std::max(0, ToInt(movie.GetVariable(std::string(kLanguageCount))));
    for (int i = 0; i < count; ++i)
    {
        const std::string label =
            movie.GetVariable(std::string(kLanguageLabel) + std::to_string(i));
        if (EqualsNoCase(label, language))
        {
            movie.SetVariable(std::string(kSelectedLanguage), std::to_string(i));
        }
    }
}

void CMainWindow::ChangeLanguage(const std::string& argument)
{
    Movie().SetVariable(std::string(kSelectedLanguage), argument);
    const std::string picked = Movie().GetVariable(std::string(kLanguageVar));
    const std::string language = m_host.SetLanguage(picked);
    m_host.Settings().WriteText(kLanguage, language);
    if (language != picked)
    {
        // The list shows what the texts now are.
        Movie().SetVariable(std::string(kLanguageVar), language);
        SelectLanguage(language);
    }
    m_host.ShowSmall(1, "info", m_host.Text(kKeyLanguageChanged));
}

std::optional<ListedEntry> CMainWindow::Admitted(const std::string& path, bool folders)
{
    int refusal = 0;
    std::optional<ListedEntry> added;
    if (path.find('|') != std::string::npos)
    {
        // The movie takes its entries as one text split at bars.
        refusal = kKeyBarInName;
    }
    else if (HasStrippedName(path))
    {
        refusal = kKeyTrailingDotOrBlank;
    }
    else if (Listed(folders ? m_folders : m_files, path))
    {
        refusal = folders ? kKeyFolderListed : kKeyFileListed;
    }
    else
    {
        added = m_host.DescribeEntry(path);
        if (folders && added->driveRoot)
        {
            // A whole drive is no folder to shred: only its free space is
            // wiped, and that is asked for on the Drives panel.
            refusal = kKeyDriveRootAsFolder;
        }
        else if (!added->status)
        {
            // An entry that names nothing could only ever be reported
            // "not found" when it is shredded.
            refusal = kKeyNotFound;
        }
    }
    if (refusal == 0)
    {
        return added;
    }
    m_host.ShowSmall(1, "info", m_host.Text(refusal), path);
    return std::nullopt;
}

void CMainWindow::AddFiles(const std::vector<std::string>& paths)
{
    std::string batch;
    for (const std::string& path : paths)
    {
        std::optional<ListedEntry> added = Admitted(path, false);
        if (!added)
        {
            continue;
        }
        batch += "|" + path;
        m_files.push_back(path);
        m_addedFiles[path] = std::move(*added);
    }
    batch = TrimLeadingBars(batch);
    if (!batch.empty())
    {
        Movie().SetVariable("_root.FilesStr", batch);
        Movie().SetVariable("_root.bAddFile", "1");
    }
}

bool CMainWindow::AddFolder(const std::string& path)
{
    if (path.empty())
    {
        return false;
    }
    std::optional<ListedEntry> added = Admitted(path, true);
    if (!added)
    {
        return false;
    }
    Movie().SetVariable("_root.FoldersStr", path);
    Movie().SetVariable("_root.bAddFolder", "1");
    m_folders.push_back(path);
    m_addedFolders[path] = std::move(*added);
    return true;
}

void CMainWindow::BrowseFiles()
{
    if (auto chosen = m_services.ChooseFiles())
    {
        AddFiles(*chosen);
    }
}

void CMainWindow::BrowseFolder()
{
    if (auto chosen = m_services.ChooseFolder())
    {
        AddFolder(*chosen);
    }
}

void CMainWindow::AddDropped(const std::vector<std::string>& paths,
                             const std::vector<bool>& isFolder)
{
    std::vector<std::string> files;
    for (std::size_t i = 0; i < paths.size(); ++i)
    {
        if (i < isFolder.size() && isFolder[i])
        {
            AddFolder(paths[i]);
        }
        else
        {
            files.push_back(paths[i]);
        }
    }
    AddFiles(files);
}

void CMainWindow::RunList(bool folders)
{
    std::vector<std::string>& list = folders ? m_folders : m_files;
    std::map<std::string, ListedEntry>& added = folders ? m_addedFolders : m_addedFiles;
    // The window waits while its run pumps messages: a second run started
    // inside the first would shred from a list being emptied.
    m_services.EnableWindow(false);
    // A copy: what a report shows during the run must not change the list
    // the loop walks.
    const std::vector<std::string> items = list;
    m_host.BeginRun(items);
    for (const std::string& item : items)
    {
        const auto found = added.find(item);
        if (!m_host.ShredListed(item, folders,
                                found == added.end() ? ListedEntry{} : found->second) ||
            m_host.Cancelled())
        {
            break;
        }
    }
    Movie().SetVariable(std::string(kRemoveVar), folders ? "RAFD" : "RAFL");
    list.clear();
    added.clear();
    m_services.EnableWindow(true);
    m_host.EndRun();
}

void CMainWindow::ShredFiles()
{
    if (m_files.empty())
    {
        m_host.ShowSmall(1, "info", m_host.Text(kKeyNoFiles));
        return;
    }
    if (m_host.ShowSmall(3, "warning", m_host.Text(kKeyConfirmFiles)) != kAnswerYes)
    {
        return;
    }
    RunList(false);
}

void CMainWindow::ShredFolders()
{
    if (m_folders.empty())
    {
        m_host.ShowSmall(1, "info", m_host.Text(kKeyNoFolders));
        return;
    }
    if (m_host.ShowSmall(3, "warning", m_host.Text(kKeyConfirmFolders)) != kAnswerYes)
    {
        return;
    }
    RunList(true);
}

void CMainWindow::RemoveOne(bool files)
{
    IMovie& movie = Movie();
    const std::string length =
        movie.GetVariable(files ? "_root.FilesAry.length" : "_root.FoldersAry.length");
    if (length == "0")
    {
        m_host.ShowSmall(1, "info", m_host.Text(files ? kKeyFileListEmpty : kKeyFolderListEmpty));
        return;
    }
    const std::string selected = movie.GetVariable("_root.SelectedIndex");
    if (selected == "undefined")
    {
        m_host.ShowSmall(1, "info", m_host.Text(files ? kKeyNoFileSelected : kKeyNoFolderSelected));
        return;
    }
    std::vector<std::string>& list = files ? m_files : m_folders;
    const int index = ToInt(selected);
    // Entries are unique: the one shown selected is removed by its name,
    // never by a count that could have drifted.
    const std::string shown = movie.GetVariable(
        std::string(files ? "_root.FilesAry." : "_root.FoldersAry.") + std::to_string(index));
    const auto found = std::find(list.begin(), list.end(), shown);
    if (index >= 0 && found != list.end())
    {
        list.erase(found);
        (files ? m_addedFiles : m_addedFolders).erase(shown);
        movie.SetVariable(std::string(kRemoveVar), files ? "RFL" : "RFD");
    }
}

void CMainWindow::RemoveAllFiles()
{
    if (Movie().GetVariable("_root.FilesAry.length") == "0")
    {
        m_host.ShowSmall(1, "info", m_host.Text(kKeyFileListEmpty));
        return;
    }
    if (m_host.ShowSmall(3, "warning", m_host.Text(kKeyConfirmRemoveFiles)) == kAnswerYes)
    {
        m_files.clear();
        m_addedFiles.clear();
        Movie().SetVariable(std::string(kRemoveVar), "RAFL");
    }
}

void CMainWindow::RemoveAllFolders()
{
    if (m_folders.empty())
    {
        m_host.ShowSmall(1, "info", m_host.Text(kKeyFolderListEmpty));
        return;
    }
    if (m_host.ShowSmall(3, "info", m_host.Text(kKeyConfirmRemoveFolders)) == kAnswerYes)
    {
        m_folders.clear();
        m_addedFolders.clear();
        Movie().SetVariable(std::string(kRemoveVar), "RAFD");
    }
}

void CMainWindow::SubfolderOptions()
{
    ISettingsStore& settings = m_host.Settings();
    const int shredBefore = CorrectedRule(settings.ReadInt(kFolder, kDefaultRule));
    const int removeBefore = CorrectedRule(settings.ReadInt(kRemove, kDefaultRule));
    int shredRule = shredBefore;
    int removeRule = removeBefore;
    if (!m_services.EditSubfolderRules(shredRule, removeRule))
    {
        return;
    }
    // The movie's values are stored only as rules.
    shredRule = CorrectedRule(shredRule);
    removeRule = CorrectedRule(removeRule);
    if (shredRule != shredBefore)
    {
        settings.WriteInt(kFolder, shredRule);
    }
    if (removeRule != removeBefore)
    {
        settings.WriteInt(kRemove, removeRule);
    }
}

void CMainWindow::FillDrives()
{
    std::string names;
    for (const std::string& drive : m_host.DriveNames())
    {
        names += "|" + drive;
    }
    Movie().SetVariable("_root.DrivesNames", TrimLeadingBars(names));
}

void CMainWindow::WipeSelectedDrive()
{
    const std::string root = Movie().GetVariable("_root.SelectedDriveName") + "\\";
    WhileDisabled([this, &root] { m_host.WipeFreeSpace(root); });
}

void CMainWindow::WhileDisabled(const std::function<void()>& run)
{
    m_services.EnableWindow(false);
    run();
    m_services.EnableWindow(true);
}

} // namespace qw
