// What a run's caller learns: the exit code, and what the log says of it.

#include "app/run_outcome.h"
#include "platform/setting_names.h"
#include "app/targets_run.h"
#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <functional>

namespace qw
{
namespace
{

LeftItem Left(LeftReason reason)
{
    return {"C:\\f", reason, 0, "left", false};
}

TEST(ExitCodeTally, TheGravestOutcomeWins)
{
    using Step = std::function<void(IRunEvents&)>;
    const Step left = [](IRunEvents& e) { e.ItemLeft(Left(LeftReason::CannotOpen)); };
    const Step declined = [](IRunEvents& e) { e.ItemLeft(Left(LeftReason::Declined)); };
    const Step shredded = [](IRunEvents& e)
    {
        e.ItemStarted({"C:\\f", ItemKind::File});
        e.PassFinished({10});
        e.Renamed("C:\\f", "C:\\x");
        e.Deleted("C:\\x");
    };
    const auto end = [](RunEndKind kind) { return [kind](IRunEvents& e) { e.RunEnded({kind, {}}); }; };
    const struct
    {
        const char* what;
        std::vector<Step> steps;
        int code;
    } cases[] = {
        {"nothing happened", {}, 0},
        {"every item shredded", {shredded, shredded, end(RunEndKind::Completed)}, 0},
        {"one item left among shredded ones", {shredded, left, shredded, end(RunEndKind::Completed)}, 1},
        {"a question answered no", {declined, end(RunEndKind::Completed)}, 1},
        {"cancelled after an item was left", {left, end(RunEndKind::Cancelled)}, 2},
        {"cancelled, then a later run completes", {end(RunEndKind::Cancelled), shredded,
                                                   end(RunEndKind::Completed)}, 2},
        {"refused outranks all", {left, end(RunEndKind::Cancelled), end(RunEndKind::Refused)}, 3},
    };
    for (const auto& c : cases)
    {
        CExitCodeTally tally;
        CRunEventFanOut events;
        events.Add(tally);
        for (const Step& step : c.steps)
        {
            step(events);
        }
        EXPECT_EQ(tally.Code(), c.code) << c.what;
    }
}

constexpr const char* kPack = "[Tarnwell Language Pack]\n"
                              "9008=No kernel.\n9037=Cannot open %s.\n9052=Shred %s?\n"
                              "9053=Not found: %s\n9070=Cancelled.\n9077=Left partly: %s\n"
                              "9118=Not started:#%s\n";

// Whole runs over the fake machine: their exit code and their log.
TEST(ExitCode, OfWholeRuns)
{
    const struct
    {
        const char* what;
        const char* line;
        std::function<void(test::FakePlatform&)> arrange;
        int code;
        const char* log; // after the task line
    } cases[] = {
        {"a clean unattended run", R"("/s" "t" "C:\d\f.bin")", nullptr, 0, "Success\r\n\r\n"},
        {"a missing target", R"("/s" "t" "C:\d\f.bin" "C:\d\gone")", nullptr, 1,
         "Not found: %s\r\n\r\n"},
        {"a file held open", R"("/s" "t" "C:\d\f.bin")",
         [](test::FakePlatform& f) { f.files.failOpen.insert("C:\\d\\f.bin"); }, 1,
         "Cannot open %s.\r\n\r\n"},
        {"cancelled during the overwrite", R"("/s" "t" "C:\d\f.bin")",
         [](test::FakePlatform& f) { f.ui.cancelAtPump = 1; }, 2,
         "Left partly: C:\\d\\f.bin\r\n\r\nCancelled.\r\n\r\n"},
        {"an unknown subfolder rule", R"("/s" "t" "/F3" "C:\d")", nullptr, 3,
         "Not started:#/F3\r\n\r\n"},
        {"an unknown remove rule", R"("/s" "t" "/R-1" "C:\d")", nullptr, 3,
         "Not started:#/R-1\r\n\r\n"},
        // Without "/s" the switches are not read: the settings decide.
        {"a confirmed run ignores the rules", R"("/F3" "C:\d\f.bin")",
         [](test::FakePlatform& f) { f.presenter.answers = {"Yes"}; }, 0, ""},
        {"a confirmation declined", R"("C:\d\f.bin")",
         [](test::FakePlatform& f) { f.presenter.answers = {"No"}; }, 2, ""},
        // The person's Cancel on a report ends the run there.
        {"a report cancelled", R"("C:\gone" "C:\d\f.bin")",
         [](test::FakePlatform& f) { f.presenter.answers = {"Yes", "Cancel"}; }, 2, ""},
        {"a start check that failed", R"("/s" "t" "C:\d\f.bin")",
         [](test::FakePlatform& f) { f.modules.modules.erase("kernel32.dll"); }, 3, ""},
    };
    for (const auto& c : cases)
    {
        test::FakePlatform fake("C:\\Qw\\Quellwipe.exe");
        fake.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
        fake.settings.WriteText(kAppPath, "C:\\Qw");
        fake.system.driveMask = 0b100;
        fake.system.driveTypes = {{"C:\\", DriveType::Fixed}};
        fake.files.folders = {"C:\\", "C:\\d"};
        fake.files.files["C:\\d\\f.bin"] = std::string(200000, 'S');
        if (c.arrange)
        {
            c.arrange(fake);
        }
        CShredApp app(fake.platform);
        if (app.InitInstance(c.line) == StartOutcome::Completed)
        {
            CTargetsRun().Run(app);
        }
        EXPECT_EQ(app.ExitInstance(), c.code) << c.what;
        std::string log = fake.files.files["C:\\Qw\\log.txt"];
        const std::string taskLine = "Task Name:t\r\n";
        if (log.starts_with(taskLine))
        {
            log.erase(0, taskLine.size());
        }
        EXPECT_EQ(log, c.log) << c.what;
        // The file goes in the runs that reached it and shredded it.
        const bool reached = c.code == 0 || std::string(c.what) == "a missing target";
        EXPECT_EQ(fake.files.files.count("C:\\d\\f.bin") == 0, reached) << c.what;
    }
}

TEST(ExitCode, TheMainWindowEndsWithZeroWhateverItsRunsMet)
{
    test::FakePlatform fake("C:\\Qw\\Quellwipe.exe");
    fake.mainWindow.onRun = [](CShredApp& app)
    {
        app.BeginRun({});
        app.ReportLeft({"C:\\f", LeftReason::CannotOpen, 5, "Cannot open.", true});
        app.EndRun({RunEndKind::Cancelled, {}});
    };
    CShredApp app(fake.platform);
    EXPECT_EQ(app.InitInstance(""), StartOutcome::Completed);
    EXPECT_EQ(app.ExitInstance(), kExitShredded);
}

} // namespace
} // namespace qw
