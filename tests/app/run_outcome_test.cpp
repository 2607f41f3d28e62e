// What a run's caller learns: the exit code, and what the log says of it.

#include "app/run_outcome.h"
#include "platform/setting_names.h"
#include "app/targets_run.h"
#include "fakes/fake_platform.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

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

using Json = nlohmann::json;

constexpr const char* kRecordPath = "C:\\Users\\u\\AppData\\Local\\Quellwipe\\erasure.jsonl";

// The record's lines, each checked to carry the digest of the one before it.
std::vector<Json> ChainedLines(const std::string& record, ISha256& sha)
{
    std::vector<Json> lines;
    std::string previous;
    for (std::size_t at = 0; at < record.size();)
    {
        const std::size_t end = record.find('\n', at);
        const std::string line = record.substr(at, end - at);
        at = end + 1;
        Json json = Json::parse(line);
        if (lines.empty() && previous.empty())
        {
            EXPECT_FALSE(json.contains("prev")) << line;
        }
        else
        {
            EXPECT_EQ(json.value("prev", ""), sha.Hex(previous)) << line;
        }
        previous = line;
        if (json.contains("type"))
        {
            lines.push_back(std::move(json));
        }
    }
    return lines;
}

// "kind outcome bytes passes verified;" or "kind left reason code;" per item.
std::string ItemSummary(const std::vector<Json>& lines)
{
    std::string summary;
    for (const Json& line : lines)
    {
        if (line["type"] != "item")
        {
            continue;
        }
        summary += line["kind"].get<std::string>() + " " + line["outcome"].get<std::string>() + " ";
        if (line["outcome"] == "left")
        {
            summary += line["reason"].get<std::string>() + " " + std::to_string(line["code"].get<int>());
        }
        else
        {
            summary += std::to_string(line["bytes"].get<std::uint64_t>()) + " " +
                       std::to_string(line["passes"].get<int>()) +
                       (line["verified"] == true ? " verified" : " unverified");
        }
        summary += ";";
    }
    return summary;
}

constexpr const char* kPack = "[Tarnwell Language Pack]\n"
                              "9008=No kernel.\n9037=Cannot open %s.\n9052=Shred %s?\n"
                              "9053=Not found: %s\n9070=Cancelled.\n9077=Left partly: %s\n"
                              "9118=Not started:#%s\n9119=%u of %t done\n9900=Shredding.....\n";

// Drive C: with the folder C:\d and the program's pack.
void SmallMachine(test::FakePlatform& fake)
{
    fake.files.files["C:\\Qw\\Lang\\English.ini"] = kPack;
    fake.settings.WriteText(kAppPath, "C:\\Qw");
    fake.system.driveMask = 0b100;
    fake.system.driveTypes = {{"C:\\", DriveType::Fixed}};
    fake.files.folders = {"C:\\", "C:\\d"};
}

// Whole runs over the fake machine: their exit code and their log.
TEST(ExitCode, OfWholeRuns)
{
    const struct
    {
        const char* what;
        const char* line;
        std::function<void(test::FakePlatform&)> arrange;
        int code;
        const char* log;  // after the task line
        const char* items; // the record's item lines; null: no record
    } cases[] = {
        {"a clean unattended run", R"("/s" "t" "C:\d\f.bin")", nullptr, 0, "Success\r\n\r\n",
         "file shredded 200000 1 verified;"},
        {"a missing target", R"("/s" "t" "C:\d\f.bin" "C:\d\gone")", nullptr, 1,
         "Not found: %s\r\n\r\n", "file shredded 200000 1 verified;unknown left not-found 0;"},
        {"a file held open", R"("/s" "t" "C:\d\f.bin")",
         [](test::FakePlatform& f) { f.files.failOpen.insert("C:\\d\\f.bin"); }, 1,
         "Cannot open %s.\r\n\r\n", "file left cannot-open 32;"},
        {"cancelled during the overwrite", R"("/s" "t" "C:\d\f.bin")",
         [](test::FakePlatform& f) { f.ui.cancelAtPump = 1; }, 2,
         "Left partly: C:\\d\\f.bin\r\n\r\nCancelled.\r\n\r\n", "file left stopped 0;"},
        {"an unknown subfolder rule", R"("/s" "t" "/F3" "C:\d")", nullptr, 3,
         "Not started:#/F3\r\n\r\n", ""},
        {"an unknown remove rule", R"("/s" "t" "/R-1" "C:\d")", nullptr, 3,
         "Not started:#/R-1\r\n\r\n", ""},
        // Without "/s" the switches are not read: the settings decide.
        {"a confirmed run ignores the rules", R"("/F3" "C:\d\f.bin")",
         [](test::FakePlatform& f) { f.presenter.answers = {"Yes"}; }, 0, "",
         "file shredded 200000 1 verified;"},
        {"a confirmation declined", R"("C:\d\f.bin")",
         [](test::FakePlatform& f) { f.presenter.answers = {"No"}; }, 2, "", ""},
        // The person's Cancel on a report ends the run there.
        {"a report cancelled", R"("C:\gone" "C:\d\f.bin")",
         [](test::FakePlatform& f) { f.presenter.answers = {"Yes", "Cancel"}; }, 2, "",
         "unknown left not-found 0;"},
        {"a start check that failed", R"("/s" "t" "C:\d\f.bin")",
         [](test::FakePlatform& f) { f.modules.modules.erase("kernel32.dll"); }, 3, "",
         nullptr},
    };
    for (const auto& c : cases)
    {
        test::FakePlatform fake("C:\\Qw\\Quellwipe.exe");
        SmallMachine(fake);
        fake.files.files["C:\\d\\f.bin"] = std::string(200000, 'S');
        if (c.arrange)
        {
            c.arrange(fake);
        }
        fake.platform.sha256 = &fake.sha;
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

        const auto record = fake.files.files.find(kRecordPath);
        ASSERT_EQ(record != fake.files.files.end(), c.items != nullptr) << c.what;
        if (c.items)
        {
            const std::vector<Json> lines = ChainedLines(record->second, fake.sha);
            ASSERT_GE(lines.size(), 2u) << c.what;
            EXPECT_EQ(lines.front()["type"], "run-start") << c.what;
            const std::string line = c.line;
            std::size_t named = 0;
            for (std::size_t at = line.find("\"C:"); at != std::string::npos;
                 at = line.find("\"C:", at + 1))
            {
                ++named;
            }
            EXPECT_EQ(lines.front()["targets"].size(), named) << c.what;
            EXPECT_EQ(lines.back()["type"], "run-end") << c.what;
            EXPECT_EQ(lines.back()["exit"], c.code) << c.what;
            EXPECT_EQ(ItemSummary(lines), c.items) << c.what;
        }
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

// The caption counts what the run was given, a name not found included.
TEST(ProgressTally, CountsTheNamedItemsAsEachIsDoneWith)
{
    test::FakePlatform fake("C:\\Qw\\Quellwipe.exe");
    SmallMachine(fake);
    fake.files.files["C:\\d\\a"] = "a";
    fake.files.files["C:\\d\\b"] = "b";
    CShredApp app(fake.platform);
    ASSERT_EQ(app.InitInstance(R"("/s" "t" "C:\d\a" "C:\gone" "C:\d\b")"), StartOutcome::Completed);
    CTargetsRun().Run(app);
    EXPECT_EQ(fake.ui.captions, (std::vector<std::string>{"Shredding - 1 of 3 done",
                                                          "Shredding - 2 of 3 done",
                                                          "Shredding - 3 of 3 done"}));
}

// Items as the engine nests them, names withheld, and a chain that goes on
// over a line another run appended.
TEST(ErasureRecord, NestsItemsWithholdsNamesAndChainsOverOtherRuns)
{
    test::FakePlatform fake;
    bool names = true;
    CErasureRecord record(fake.files, fake.mutexes, fake.system, &fake.sha,
                          [] { return std::string("C:\\Users\\u\\AppData\\Local\\Quellwipe"); },
                          [&names] { return names; });
    record.RunStarted({"", false, 1, 2, {"C:\\d"}, true});
    record.ItemStarted({"C:\\d", ItemKind::Folder});
    record.ItemStarted({"C:\\d\\a", ItemKind::File});
    record.PassFinished({100, 1});
    record.PassFinished({100, 2});
    record.Verified(true);
    record.Renamed("C:\\d\\a", "C:\\d\\x");
    record.Deleted("C:\\d\\x");
    record.ItemEnded();
    record.ItemStarted({"C:\\d\\b", ItemKind::File});
    record.ItemLeft({"C:\\d\\b", LeftReason::CannotOpen, 32, "held", false});
    record.ItemEnded();
    record.RunEnded({RunEndKind::Completed, {}});
    EXPECT_EQ(record.Run().exitCode, kExitItemsLeft);
    EXPECT_EQ(record.Run().bytes, 100u);

    // Another process's run, chained as it should be.
    fake.files.files[kRecordPath] += "{\"prev\":\"" + record.Run().lastLineHash + "\"}\n";
    names = false;
    record.RunStarted({"nightly", true, 0, 1, {"C:\\"}, true});
    record.ItemStarted({"C:\\", ItemKind::FreeSpace});
    record.PassFinished({30, 1});
    record.ItemStarted({"C:\\wipe\\f1", ItemKind::File}); // a filler: no item of its own
    record.PassFinished({50, 1});
    record.Verified(true);
    record.Deleted("C:\\wipe\\f1");
    record.ItemEnded();
    record.Verified(false);
    record.ItemLeft({"C:\\wipe\\f2", LeftReason::NotVerified, 0, "differs", false});
    record.ItemEnded();
    record.ItemLeft({"C:\\gone", LeftReason::NotFound, 2, "missing", false});
    record.RunEnded({RunEndKind::Completed, {}});

    const std::vector<Json> lines = ChainedLines(fake.files.files[kRecordPath], fake.sha);
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(ItemSummary({lines.begin(), lines.begin() + 5}),
              "file shredded 100 6 verified;file left cannot-open 32;folder left contents-left 0;");
    EXPECT_EQ(lines[3]["bytes"], 100); // the folder's files
    // Two rounds of the thorough method write three passes each.
    EXPECT_EQ(lines[0]["rounds"], 2);
    EXPECT_EQ(lines[0]["passes"], 6);
    EXPECT_EQ(lines[5]["targets"], Json::array({"withheld"}));
    EXPECT_EQ(lines[5]["task"], "nightly");
    EXPECT_EQ(lines[5]["method"], "quick");
    EXPECT_EQ(lines[5]["names"], "withheld");
    EXPECT_EQ(ItemSummary({lines.begin() + 5, lines.end()}),
              "free-space left not-verified 0;unknown left not-found 2;");
    EXPECT_EQ(lines[6]["path"], "withheld");
    EXPECT_EQ(lines[6]["bytes"], 80);
    EXPECT_EQ(lines[6]["verified"], false);
    EXPECT_EQ(lines[7]["path"], "withheld");
    EXPECT_EQ(lines[8]["left"], 2);
    EXPECT_EQ(lines[8]["exit"], kExitItemsLeft);
    EXPECT_EQ(lines[8]["start"], "2026-12-10T13:45:00Z");
    const std::string& text = fake.files.files[kRecordPath];
    const std::size_t lastStart = text.rfind('\n', text.size() - 2) + 1;
    EXPECT_EQ(record.Run().lastLineHash,
              fake.sha.Hex(text.substr(lastStart, text.size() - 1 - lastStart)));
}

// A long run's items reach the record in batches, before the run ends, and
// chain across them.
TEST(ErasureRecord, ItemsGoOutInBatchesDuringTheRun)
{
    test::FakePlatform fake;
    CErasureRecord record(fake.files, fake.mutexes, fake.system, &fake.sha,
                          [] { return std::string("C:\\Users\\u\\AppData\\Local\\Quellwipe"); },
                          [] { return true; });
    const auto lines = [&fake] { return std::count(fake.files.files[kRecordPath].begin(),
                                                   fake.files.files[kRecordPath].end(), '\n'); };
    record.RunStarted({"", false, 0, 1, {"C:\\d"}, true});
    EXPECT_EQ(lines(), 1);
    for (int n = 0; n < 300; ++n)
    {
        const std::string path = "C:\\d\\" + std::to_string(n);
        record.ItemStarted({path, ItemKind::File});
        record.Deleted(path);
        record.ItemEnded();
    }
    EXPECT_EQ(lines(), 1 + 256);
    record.RunEnded({RunEndKind::Completed, {}});
    EXPECT_EQ(ChainedLines(fake.files.files[kRecordPath], fake.sha).size(), 302u);
}

} // namespace
} // namespace qw
