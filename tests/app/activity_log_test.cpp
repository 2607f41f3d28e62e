#include "app/activity_log.h"

#include "app/log_reader.h"
#include "app/shred_app.h"
#include "fakes/fake_platform.h"
#include "fakes/recording_file_system.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <vector>

namespace qw
{
namespace
{

TEST(ActivityLog, EntriesByteForByte)
{
    test::CFakeSettingsStore settings;
    test::CFakeFileSystem files;
    test::CFakeNamedMutexes mutexes;
    settings.WriteText("AppPath", "C:\\Qw");
    CActivityLog log(settings, files, mutexes);
    log.AppendTaskLine("Nightly");
    log.AppendStatus("The file %s could not be opened.#Try again.");
    log.AppendStatus("Success");
    EXPECT_EQ(files.files["C:\\Qw\\log.txt"], "Task Name:Nightly\r\n"
                                              "The file %s could not be opened.#Try again.\r\n\r\n"
                                              "Success\r\n\r\n");
}

TEST(ActivityLog, PathFollowsTheSettingAtEveryWrite)
{
    test::CFakeSettingsStore settings;
    test::CFakeFileSystem files;
    test::CFakeNamedMutexes mutexes;
    CActivityLog log(settings, files, mutexes);
    log.AppendStatus("first"); // no AppPath: relative to the drive root
    settings.WriteText("AppPath", "E:\\Else");
    log.AppendStatus("second");
    EXPECT_EQ(files.files["\\log.txt"], "first\r\n\r\n");
    EXPECT_EQ(files.files["E:\\Else\\log.txt"], "second\r\n\r\n");
}

TEST(ActivityLog, AFailedWriteIsIgnored)
{
    test::FakePlatform fake;
    fake.files.failAppends = true;
    CShredApp app(fake.platform);
    app.RecordStatus("could not write");
    EXPECT_EQ(app.m_runStatus, "could not write");
    EXPECT_TRUE(fake.files.files.empty());
}

// The fake file system, noting for each append whether the log's mutex was
// held.
class CMutexWatchingFiles : public test::CFileSystemDecorator<test::CFakeFileSystem>
{
public:
    explicit CMutexWatchingFiles(test::CFakeNamedMutexes& mutexes) : m_mutexes(mutexes) {}
    bool AppendToFile(const std::string& path, std::string_view bytes) override
    {
        unguarded += m_mutexes.held.empty() ? 1 : 0;
        return CFileSystemDecorator::AppendToFile(path, bytes);
    }
    int unguarded = 0;

private:
    test::CFakeNamedMutexes& m_mutexes;
};

// One step of runs sharing the log: run `run` writes its task line ("task"
// + number) when `status` is empty, else that status. `lost`: the append
// fails.
struct Step
{
    int run;
    std::string status;
    bool lost = false;
};

struct InterleavingCase
{
    const char* what;
    std::vector<Step> steps;
    bool noMutex = false;               // the mutex is never had
    std::optional<std::string> exactly; // the whole log, where it matters
};

std::string TaskName(int run)
{
    return "task" + std::to_string(run);
}

TEST(ActivityLog, RunsAtOnceKeepEveryStatusUnderTheirOwnTaskLine)
{
    const std::vector<InterleavingCase> cases = {
        {"one run writes exactly what it always wrote",
         {{1, ""}, {1, "Not found"}, {1, "Success"}},
         false,
         "Task Name:task1\r\nNot found\r\n\r\nSuccess\r\n\r\n"},
        {"runs one after the other repeat nothing",
         {{1, ""}, {1, "Success"}, {2, ""}, {2, "Success"}},
         false,
         "Task Name:task1\r\nSuccess\r\n\r\nTask Name:task2\r\nSuccess\r\n\r\n"},
        {"two runs started at once",
         {{1, ""}, {2, ""}, {2, "Success"}, {1, "Success"}},
         false,
         "Task Name:task1\r\nTask Name:task2\r\nSuccess\r\n\r\n"
         "Task Name:task1\r\nSuccess\r\n\r\n"},
        {"three runs, one fails while the others write between its failures",
         {{1, ""},
          {2, ""},
          {3, ""},
          {2, "Not found"},
          {1, "Success"},
          {2, "Could not delete"},
          {2, "Not found again"},
          {3, "Success"}},
         false,
         std::nullopt},
        {"a run whose append fails writes its task line with the next status",
         {{1, ""}, {2, "", true}, {1, "Success"}, {2, "Disk full", true}, {2, "Not found"}},
         false,
         "Task Name:task1\r\nSuccess\r\n\r\nTask Name:task2\r\nNot found\r\n\r\n"},
        {"without the mutex each status carries its task line",
         {{1, ""}, {1, "Not found"}, {2, ""}, {1, "Success"}, {2, "Success"}},
         true,
         "Task Name:task1\r\nTask Name:task1\r\nNot found\r\n\r\nTask Name:task2\r\n"
         "Task Name:task1\r\nSuccess\r\n\r\nTask Name:task2\r\nSuccess\r\n\r\n"},
    };
    for (const InterleavingCase& c : cases)
    {
        SCOPED_TRACE(c.what);
        test::CFakeSettingsStore settings;
        settings.WriteText("AppPath", "C:\\Qw");
        test::CFakeNamedMutexes mutexes;
        CMutexWatchingFiles files(mutexes);
        std::map<int, CActivityLog> runs;
        if (c.noMutex)
        {
            CActivityLog probe(settings, files, mutexes);
            mutexes.unavailable.insert(probe.MutexName(probe.Path()));
        }
        std::map<std::string, std::vector<std::string>> expected;
        for (const Step& step : c.steps)
        {
            files.RealFiles().failAppends = step.lost;
            CActivityLog& log = runs.try_emplace(step.run, settings, files, mutexes).first->second;
            if (step.status.empty())
            {
                log.AppendTaskLine(TaskName(step.run));
            }
            else
            {
                log.AppendStatus(step.status);
            }
            if (!step.lost)
            {
                auto& statuses = expected[TaskName(step.run)];
                if (!step.status.empty())
                {
                    statuses.push_back(step.status);
                }
            }
        }
        const std::string log = files.RealFiles().files["C:\\Qw\\log.txt"];
        EXPECT_EQ(test::Attributed(log), expected) << log;
        if (c.exactly)
        {
            EXPECT_EQ(log, *c.exactly);
        }
        EXPECT_EQ(files.unguarded, c.noMutex ? static_cast<int>(c.steps.size()) : 0);
        EXPECT_TRUE(mutexes.held.empty());
    }
}

TEST(ActivityLog, OneMutexForEverySpellingOfTheLogsPath)
{
    test::CFakeSettingsStore settings;
    test::CFakeFileSystem files;
    test::CFakeNamedMutexes mutexes;
    files.currentFolder = "C:\\Work";
    CActivityLog log(settings, files, mutexes);
    EXPECT_EQ(log.MutexName("\\QW\\log.txt"), log.MutexName("c:\\qw\\LOG.TXT"));
    EXPECT_NE(log.MutexName("C:\\Qw\\log.txt"), log.MutexName("D:\\Qw\\log.txt"));
    EXPECT_EQ(log.MutexName("C:\\Qw\\log.txt").find('\\'), std::string::npos);
}

// An entry the application folder's log does not take goes to the user's
// folder, made when needed; "View log" then opens whichever was written last.
TEST(ActivityLog, FallsBackToTheUserFolderAndViewsTheLatest)
{
    const std::string app = "C:\\Program Files\\Qw\\log.txt";
    const std::string user = "C:\\Users\\u\\AppData\\Local\\Quellwipe\\log.txt";
    const struct
    {
        const char* what;
        bool appWritable;
        bool userFolderKnown;
        std::string appLog, userLog, latest;
    } cases[] = {
        {"the application folder takes it", true, true,
         "Task Name:t\r\nSuccess\r\n\r\n", "", app},
        {"a standard user's run", false, true, "",
         "Task Name:t\r\nNot found\r\n\r\nSuccess\r\n\r\n", user},
        {"no user folder: lost as before", false, false, "", "", app},
    };
    for (const auto& c : cases)
    {
        test::CFakeSettingsStore settings;
        settings.WriteText("AppPath", "C:\\Program Files\\Qw");
        test::CFakeFileSystem files;
        files.folders = {"C:\\Users\\u\\AppData\\Local"};
        test::CFakeNamedMutexes mutexes;
        if (!c.appWritable)
        {
            files.failAppendsTo.insert(app);
        }
        CActivityLog log(settings, files, mutexes,
                         [&c] { return c.userFolderKnown ? "C:\\Users\\u\\AppData\\Local\\Quellwipe" : ""; });
        log.AppendTaskLine("t");
        if (!c.appWritable)
        {
            log.AppendStatus("Not found");
        }
        log.AppendStatus("Success");
        EXPECT_EQ(files.files[app], c.appLog) << c.what;
        EXPECT_EQ(files.files[user], c.userLog) << c.what;
        EXPECT_EQ(files.folders.count("C:\\Users\\u\\AppData\\Local\\Quellwipe") == 1,
                  !c.appWritable && c.userFolderKnown)
            << c.what;
        EXPECT_EQ(log.LatestPath(), c.latest) << c.what;
    }

    // Both written: the later one holds the latest entries, either way round.
    test::CFakeSettingsStore settings;
    settings.WriteText("AppPath", "C:\\Program Files\\Qw");
    test::CFakeFileSystem files;
    test::CFakeNamedMutexes mutexes;
    CActivityLog log(settings, files, mutexes,
                     [] { return std::string("C:\\Users\\u\\AppData\\Local\\Quellwipe"); });
    files.failAppendsTo.insert(app);
    log.AppendStatus("to the user's log");
    files.failAppendsTo.clear();
    log.AppendStatus("to the application's log");
    EXPECT_EQ(log.LatestPath(), app);
    files.failAppendsTo.insert(app);
    log.AppendStatus("to the user's log again");
    EXPECT_EQ(log.LatestPath(), user);
}

} // namespace
} // namespace qw
