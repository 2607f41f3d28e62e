// Entry point of Quellwipe.exe: the Win32 platform under the application
// object.

#include "app/command_line.h"
#include "app/companion_checks.h"
#include "app/main_window_host.h"
#include "app/shred_app.h"
#include "app/targets_run.h"
#include "app/version.h"
#include "platform/setting_names.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/timeline.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_automation.h"
#include "platform/win32/win32_class_registry.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_modules.h"
#include "platform/win32/win32_named_mutexes.h"
#include "platform/win32/win32_runtime.h"
#include "platform/win32/win32_sha256.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_system_info.h"
#include "platform/win32/win32_text_codec.h"
#include "player/win32/win32_splash.h"
#include "scheduler/scheduling_client.h"
#include "ui/win32/movie_presenter.h"
#include "ui/win32/win32_main_window.h"
#include "ui/win32/win32_user_interface.h"

#include <windows.h>

#include <cstdlib>

namespace
{

qw::LocalTime LocalNow()
{
    SYSTEMTIME now{};
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute};
}

// The program's own window over the application object.
class CProgramMainWindow : public qw::IMainWindow
{
public:
    CProgramMainWindow(qw::IFileSystem& files, qw::IMessagePresenter& presenter,
                       std::string programFolder)
        : m_files(files), m_presenter(presenter), m_programFolder(std::move(programFolder))
    {
    }

    void RunModal(qw::CShredApp& app) override
    {
        qw::CAppMainWindowHost host(app);
        qw::CWin32MainWindow window({m_files, m_presenter, m_programFolder,
                                     app.m_title.empty() ? "Quellwipe" : app.m_title,
                                     [&app] { return app.m_language; },
                                     [&app](int key, std::string_view defaultText)
                                     { return app.CaptionText(key, defaultText); },
                                     std::string(qw::kVersion)});
        // Shown on the primary monitor while the window starts.
        qw::CWin32Splash splash(m_files, nullptr);
        if (!app.m_schedule)
        {
            // The component is missing or would not start: the commands say so.
            qw::CSchedulingUnavailable unavailable(host);
            window.Run(host, unavailable, &splash);
            return;
        }
        qw::CSchedulingClient scheduling(host, window, app.m_schedule, LocalNow);
        window.Run(host, scheduling, &splash);
    }

private:
    qw::IFileSystem& m_files;
    qw::IMessagePresenter& m_presenter;
    std::string m_programFolder;
};

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    qw::timeline::Mark("main");
    qw::CRegistrySettingsStore settings(qw::kSettingsCompany, qw::kSettingsProfile);
    qw::CWin32SystemInfo system;
    qw::CWin32Runtime runtime;
    qw::CWin32ModuleLoader modules;
    qw::CWin32FileSystem files;
    qw::CWin32TextCodec codec;
    const std::string programPath = system.ProgramPath();
    // The app's language, known once it has started; English before.
    qw::CShredApp* running = nullptr;
    const std::string programFolder = programPath.substr(0, programPath.find_last_of('\\'));
    const auto language = [&running] {
        return running && !running->m_language.empty() ? running->m_language
                                                       : std::string("English");
    };
    qw::CMoviePresenter presenter(files, programFolder, language);
    qw::CPresenterForPeople progressPresenter(presenter, [&running]
                                              { return running && running->m_unattended; });
    qw::CWin32Shell shell;
    qw::CWin32UserInterface ui;
    ui.SetMovieFace({files, progressPresenter, programFolder, language});
    CProgramMainWindow mainWindow(files, presenter, programFolder);
    qw::CTargetsRun targetsRun;
    qw::CWin32NamedMutexes mutexes;
    qw::Platform platform{settings,  system, runtime, modules,    files,      codec,
                          presenter, shell,  ui,      mainWindow, targetsRun, mutexes};
    qw::CWin32ClassRegistry classes;
    qw::CCompanionChecks companions(classes);
    platform.companions = &companions;
    qw::CWin32AutomationFactory automation;
    platform.automation = &automation;
    qw::CWin32Sha256 sha256;
    platform.sha256 = &sha256;

    qw::CShredApp app(platform);
    running = &app;
    std::string commandLine = qw::WideToUtf8(GetCommandLineW());
    std::string arguments(
        qw::ArgumentsAfterProgramName(commandLine, system.ProgramPath(), files.AbsolutePath(".")));
    qw::timeline::Mark("start-up");
    const qw::StartOutcome outcome = app.InitInstance(arguments);
    qw::timeline::Mark("run done");
    switch (outcome)
    {
    case qw::StartOutcome::ExitAtOnce:
        ExitProcess(0);
    case qw::StartOutcome::Abort:
        std::abort();
    case qw::StartOutcome::Completed:
    case qw::StartOutcome::Failed:
        break;
    }
    const int code = app.ExitInstance();
    qw::timeline::Write();
    return code;
}
