#pragma once

#include "app/activity_log.h"
#include "app/erasure_record.h"
#include "app/run_certificate.h"
#include "app/run_outcome.h"
#include "engine/pattern.h"
#include "engine/shred_host.h"
#include "lang/language_pack.h"
#include "lang/message_window.h"
#include "platform/automation.h"
#include "platform/modules.h"
#include "platform/system_info.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qw
{

class CShredApp;
class IFileSystem;
class IMessagePresenter;
class INamedMutexes;
class IProgressWindow;
class IShell;
class IUserInterface;
class IRuntime;
class ISettingsStore;
class ITextCodec;

// What runs after start-up: the main window when there are no targets, the
// targets run otherwise.
class IMainWindow
{
public:
    virtual ~IMainWindow() = default;
    virtual void RunModal(CShredApp& app) = 0;
};

class ITargetsRun
{
public:
    virtual ~ITargetsRun() = default;
    virtual void Run(CShredApp& app) = 0;
};

// Checks that the scheduler component and the shell extension are installed.
class ICompanionChecks
{
public:
    virtual ~ICompanionChecks() = default;
    virtual bool SchedulerUsable(CShredApp& app) = 0;
    virtual void CheckExtension(CShredApp& app) = 0;
};

struct Platform
{
    ISettingsStore& settings;
    ISystemInfo& system;
    IRuntime& runtime;
    IModuleLoader& modules;
    IFileSystem& files;
    ITextCodec& codec;
    IMessagePresenter& presenter;
    IShell& shell;
    IUserInterface& ui;
    IMainWindow& mainWindow;
    ITargetsRun& targetsRun;
    INamedMutexes& mutexes;
    ICompanionChecks* companions = nullptr;   // none: scheduling unavailable, nothing checked
    IAutomationFactory* automation = nullptr; // none: no scheduler object is made
    ISha256* sha256 = nullptr;                // none: no erasure record is kept
};

enum class FreeSpaceFunction
{
    None,
    Extended, // GetDiskFreeSpaceExA: 64-bit counts and the user's quota
    Legacy,   // GetDiskFreeSpaceA
};

enum class StartOutcome
{
    Completed,  // the main window or the targets run has finished
    Failed,     // a start check failed
    ExitAtOnce, // leave with exit code 0, skipping ExitInstance
    Abort,      // abnormal termination
};

inline constexpr std::size_t kOverwriteBufferSize = 65536;
inline constexpr int kDriveLetters = 26;
inline constexpr int kProtectedFolderCount = 8;

// Shell folder ids of the protected folders.
inline constexpr int kFolderFonts = 0x14;
inline constexpr int kFolderStartMenu = 0x0B;
inline constexpr int kFolderPrograms = 0x02;
inline constexpr int kFolderDesktopDirectory = 0x10;

// The one application object: settings copies, command-line state, the
// machine facts gathered at start, the overwrite buffer, cancel flag and run
// status. The engine reaches it as its host.
class CShredApp : public IShredHost
{
public:
    explicit CShredApp(Platform& platform);
    ~CShredApp() override;

    StartOutcome InitInstance(std::string_view commandLine);
    // Returns the process exit code (kExitShredded ... kExitNotStarted).
    int ExitInstance();

    // Texts of the current language's pack.
    std::string LanguageText(int key) const;
    void SetControlText(int key, int controlId, std::string_view defaultText,
                        IControlTexts& window) const;
    // Window captions read straight from the pack in the AppPath folder.
    std::string CaptionText(int key, std::string_view defaultText) const;
    // Makes `language` the current language, or English where it has no
    // pack to read; returns the one taken.
    const std::string& SetLanguage(std::string_view language);

    CMessageWindow NewMessage(MessageSize size) const;
    // Shows the window, or in an unattended run makes its raw text the run
    // status and logs it. Returns the answer (empty when logged).
    std::string ShowOrLog(CMessageWindow& window);
    std::string ShowMessage(CMessageWindow& window);
    // Makes the text the run status and appends it to the activity log.
    void RecordStatus(std::string_view text);

    // One run's events: the start, then what the engine reports, then the
    // end. The log, the exit code and any consumer added here hear them.
    void BeginRun(RunStart start);
    void EndRun(RunEnd end);
    void AddRunConsumer(IRunEvents& consumer) { m_events.Add(consumer); }
    // Reports an item left that the engine did not see (a target not found,
    // a warning declined).
    void ReportLeft(LeftItem left) { m_events.ItemLeft(left); }

    // The one progress window of a run: made on first use (failure is
    // reported with key 9010), destroyed at the end of the run.
    bool CreateProgressWindow() override;
    void DestroyProgressWindow() override;
    // Keeps the windows alive between blocks; Cancel sets the cancel flag.
    void PumpMessages();
    // A fresh seed for the pattern generator of each file.
    std::uint64_t NewSeed() override;

    // What the engine is asked to do, taken from the command line in an
    // unattended run and from the settings otherwise, and the machine facts.
    // Filled before each engine run.
    void PrepareShredOptions();
    // What the run was given, in canonical form for the engine.
    void SetRunTargets(const std::vector<std::string>& targets);

    // The engine's host.
    const ShredOptions& Options() const override { return m_shredOptions; }
    IFileSystem& Files() override;
    IShell& Shell() override;
    std::vector<std::uint8_t>& Buffer() override { return m_overwriteBuffer; }
    CRandom& Random() override { return m_random; }
    bool Cancelled() const override { return m_cancel != 0; }
    void SetCancelled(bool cancelled) override { m_cancel = cancelled ? 1 : 0; }
    void Pump() override { PumpMessages(); }
    void Wait(std::chrono::milliseconds span) override;
    IProgressWindow* Progress() override { return m_progress.get(); }
    std::string Text(int key) const override { return LanguageText(key); }
    std::string MessageText(int key) const override;
    std::string Tell(const EngineMessage& message) override;
    IRunEvents& Events() override { return m_events; }

    // Command-line argument handler; false when the target list cannot grow.
    bool HandleArgument(std::string_view argument);

    // The folder of the runs' certificates, made when missing; empty when
    // there is none or it cannot be made.
    std::string ReportsFolder();

    Platform& Env() { return m_platform; }
    const CActivityLog& Log() const { return m_log; }
    const CErasureRecord& Record() const { return m_record; }
    // The per-user folder: the record, the reports, the log's second home;
    // empty when the system cannot say.
    std::string UserFolder() const;

    // Application state read by the rest of the program.
    int m_xpOrMe = 0;
    FreeSpaceFunction m_freeSpaceFunction = FreeSpaceFunction::None;
    int m_targetCount = 0;
    std::array<std::string, kDriveLetters> m_driveRoots;
    std::string m_userSid;
    std::vector<std::string> m_targets;
    std::array<int, kDriveLetters> m_ntfs{};
    int m_recycleCapable = 0;
    int m_cancel = 0;
    std::array<std::string, kProtectedFolderCount> m_protectedFolders;
    bool m_unattended = false;
    std::vector<std::uint8_t> m_overwriteBuffer;
    std::string m_appPath;
    std::string m_language;
    std::string m_runStatus;
    std::string m_title;
    bool m_taskNameNext = false;
    std::string m_taskName;
    // Switches whose value the program does not know: an unattended run
    // with any of them does not start.
    std::vector<std::string> m_refusedSwitches;
    int m_cmdMethod = 0;
    int m_cmdPasses = 0;
    int m_cmdFolderRule = 0;
    int m_cmdRemoveRule = 0;
    // "/V0" or "/V1"; without it the Verify setting decides.
    std::optional<int> m_cmdVerify;
    int m_method = 0;
    int m_savedMethod = 0;
    int m_passCount = 0;
    int m_savedPassCount = 0;
    bool m_schedulerUsable = false;
    // The scheduler component's Schedule object, made for the main window
    // when the component is usable; null otherwise.
    std::shared_ptr<IAutomationObject> m_schedule;
    std::unique_ptr<ILoadedModule> m_kernel32;
    std::string m_exeFolder;
    std::string m_systemDirectory;
    OsVersion m_osVersion;
    std::unique_ptr<IProgressWindow> m_progress;
    CRandom m_random;
    // Tests fix the seeds; normally the clock gives them.
    std::function<std::uint64_t()> m_seedSource;

private:
    bool FailStart(int key, std::string_view codeInsert = {});
    void TakeStoredLanguage(const std::string& stored);
    void GatherProtectedFolders();
    void CheckRecycleCapable();
    bool ChooseFreeSpaceFunction();
    void FillDriveTable();
    bool ReadUserSidIfNeeded(bool anyNtfs);

    Platform& m_platform;
    CLanguagePack m_pack;
    // Remembers this run's task name and last append for runs at the same
    // time.
    CActivityLog m_log;
    CRunEventFanOut m_events;
    CRunLog m_runLog{*this};
    CExitCodeTally m_exitCode;
    CErasureRecord m_record;
    CProgressTally m_progressTally{*this};
    CRunCertificate m_certificate;
    bool m_startFailed = false;
    bool m_comInitialized = false;
    ShredOptions m_shredOptions;
};

} // namespace qw
