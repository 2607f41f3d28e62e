// The Win32 platform layer against the real registry, kernel and shell of
// the machine (wine in CI).

#include "app/activity_log.h"
#include "app/log_reader.h"
#include "app/sid_text.h"
#include "fakes/fake_platform.h"
#include "ui/win32/message_box_presenter.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_file_system.h"
#include "platform/win32/win32_modules.h"
#include "platform/win32/win32_named_mutexes.h"
#include "platform/win32/win32_runtime.h"
#include "platform/win32/win32_sha256.h"
#include "platform/win32/win32_system_info.h"
#include "platform/sha256_vectors.h"
#include "platform/win32/win32_text_codec.h"

#include <gtest/gtest.h>

#include <thread>

#include <windows.h>

namespace qw
{
namespace
{

bool KeyExists(const std::wstring& subKey)
{
    CUniqueKey key;
    return RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, key.Out()) ==
           ERROR_SUCCESS;
}

DWORD ValueType(const std::wstring& subKey, const wchar_t* name)
{
    CUniqueKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, key.Out()) != ERROR_SUCCESS)
    {
        return REG_NONE;
    }
    DWORD type = REG_NONE;
    if (RegQueryValueExW(key.Get(), name, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
    {
        return REG_NONE;
    }
    return type;
}

TEST(Win32Sha256, KnownDigests)
{
    CWin32Sha256 sha;
    for (const auto& v : kSha256Vectors)
    {
        EXPECT_EQ(sha.Hex(v.text), v.digest) << v.text;
    }
}

TEST(RegistrySettingsStore, ReadsDefaultsWithoutCreatingTheKey)
{
    CRegistrySettingsStore store("QuellwipeTest", "Fresh");
    EXPECT_EQ(store.ReadInt("PassCount", 3), 3);
    EXPECT_EQ(store.ReadText("Language", "English"), "English");
    EXPECT_FALSE(KeyExists(L"Software\\QuellwipeTest\\Fresh"));
}

TEST(RegistrySettingsStore, WritesDwordsAndStringsIntoTheKey)
{
    const std::wstring subKey = L"Software\\QuellwipeTest\\Typed";
    CRegistrySettingsStore store("QuellwipeTest", "Typed");
    ASSERT_TRUE(store.WriteInt("PassCount", 7));
    ASSERT_TRUE(store.WriteText("AppPath", "C:\\Program Files\\Quellwipe"));
    EXPECT_TRUE(KeyExists(subKey));
    EXPECT_EQ(ValueType(subKey, L"PassCount"), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(ValueType(subKey, L"AppPath"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(store.ReadInt("PassCount", 3), 7);
    EXPECT_EQ(store.ReadText("AppPath", ""), "C:\\Program Files\\Quellwipe");
    // Names are the registry's: case does not matter.
    EXPECT_EQ(store.ReadInt("passcount", 3), 7);
    // A value of the other type is unreadable and gives the default.
    EXPECT_EQ(store.ReadInt("AppPath", -5), -5);
    EXPECT_EQ(store.ReadText("PassCount", "d"), "d");
    ASSERT_TRUE(store.WriteInt("Method", -1));
    EXPECT_EQ(store.ReadInt("Method", 0), -1);
}

TEST(RegistrySettingsStore, TextsOutsideTheAnsiCodePageSurvive)
{
    CRegistrySettingsStore store("QuellwipeTest", "Unicode");
    std::string text =
        "D:\\\xD0\x9F\xD1\x80\xD0\xBE\xD0\xB3\xD1\x80\xD0\xB0\xD0\xBC\xD0\xBC\xD1\x8B "
        "\xE6\x96\x87\xE4\xBB\xB6";
    ASSERT_TRUE(store.WriteText("AppPath", text));
    EXPECT_EQ(store.ReadText("AppPath", ""), text);
    ASSERT_TRUE(store.WriteText("Language", ""));
    EXPECT_EQ(store.ReadText("Language", "English"), "");
}

TEST(Win32SystemInfo, FactsOfTheRunningSystem)
{
    CWin32SystemInfo system;
    std::string program = system.ProgramPath();
    EXPECT_NE(program.find(":\\"), std::string::npos) << program;
    EXPECT_NE(program.find("qw_win32_tests.exe"), std::string::npos) << program;

    EXPECT_NE(system.LogicalDriveMask() & (1u << 2), 0u); // C:
    EXPECT_EQ(system.DriveTypeOf("C:\\"), DriveType::Fixed);
    EXPECT_FALSE(system.FileSystemName("C:\\").empty());
    EXPECT_FALSE(system.WindowsDirectory().empty());
    EXPECT_EQ(system.SystemDirectory().rfind(system.WindowsDirectory(), 0), 0u);
    EXPECT_FALSE(system.SpecialFolder(0x14).empty()); // Fonts
    EXPECT_EQ(system.SpecialFolder(0x7FFF), "");
    EXPECT_EQ(system.GetOsVersion().platformId, 2u);
}

TEST(Win32SystemInfo, UserSidOfTheProcessToken)
{
    CWin32SystemInfo system;
    UserSidResult result = system.ReadUserSid();
    ASSERT_EQ(result.failureCode, 0);
    auto text = FormatSid(result.sid);
    ASSERT_TRUE(text);
    // The same text the system makes of it.
    HANDLE raw = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_READ, &raw));
    CUniqueHandle token(raw);
    BYTE buffer[1000];
    DWORD size = 0;
    ASSERT_TRUE(GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size));
    LPWSTR systemText = nullptr;
    typedef BOOL(WINAPI * ConvertFn)(PSID, LPWSTR*);
    auto convert = reinterpret_cast<ConvertFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"advapi32.dll"), "ConvertSidToStringSidW")));
    ASSERT_NE(convert, nullptr);
    ASSERT_TRUE(convert(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &systemText));
    EXPECT_EQ(*text, WideToUtf8(systemText));
    LocalFree(systemText);
}

TEST(Win32Runtime, TheInstanceMutexIsHeldUntilReleased)
{
    const std::string name = "QuellwipeTest instance " + std::to_string(GetCurrentProcessId());
    {
        CWin32Runtime first;
        EXPECT_EQ(first.CreateInstanceMutex(name), MutexResult::Created);
        CWin32Runtime second;
        EXPECT_EQ(second.CreateInstanceMutex(name), MutexResult::AlreadyExists);
    }
    CWin32Runtime again;
    EXPECT_EQ(again.CreateInstanceMutex(name), MutexResult::Created);
}

TEST(Win32Runtime, ANameHeldByAnotherKindOfObjectCountsAsRunning)
{
    const std::wstring name = L"QuellwipeTest event " + std::to_wstring(GetCurrentProcessId());
    CUniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(event.Valid());
    CWin32Runtime runtime;
    EXPECT_EQ(runtime.CreateInstanceMutex(WideToUtf8(name)), MutexResult::AlreadyExists);
}

TEST(Win32Modules, ShellAndKernelExportsAndVersions)
{
    CWin32ModuleLoader loader;
    auto shell = loader.Load("SHELL32.DLL");
    ASSERT_TRUE(shell);
    auto version = shell->DllVersion();
    ASSERT_TRUE(version);
    EXPECT_GE(version->major, 5u);
    EXPECT_TRUE(shell->HasExport("SHQueryRecycleBinA"));
    EXPECT_TRUE(shell->HasExport("SHEmptyRecycleBinA"));
    EXPECT_FALSE(shell->HasExport("NoSuchExportAnywhere"));

    auto kernel = loader.Load("kernel32.dll");
    ASSERT_TRUE(kernel);
    EXPECT_TRUE(kernel->HasExport("GetDiskFreeSpaceExA"));
    EXPECT_FALSE(kernel->DllVersion()); // kernel32 has no DllGetVersion

    EXPECT_FALSE(loader.Load("no_such_library_qw.dll"));
}

class Win32FileSystemTest : public ::testing::Test
{
protected:
    Win32FileSystemTest()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_root = WideToUtf8(temp) + "qw files " + std::to_string(GetCurrentProcessId());
        CreateDirectoryW(WidePath(m_root).c_str(), nullptr);
    }

    std::string m_root;
};

TEST_F(Win32FileSystemTest, UnicodeNamesAndLongPaths)
{
    CWin32FileSystem files;
    std::string unicode = m_root + "\\\xCE\xB1\xCE\xB2\xCE\xB3 \xE6\x97\xA5\xE6\x9C\xAC.txt";
    EXPECT_TRUE(files.AppendToFile(unicode, "one\r\n"));
    EXPECT_TRUE(files.AppendToFile(unicode, "two\r\n"));
    EXPECT_EQ(files.ReadWholeFile(unicode), "one\r\ntwo\r\n");
    EXPECT_EQ(files.ReadFileEnd(unicode, 5), "two\r\n");
    EXPECT_EQ(files.ReadFileEnd(unicode, 64), "one\r\ntwo\r\n");
    EXPECT_EQ(files.ReadFileEnd(m_root + "\\missing.txt", 5), std::nullopt);

    std::string deep = m_root;
    for (int i = 0; i < 6; ++i)
    {
        deep += "\\" + std::string(60, static_cast<char>('a' + i));
        ASSERT_TRUE(CreateDirectoryW(WidePath(deep).c_str(), nullptr)) << deep.size();
    }
    std::string file = deep + "\\log.txt";
    ASSERT_GT(file.size(), 300u);
    EXPECT_TRUE(files.AppendToFile(file, "deep"));
    EXPECT_EQ(files.ReadWholeFile(file), "deep");
    EXPECT_EQ(files.ReadWholeFile(m_root + "\\missing.txt"), std::nullopt);
}

// "bar." beside "bar": a rooted and a relative name of "bar." reach "bar."
// itself, never what Win32's reading would make of it.
TEST_F(Win32FileSystemTest, RootedAndRelativeNamesAreCompletedAsGiven)
{
    CWin32FileSystem files;
    for (const char* name : {"bar", "bar."})
    {
        CUniqueHandle file(CreateFileW(WidePath(m_root + "\\" + name).c_str(), GENERIC_WRITE, 0,
                                       nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.Valid()) << name;
    }
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryW(Utf8ToWide(m_root).c_str()));
    const std::string rooted = m_root.substr(2) + "\\bar.";
    const std::string relative = "bar.";
    const std::string completedRooted = files.AbsolutePath(rooted);
    const std::string completedRelative = files.AbsolutePath(relative);
    SetCurrentDirectoryW(previous);

    EXPECT_EQ(completedRooted, m_root + "\\bar.");
    EXPECT_EQ(completedRelative, m_root + "\\bar.");
    OsError error;
    auto dotted = files.Open(m_root + "\\bar.", error);
    auto plain = files.Open(m_root + "\\bar", error);
    auto reached = files.Open(completedRooted, error);
    ASSERT_TRUE(dotted && plain && reached);
    EXPECT_EQ(reached->Status().identity, dotted->Status().identity);
    EXPECT_FALSE(reached->Status().identity == plain->Status().identity);
    // A rooted path that reaches the prefix unresolved gets the current drive.
    EXPECT_EQ(WidePath("\\x\\b.").substr(0, 4), L"\\\\?\\");
    EXPECT_EQ(WidePath("\\\\.\\pipe\\p"), L"\\\\.\\pipe\\p");
}

// Runs as threads: a named mutex belongs to a thread, so they exclude each
// other as processes do.
TEST_F(Win32FileSystemTest, RunsAtOnceKeepTheirStatusesUnderTheirTaskLines)
{
    constexpr int kRuns = 6;
    constexpr int kStatuses = 40;
    test::CFakeSettingsStore settings;
    settings.WriteText("AppPath", m_root);
    CWin32FileSystem files;
    CWin32NamedMutexes mutexes;
    std::map<std::string, std::vector<std::string>> expected;
    for (int run = 0; run < kRuns; ++run)
    {
        const std::string task = "task " + std::to_string(run);
        for (int i = 0; i < kStatuses; ++i)
        {
            expected[task].push_back(task + (run == 2 && i % 7 == 0 ? " failed " : " done ") +
                                     std::to_string(i));
        }
    }
    std::vector<std::thread> runs;
    for (int run = 0; run < kRuns; ++run)
    {
        runs.emplace_back(
            [&, run]
            {
                const std::string task = "task " + std::to_string(run);
                CActivityLog log(settings, files, mutexes);
                log.AppendTaskLine(task);
                for (const std::string& status : expected.at(task))
                {
                    log.AppendStatus(status);
                }
            });
    }
    for (std::thread& run : runs)
    {
        run.join();
    }
    const std::string log = files.ReadWholeFile(m_root + "\\log.txt").value_or("");
    EXPECT_EQ(test::Attributed(log), expected);

    // Held by another thread, the mutex is not had within the time asked.
    const std::string name = "QuellwipeTest log " + std::to_string(GetCurrentProcessId());
    auto held = mutexes.Hold(name, std::chrono::milliseconds(0));
    ASSERT_TRUE(held);
    bool had = true;
    std::thread([&] { had = mutexes.Hold(name, std::chrono::milliseconds(50)) != nullptr; }).join();
    EXPECT_FALSE(had);
    held.reset();
    std::thread([&] { had = mutexes.Hold(name, std::chrono::milliseconds(50)) != nullptr; }).join();
    EXPECT_TRUE(had);
}

TEST_F(Win32FileSystemTest, AHardLinkedFileKnowsItsNames)
{
    CWin32FileSystem files;
    const std::string first = m_root + "\\first.txt";
    const std::string second = m_root + "\\second.txt";
    ASSERT_TRUE(files.AppendToFile(first, "shared"));
    ASSERT_TRUE(CreateHardLinkW(WidePath(second).c_str(), WidePath(first).c_str(), nullptr));
    OsError error;
    auto entry = files.Open(first, error);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->Status().linkCount, 2u);
    // Listed where the system lists them; never the name itself.
    std::vector<std::string> others = files.OtherNames(*entry);
    EXPECT_TRUE(others.empty() || others == std::vector<std::string>{second}) << others[0];
}

TEST(Win32TextCodec, AnsiCodePageToUtf8)
{
    CWin32TextCodec codec;
    EXPECT_EQ(codec.AnsiToUtf8("plain ASCII"), "plain ASCII");
    if (GetACP() != 1252)
    {
        GTEST_SKIP() << "ANSI code page is " << GetACP();
    }
    EXPECT_EQ(codec.AnsiToUtf8("Sprache ge\xE4ndert \x80"), "Sprache ge\xC3\xA4ndert \xE2\x82\xAC");
}

TEST(MessageBoxPresenter, TheShellAlertCanBeDeclined)
{
    struct Case
    {
        int button;
        const char* answer;
        bool dontShowAgain;
    };
    for (const Case& c : {Case{IDYES, "Ok", true}, Case{IDNO, "Ok", false},
                          Case{IDCANCEL, "Cancel", false}, Case{0, "", false}})
    {
        ShellAlertResult result = ShellAlertOfButton(c.button);
        EXPECT_EQ(result.answer, c.answer) << c.button;
        EXPECT_EQ(result.dontShowAgain, c.dontShowAgain) << c.button;
    }
}

TEST(WidePath, EveryAbsolutePathIsOpenedAsNamed)
{
    // Win32 would drop the trailing dot and take "." away; with the prefix,
    // a file named "b." is not taken for "b".
    EXPECT_EQ(WidePath("C:\\a\\b."), L"\\\\?\\C:\\a\\b.");
    std::string longPath = "C:\\" + std::string(300, 'x');
    EXPECT_EQ(WidePath(longPath).substr(0, 7), L"\\\\?\\C:\\");
    EXPECT_EQ(WidePath("\\\\server\\share\\f"), L"\\\\?\\UNC\\server\\share\\f");
    EXPECT_EQ(WidePath("\\\\?\\D:\\x"), L"\\\\?\\D:\\x");
    // The program's own files keep Win32's reading unless they are long.
    EXPECT_EQ(WideProgramPath("C:\\Qw\\\\log.txt"), L"C:\\Qw\\\\log.txt");
    EXPECT_EQ(WideProgramPath(longPath).substr(0, 7), L"\\\\?\\C:\\");
}

} // namespace
} // namespace qw
