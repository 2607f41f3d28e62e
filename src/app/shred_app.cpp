#include "app/shred_app.h"

#include "app/command_line.h"
#include "app/companion_checks.h"
#include "app/sid_text.h"
#include "engine/paths.h"
#include "lang/ini_file.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"
#include "platform/presenter.h"
#include "platform/progress.h"
#include "platform/runtime.h"
#include "platform/setting_names.h"
#include "platform/settings_store.h"

#include <chrono>
#include <new>

namespace qw
{
namespace
{

constexpr int kKeyTitle = 9606;
constexpr int kKeyNoBuffer = 9006;
constexpr int kKeyNoCom = 9007;
constexpr int kKeyNoKernel = 9008;
constexpr int kKeyNoFreeSpaceOrSid = 9009;
constexpr int kKeyAlreadyRunning = 9065;
constexpr int kKeyNoBinFunctions = 9014;
constexpr int kKeyShellAlertCheckBox = 11001;
constexpr int kKeyNoProgressWindow = 9010;
constexpr int kKeyProgressCaption = 9900;
constexpr int kKeyCancelLabel = 9901;

// The part of a path before its last backslash.
std::string FolderOf(const std::string& path)
{
    std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

} // namespace

CShredApp::CShredApp(Platform& platform)
    : m_exeFolder(FolderOf(platform.system.ProgramPath())), m_platform(platform),
      m_pack(platform.files, platform.codec),
      m_log(platform.settings, platform.files, platform.mutexes, [this] { return UserFolder(); }),
      m_record(
          platform.files, platform.mutexes, platform.system, platform.sha256,
          [this] { return UserFolder(); },
          [&platform]
          { return platform.settings.ReadInt(kRecordNames, kDefaultRecordNames) != 0; }),
      m_certificate(
          m_record, platform.files, [this](int key) { return LanguageText(key); },
          [this] { return UserFolder(); })
{
    m_events.Add(m_runLog);
    m_events.Add(m_exitCode);
    m_events.Add(m_record);
    m_events.Add(m_progressTally);
    // After the record: its run is complete when the certificate hears the end.
    m_events.Add(m_certificate);
}

std::string CShredApp::UserFolder() const
{
    const std::string folder = m_platform.system.LocalAppDataFolder();
    return folder.empty() ? folder : folder + "\\Quellwipe";
}

CShredApp::~CShredApp()
{
    m_progress.reset();
    m_schedule.reset();
    if (m_comInitialized)
    {
        m_platform.runtime.UninitializeCom();
    }
}

std::string CShredApp::LanguageText(int key) const
{
    return m_pack.Lookup(m_appPath, m_language, kPackSection, key, kMissingText, kTextLimit);
}

void CShredApp::SetControlText(int key, int controlId, std::string_view defaultText,
                               IControlTexts& window) const
{
    // Follows a change of the AppPath setting at once, unlike LanguageText.
    std::string folder = m_platform.settings.ReadText(kAppPath, "");
    window.SetItemText(controlId, m_pack.Lookup(folder, m_language, kPackSection, key, defaultText,
                                                kControlTextLimit));
}

std::string CShredApp::CaptionText(int key, std::string_view defaultText) const
{
    std::string folder = m_platform.settings.ReadText(kAppPath, "");
    return m_pack.Lookup(folder, m_language, kPackSection, key, defaultText, kCaptionLimit);
}

const std::string& CShredApp::SetLanguage(std::string_view language)
{
    m_language = m_pack.Usable(m_appPath, language);
    return m_language;
}

void CShredApp::TakeStoredLanguage(const std::string& stored)
{
    // Every text, the title and the instance mutex's name among them, would
    // read "Error" in a language without a pack.
    SetLanguage(stored);
    // Only an interactive start knows its application folder, and a pack
    // that is missing while English can be read means a wrong name, not a
    // wrong folder.
    if (m_language != stored && m_targetCount == 0 &&
        (!IsLanguageName(stored) || m_pack.HasPack(m_appPath, m_language)))
    {
        m_platform.settings.WriteText(kLanguage, m_language);
    }
}

CMessageWindow CShredApp::NewMessage(MessageSize size) const
{
    return CMessageWindow(size, m_pack, m_exeFolder, m_language);
}

std::string CShredApp::ShowMessage(CMessageWindow& window)
{
    return window.DoModal(m_platform.presenter, m_title.empty() ? "Quellwipe" : m_title);
}

std::string CShredApp::ShowOrLog(CMessageWindow& window)
{
    m_events.ItemLeft({{}, LeftReason::Unavailable, 0, window.RawMessage(), !m_unattended});
    return m_unattended ? std::string() : ShowMessage(window);
}

void CShredApp::RecordStatus(std::string_view text)
{
    m_runStatus = text;
    m_log.AppendStatus(m_runStatus);
}

std::string CShredApp::ReportsFolder()
{
    const std::string folder = UserFolder();
    if (folder.empty())
    {
        return {};
    }
    const std::string reports = ReportsFolderOf(folder);
    for (const std::string& made : {folder, reports})
    {
        OsError error;
        if (!m_platform.files.CreateFolder(made, error) && error.kind != ErrorKind::AlreadyExists)
        {
            return {};
        }
    }
    return reports;
}

IFileSystem& CShredApp::Files()
{
    return m_platform.files;
}

IShell& CShredApp::Shell()
{
    return m_platform.shell;
}

std::string CShredApp::MessageText(int key) const
{
    return NewMessage(MessageSize::Small).MessageText(key);
}

std::string CShredApp::Tell(const EngineMessage& message)
{
    CMessageWindow window = NewMessage(message.size);
    window.SetFrame(message.frame);
    window.SetType(message.type);
    window.SetMessage(message.text);
    window.SetInsert(message.insert);
    window.SetSecondInsert(message.secondInsert);
    const bool shown = !m_unattended || message.whenUnattended == Unattended::Show;
    if (!shown && message.whenUnattended == Unattended::AnswerYes)
    {
        return std::string(kAnswerYes);
    }
    LeftItem left{message.insert, message.reason, message.code,
                  message.logInserts ? Substitute(message.text, {{"%s", message.insert},
                                                                 {"%u", message.secondInsert}})
                                     : window.RawMessage(),
                  shown};
    const bool question = left.reason == LeftReason::None || left.reason == LeftReason::Declined;
    if (!shown)
    {
        // Whatever a run logs instead of showing, it left something: no
        // "Success" follows it.
        if (question)
        {
            left.reason = LeftReason::Other;
        }
        m_events.ItemLeft(left);
        return {};
    }
    if (!question)
    {
        m_events.ItemLeft(left);
    }
    std::string answer = ShowMessage(window);
    if (left.reason == LeftReason::Declined && answer != kAnswerYes && answer != kAnswerOk)
    {
        m_events.ItemLeft(left);
    }
    return answer;
}

void CShredApp::PrepareShredOptions()
{
    ISettingsStore& settings = m_platform.settings;
    ShredOptions& options = m_shredOptions;
    options.unattended = m_unattended;
    // Corrected before any file is touched: "/O2" or "/T0" must not delete
    // files unwritten.
    options.method =
        CorrectedMethod(m_unattended ? m_cmdMethod : settings.ReadInt(kMethod, kDefaultMethod));
    options.passes = CorrectedPasses(
        m_unattended ? m_cmdPasses : settings.ReadInt(kPassCount, kDefaultPassCount));
    options.folderRule =
        CorrectedRule(m_unattended ? m_cmdFolderRule : settings.ReadInt(kFolder, kDefaultRule));
    options.removeRule =
        CorrectedRule(m_unattended ? m_cmdRemoveRule : settings.ReadInt(kRemove, kDefaultRule));
    // Any run may turn it off on its command line; the setting otherwise.
    options.verify = m_cmdVerify.value_or(settings.ReadInt(kVerify, kDefaultVerify)) != 0;
    options.legacyFreeSpace = m_freeSpaceFunction == FreeSpaceFunction::Legacy;
    options.xpOrMe = m_xpOrMe != 0;
    options.driveRoots = m_driveRoots;
    for (int i = 0; i < kDriveLetters; ++i)
    {
        options.ntfs[i] = m_ntfs[i] != 0;
    }
    options.userSid = m_userSid;
    // Compared with canonical targets, so kept in the same form.
    options.protectedFolders.clear();
    for (const std::string& folder : m_protectedFolders)
    {
        options.protectedFolders.push_back(CanonicalPath(folder).value_or(folder));
    }
}

void CShredApp::SetRunTargets(const std::vector<std::string>& targets)
{
    m_shredOptions.runTargets.clear();
    for (const std::string& target : targets)
    {
        if (std::optional<std::string> path =
                target.empty() ? std::nullopt : CanonicalPath(Files().AbsolutePath(target)))
        {
            m_shredOptions.runTargets.push_back(*path);
        }
    }
}

bool CShredApp::CreateProgressWindow()
{
    if (m_progress)
    {
        return true;
    }
    std::string folder = m_platform.settings.ReadText(kAppPath, "");
    std::string cancelLabel = m_pack.Lookup(folder, m_language, kPackSection, kKeyCancelLabel,
                                            "Cancel", kControlTextLimit);
    m_progress = m_platform.ui.CreateProgressWindow(
        CaptionText(kKeyProgressCaption, "Shredding....."), cancelLabel, [this] { m_cancel = 1; });
    if (m_progress)
    {
        return true;
    }
    CMessageWindow window = NewMessage(MessageSize::Small);
    window.SetFrame(1);
    window.SetType("info");
    window.SetMessage(LanguageText(kKeyNoProgressWindow));
    ShowOrLog(window);
    return false;
}

void CShredApp::DestroyProgressWindow()
{
    m_progress.reset();
}

void CShredApp::PumpMessages()
{
    m_platform.ui.PumpMessages();
}

void CShredApp::Wait(std::chrono::milliseconds span)
{
    m_platform.ui.Wait(span);
}

std::uint64_t CShredApp::NewSeed()
{
    if (m_seedSource)
    {
        return m_seedSource();
    }
    // Seconds alone would give two files of the same second the same names.
    static std::uint64_t counter = 0;
    auto now = std::chrono::system_clock::now().time_since_epoch();
    auto fine = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(
               std::chrono::duration_cast<std::chrono::seconds>(now).count()) ^
           (static_cast<std::uint64_t>(fine.count()) << 1) ^ (++counter * 0x9E3779B97F4A7C15ull);
}

bool CShredApp::HandleArgument(std::string_view argument)
{
    // The slot of a switch or task name is reused by the next argument, so
    // the list ends up holding exactly the targets.
    try
    {
        m_targets.resize(static_cast<std::size_t>(m_targetCount) + 1);
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
    m_targets[m_targetCount] = std::string(argument);

    if (argument == "/s")
    {
        m_unattended = true;
        m_taskNameNext = true;
    }
    else if (m_taskNameNext)
    {
        m_taskNameNext = false;
        m_taskName = std::string(argument);
        m_log.AppendTaskLine(argument);
    }
    else if (argument.empty() || argument.front() != '/')
    {
        ++m_targetCount;
    }
    else if (argument.size() >= 2)
    {
        int value = ParseLeadingInt(argument.substr(2));
        switch (argument[1])
        {
        case 'O':
            m_cmdMethod = value;
            break;
        case 'T':
            m_cmdPasses = value;
            break;
        case 'F':
        case 'R':
            // A rule outside never, ask, always cannot be guessed: read as
            // "always" it would shred and remove subfolders nobody meant.
            (argument[1] == 'F' ? m_cmdFolderRule : m_cmdRemoveRule) = value;
            if (value < 0 || value > 2)
            {
                m_refusedSwitches.emplace_back(argument);
            }
            break;
        case 'V':
            // Only on or off: a slip such as "/V" alone must not turn it off.
            if (argument == "/V0" || argument == "/V1")
            {
                m_cmdVerify = value;
            }
            else
            {
                m_refusedSwitches.emplace_back(argument);
            }
            break;
        default:
            break;
        }
    }
    m_targets.resize(static_cast<std::size_t>(m_targetCount));
    return true;
}

bool CShredApp::FailStart(int key, std::string_view codeInsert)
{
    m_startFailed = true;
    CMessageWindow window = NewMessage(MessageSize::Small);
    window.SetFrame(1);
    window.SetType("warning");
    window.SetMessage(LanguageText(key));
    window.SetSecondInsert(std::string(codeInsert));
    ShowMessage(window);
    return false;
}

StartOutcome CShredApp::InitInstance(std::string_view commandLine)
{
    ISettingsStore& settings = m_platform.settings;

    m_platform.runtime.EnableControlHosting();

    m_passCount = m_savedPassCount = settings.ReadInt(kPassCount, kDefaultPassCount);
    m_method = m_savedMethod = settings.ReadInt(kMethod, kDefaultMethod);
    const std::string storedLanguage = settings.ReadText(kLanguage, kDefaultLanguage);
    m_language = storedLanguage;

    SplitCommandLine(commandLine, [this](std::string_view arg) { return HandleArgument(arg); });

    if (m_targetCount == 0)
    {
        m_appPath = settings.ReadText(kAppPath, kAppPathUnset);
        if (m_appPath == kAppPathUnset)
        {
            m_appPath = FolderOf(m_platform.system.ProgramPath());
            settings.WriteText(kAppPath, m_appPath);
        }
    }
    else
    {
        m_appPath = settings.ReadText(kAppPath, "");
    }
    TakeStoredLanguage(storedLanguage);
    if (m_targetCount == 0 && m_platform.runtime.CreateInstanceMutex(LanguageText(kKeyTitle)) ==
                                  MutexResult::AlreadyExists)
    {
        CMessageWindow window = NewMessage(MessageSize::Small);
        window.SetFrame(1);
        window.SetType("info");
        window.SetMessage(LanguageText(kKeyAlreadyRunning));
        ShowMessage(window);
        return StartOutcome::ExitAtOnce;
    }

    m_title = LanguageText(kKeyTitle);

    try
    {
        m_overwriteBuffer.assign(kOverwriteBufferSize, 0);
    }
    catch (const std::bad_alloc&)
    {
        FailStart(kKeyNoBuffer);
        return StartOutcome::Failed;
    }

    if (!m_platform.runtime.InitializeCom())
    {
        FailStart(kKeyNoCom);
        return StartOutcome::Abort;
    }
    m_comInitialized = true;

    GatherProtectedFolders();

    m_schedulerUsable = m_platform.companions && m_platform.companions->SchedulerUsable(*this);
    // Only the main window schedules: a targets run does not load the
    // component. A failed creation leaves no object, and scheduling off.
    if (m_schedulerUsable && m_targetCount == 0 && m_platform.automation)
    {
        m_schedule = m_platform.automation->Create(kSchedulerProgId);
    }

    CheckRecycleCapable();

    if (!ChooseFreeSpaceFunction())
    {
        return StartOutcome::Failed;
    }

    FillDriveTable();
    bool anyNtfs = false;
    for (int flag : m_ntfs)
    {
        anyNtfs = anyNtfs || flag != 0;
    }

    if (!ReadUserSidIfNeeded(anyNtfs))
    {
        return StartOutcome::Failed;
    }

    if (m_platform.companions)
    {
        m_platform.companions->CheckExtension(*this);
    }

    PrepareShredOptions();
    if (m_targetCount == 0)
    {
        m_platform.mainWindow.RunModal(*this);
    }
    else
    {
        m_platform.targetsRun.Run(*this);
    }
    return StartOutcome::Completed;
}

void CShredApp::GatherProtectedFolders()
{
    ISystemInfo& system = m_platform.system;
    m_systemDirectory = system.SystemDirectory();
    m_protectedFolders[0] = system.WindowsDirectory();
    m_protectedFolders[1] = m_systemDirectory;
    m_protectedFolders[2] = system.SpecialFolder(kFolderFonts);
    m_protectedFolders[3] = system.SpecialFolder(kFolderStartMenu);
    m_protectedFolders[4] = system.SpecialFolder(kFolderPrograms);
    m_protectedFolders[5] = system.SpecialFolder(kFolderDesktopDirectory);
    m_protectedFolders[6] = m_systemDirectory + "\\IOSUBSYS";
    m_protectedFolders[7] = m_systemDirectory + "\\VMM32";
}

void CShredApp::CheckRecycleCapable()
{
    m_recycleCapable = 0;
    if (auto shell = m_platform.modules.Load("SHELL32.DLL"))
    {
        auto version = shell->DllVersion();
        bool newEnough =
            version && (version->major > 4 || (version->major == 4 && version->minor >= 71));
        m_recycleCapable = newEnough && shell->HasExport("SHQueryRecycleBinA") &&
                           shell->HasExport("SHEmptyRecycleBinA");
    }
    if (!m_recycleCapable && m_platform.settings.ReadInt(kAlertDisabled, 0) == 0)
    {
        ShellAlertResult result = m_platform.presenter.ShowShellAlert(
            1, LanguageText(kKeyNoBinFunctions), LanguageText(kKeyShellAlertCheckBox), m_title);
        if (result.answer == kAnswerOk && result.dontShowAgain)
        {
            m_platform.settings.WriteInt(kAlertDisabled, 1);
        }
    }
}

bool CShredApp::ChooseFreeSpaceFunction()
{
    m_kernel32 = m_platform.modules.Load("kernel32.dll");
    if (!m_kernel32)
    {
        return FailStart(kKeyNoKernel);
    }
    if (m_kernel32->HasExport("GetDiskFreeSpaceExA"))
    {
        m_freeSpaceFunction = FreeSpaceFunction::Extended;
    }
    else if (m_kernel32->HasExport("GetDiskFreeSpaceA"))
    {
        m_freeSpaceFunction = FreeSpaceFunction::Legacy;
    }
    else
    {
        return FailStart(kKeyNoFreeSpaceOrSid);
    }
    return true;
}

void CShredApp::FillDriveTable()
{
    ISystemInfo& system = m_platform.system;
    std::uint32_t mask = system.LogicalDriveMask();
    for (int i = 0; i < kDriveLetters; ++i)
    {
        m_driveRoots[i].clear();
        m_ntfs[i] = 0;
        if ((mask & (1u << i)) == 0)
        {
            continue;
        }
        std::string root = std::string(1, static_cast<char>('A' + i)) + ":\\";
        DriveType type = system.DriveTypeOf(root);
        if (type == DriveType::Fixed || type == DriveType::Removable || type == DriveType::Remote)
        {
            m_driveRoots[i] = root;
            m_ntfs[i] = EqualsNoCase(system.FileSystemName(root), "NTFS") ? 1 : 0;
        }
    }
}

bool CShredApp::ReadUserSidIfNeeded(bool anyNtfs)
{
    m_osVersion = m_platform.system.GetOsVersion();
    if (m_osVersion.platformId != 2)
    {
        m_xpOrMe = (m_osVersion.major == 4 && m_osVersion.minor == 90) ? 1 : 0;
        return true;
    }
    m_xpOrMe = (m_osVersion.major == 5 && m_osVersion.minor == 1) ? 1 : 0;
    if (!anyNtfs || !m_recycleCapable)
    {
        return true;
    }
    UserSidResult result = m_platform.system.ReadUserSid();
    int failure = result.failureCode;
    if (failure == 0)
    {
        if (auto text = FormatSid(result.sid))
        {
            m_userSid = *text;
            return true;
        }
        failure = 3;
    }
    return FailStart(kKeyNoFreeSpaceOrSid, std::to_string(failure));
}

void CShredApp::BeginRun(RunStart start)
{
    m_events.RunStarted(start);
}

void CShredApp::EndRun(RunEnd end)
{
    m_events.RunEnded(end);
}

int CShredApp::ExitInstance()
{
    m_targets.clear();
    m_kernel32.reset();
    // A start that failed did nothing: no "Success" for it.
    if (m_startFailed)
    {
        return kExitNotStarted;
    }
    if (m_unattended && m_runStatus.empty())
    {
        RecordStatus("Success");
    }
    // The main window ends as the person closed it, whatever its runs met.
    return m_targetCount == 0 ? kExitShredded : m_exitCode.Code();
}

} // namespace qw
