// Start-up over the real Win32 platform (registry, kernel, shell), with only
// the windows faked.

#include "app/companion_checks.h"
#include "app/shred_app.h"
#include "fakes/fake_platform.h"
#include "platform/setting_names.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_class_registry.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_modules.h"
#include "platform/win32/win32_named_mutexes.h"
#include "platform/win32/win32_runtime.h"
#include "platform/win32/win32_system_info.h"
#include "platform/win32/win32_text_codec.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace qw
{
namespace
{

const wchar_t kSettingsKey[] = L"Software\\Quellwipe\\Shred";

bool ValueExists(const wchar_t* name)
{
    CUniqueKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
    {
        return false;
    }
    return RegQueryValueExW(key.Get(), name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool SettingsKeyExists()
{
    CUniqueKey key;
    return RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, key.Out()) == ERROR_SUCCESS;
}

struct RealPlatform
{
    CRegistrySettingsStore settings{kSettingsCompany, kSettingsProfile};
    CWin32SystemInfo system;
    CWin32Runtime runtime;
    CWin32ModuleLoader modules;
    CWin32FileSystem files;
    CWin32TextCodec codec;
    test::CFakePresenter presenter;
    test::CFakeShell shell;
    test::CFakeUserInterface ui;
    test::CFakeMainWindow mainWindow;
    test::CFakeTargetsRun targetsRun;
    CWin32NamedMutexes mutexes;
    Platform platform{settings,  system, runtime, modules,    files,      codec,
                      presenter, shell,  ui,      mainWindow, targetsRun, mutexes};
};

class Win32StartupTest : public ::testing::Test
{
protected:
    void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quellwipe"); }
    void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Quellwipe"); }
};

TEST_F(Win32StartupTest, FreshProfileInteractiveStartWritesOnlyAppPath)
{
    RealPlatform real;
    CShredApp app(real.platform);
    ASSERT_EQ(app.InitInstance(""), StartOutcome::Completed);
    EXPECT_EQ(real.mainWindow.runs, 1);

    std::string program = real.system.ProgramPath();
    std::string folder = program.substr(0, program.rfind('\\'));
    EXPECT_EQ(real.settings.ReadText(kAppPath, "none"), folder);
    EXPECT_NE(folder.back(), '\\');
    EXPECT_TRUE(ValueExists(L"AppPath"));
    for (const wchar_t* unwritten :
         {L"PassCount", L"Method", L"Language", L"AlertDisabled", L"Folder", L"Remove"})
    {
        EXPECT_FALSE(ValueExists(unwritten)) << WideToUtf8(unwritten);
    }
    EXPECT_EQ(app.m_passCount, 3);
    EXPECT_EQ(app.m_method, 0);
    EXPECT_EQ(app.m_language, "English");
    EXPECT_EQ(app.ExitInstance(), 0);
}

TEST_F(Win32StartupTest, FreshProfileTargetsStartWritesNothing)
{
    RealPlatform real;
    CShredApp app(real.platform);
    ASSERT_EQ(app.InitInstance(R"("C:\nothing-here.txt")"), StartOutcome::Completed);
    EXPECT_EQ(real.targetsRun.runs, 1);
    EXPECT_FALSE(SettingsKeyExists());
    EXPECT_EQ(app.m_appPath, "");
}

TEST_F(Win32StartupTest, MachineFactsOfTheRealSystem)
{
    RealPlatform real;
    CShredApp app(real.platform);
    ASSERT_EQ(app.InitInstance(""), StartOutcome::Completed);
    EXPECT_EQ(app.m_driveRoots[2], "C:\\");
    EXPECT_EQ(app.m_recycleCapable, 1);
    EXPECT_EQ(app.m_freeSpaceFunction, FreeSpaceFunction::Extended);
    EXPECT_EQ(app.m_protectedFolders[1].rfind(app.m_protectedFolders[0], 0), 0u);
    EXPECT_EQ(app.m_protectedFolders[6], app.m_protectedFolders[1] + "\\IOSUBSYS");
    bool anyNtfs = false;
    for (int flag : app.m_ntfs)
    {
        anyNtfs = anyNtfs || flag;
    }
    // The SID is read exactly when an NTFS drive exists (the shell is capable).
    EXPECT_EQ(!app.m_userSid.empty(), anyNtfs);
    if (anyNtfs)
    {
        EXPECT_EQ(app.m_userSid.rfind("S-1-5-21-", 0), 0u) << app.m_userSid;
    }
}

TEST_F(Win32StartupTest, ASecondInteractiveInstanceIsTurnedAway)
{
    // The pack in the application folder names the mutex.
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::string appFolder =
        WideToUtf8(temp) + "qw startup " + std::to_string(GetCurrentProcessId());
    CreateDirectoryW(WidePath(appFolder).c_str(), nullptr);
    CreateDirectoryW(WidePath(appFolder + "\\Lang").c_str(), nullptr);
    CWin32FileSystem().AppendToFile(appFolder + "\\Lang\\English.ini",
                                    "[Tarnwell Language Pack]\r\n9606=Quellwipe Mutex Test\r\n"
                                    "9065=Quellwipe is already running.\r\n");

    RealPlatform first;
    first.settings.WriteText(kAppPath, appFolder);
    CShredApp firstApp(first.platform);
    ASSERT_EQ(firstApp.InitInstance(""), StartOutcome::Completed);

    RealPlatform second;
    CShredApp secondApp(second.platform);
    EXPECT_EQ(secondApp.InitInstance(""), StartOutcome::ExitAtOnce);
    ASSERT_EQ(second.presenter.shown.size(), 1u);
    EXPECT_EQ(second.presenter.shown[0].text, "Quellwipe is already running.");
    EXPECT_EQ(second.mainWindow.runs, 0);

    // A targets run does not ask for the mutex.
    RealPlatform targets;
    CShredApp targetsApp(targets.platform);
    EXPECT_EQ(targetsApp.InitInstance(R"("C:\x")"), StartOutcome::Completed);
    EXPECT_EQ(targets.targetsRun.runs, 1);
}

// The class key under HKEY_CLASSES_ROOT and the file in the real system
// folder decide together; the Recycle Bin verb lands where the shell reads it.
TEST_F(Win32StartupTest, SchedulingUsableOnlyWhenRegisteredAndInTheSystemFolder)
{
    const std::wstring classKey = Utf8ToWide(kSchedulerClassKey);
    const std::wstring file = Utf8ToWide(CWin32SystemInfo().SystemDirectory() + "\\Taskloom.dll");
    struct Case
    {
        bool key, file, usable;
    };
    for (Case c : {Case{false, false, false}, Case{true, false, false}, Case{false, true, false},
                   Case{true, true, true}})
    {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, classKey.c_str());
        DeleteFileW(file.c_str());
        if (c.key)
        {
            CUniqueKey key;
            ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, classKey.c_str(), 0, nullptr, 0, KEY_WRITE,
                                      nullptr, key.Out(), nullptr),
                      ERROR_SUCCESS);
        }
        if (c.file)
        {
            CUniqueHandle made(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                           FILE_ATTRIBUTE_NORMAL, nullptr));
            ASSERT_TRUE(made.Valid());
        }
        RealPlatform real;
        CWin32ClassRegistry classes;
        CCompanionChecks checks(classes);
        real.platform.companions = &checks;
        CShredApp app(real.platform);
        ASSERT_EQ(app.InitInstance(""), StartOutcome::Completed);
        EXPECT_EQ(app.m_schedulerUsable, c.usable) << c.key << c.file;
        // No Shellvane.dll beside the tests: its warning always follows.
        EXPECT_EQ(real.presenter.shown.size(), c.usable ? 1u : 2u);
    }
    RegDeleteTreeW(HKEY_CLASSES_ROOT, classKey.c_str());
    DeleteFileW(file.c_str());

    CUniqueKey verb;
    std::wstring command = L"Software\\Classes\\" + Utf8ToWide(kRecycleVerbKey) + L"\\command";
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, command.c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                            verb.Out()),
              ERROR_SUCCESS);
    wchar_t text[1024] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    ASSERT_EQ(RegQueryValueExW(verb.Get(), nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                               &size),
              ERROR_SUCCESS);
    std::string program = CWin32SystemInfo().ProgramPath();
    EXPECT_EQ(WideToUtf8(text),
              "\"" + program.substr(0, program.rfind('\\')) + "\\Quellwipe.exe\" recycle");
}

} // namespace
} // namespace qw
