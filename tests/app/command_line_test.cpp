#include "app/command_line.h"

#include "platform/setting_names.h"
#include "app/shred_app.h"
#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

namespace qw
{
namespace
{

std::vector<std::string> Split(std::string_view line)
{
    std::vector<std::string> args;
    SplitCommandLine(line,
                     [&args](std::string_view arg)
                     {
                         args.emplace_back(arg);
                         return true;
                     });
    return args;
}

using Args = std::vector<std::string>;

TEST(CommandLineSplit, QuotedFormTakesOnlyQuotedTexts)
{
    EXPECT_EQ(Split(R"("/s" "Nightly" "/O1" "/T2" "C:\a b\f.txt")"),
              (Args{"/s", "Nightly", "/O1", "/T2", "C:\\a b\\f.txt"}));
    // Unquoted words are dropped once any quote is present.
    EXPECT_EQ(Split(R"(/s "Task" "C:\f")"), (Args{"Task", "C:\\f"}));
    EXPECT_EQ(Split(R"(junk"a"junk"b"tail)"), (Args{"a", "b"}));
    EXPECT_EQ(Split(R"("" "x")"), (Args{"", "x"}));
    // A drive root keeps its backslash before the closing quote.
    EXPECT_EQ(Split(R"("/s" "t" "/O0" "/T3" "C:\")"), (Args{"/s", "t", "/O0", "/T3", "C:\\"}));
}

TEST(CommandLineSplit, QuotedFormEdges)
{
    // An opening quote with nothing after it ends the line.
    EXPECT_EQ(Split(R"("a" ")"), (Args{"a"}));
    // An argument whose closing quote is missing runs to the end.
    EXPECT_EQ(Split(R"("a" "C:\unfinished path)"), (Args{"a", "C:\\unfinished path"}));
}

TEST(CommandLineSplit, UnquotedFormSplitsAtBlanks)
{
    EXPECT_EQ(Split("recycle"), (Args{"recycle"}));
    EXPECT_EQ(Split("  /O1   C:\\x.txt\tD:\\y  "), (Args{"/O1", "C:\\x.txt", "D:\\y"}));
    EXPECT_EQ(Split(""), Args{});
    EXPECT_EQ(Split("   "), Args{});
}

TEST(CommandLineSplit, StopsWhenTheHandlerFails)
{
    int calls = 0;
    bool completed = SplitCommandLine("a b c", [&calls](std::string_view) { return ++calls < 2; });
    EXPECT_FALSE(completed);
    EXPECT_EQ(calls, 2);
}

TEST(LeadingInt, ReadsLikeTheCLibrary)
{
    EXPECT_EQ(ParseLeadingInt("12"), 12);
    EXPECT_EQ(ParseLeadingInt("3abc"), 3);
    EXPECT_EQ(ParseLeadingInt(""), 0);
    EXPECT_EQ(ParseLeadingInt("x1"), 0);
    EXPECT_EQ(ParseLeadingInt("  -7"), -7);
    EXPECT_EQ(ParseLeadingInt("+5"), 5);
    EXPECT_EQ(ParseLeadingInt("99999999999999999999"), 2147483647);
    EXPECT_EQ(ParseLeadingInt("-99999999999999999999"), -2147483647 - 1);
}

class ArgumentHandlerTest : public ::testing::Test
{
protected:
    void Parse(std::string_view line)
    {
        SplitCommandLine(line, [this](std::string_view a) { return m_app.HandleArgument(a); });
    }
    std::string Log() { return m_fake.files.files["C:\\Qw\\log.txt"]; }

    ArgumentHandlerTest() { m_fake.settings.WriteText("AppPath", "C:\\Qw"); }

    test::FakePlatform m_fake;
    CShredApp m_app{m_fake.platform};
};

TEST_F(ArgumentHandlerTest, ScheduledFolderLine)
{
    Parse(R"("/s" "Weekly clean" "/O1" "/T2" "/F2" "/R1" "C:\one" "D:\two")");
    EXPECT_TRUE(m_app.m_unattended);
    EXPECT_EQ(m_app.m_targetCount, 2);
    EXPECT_EQ(m_app.m_targets, (Args{"C:\\one", "D:\\two"}));
    EXPECT_EQ(m_app.m_cmdMethod, 1);
    EXPECT_EQ(m_app.m_cmdPasses, 2);
    EXPECT_EQ(m_app.m_cmdFolderRule, 2);
    EXPECT_EQ(m_app.m_cmdRemoveRule, 1);
    EXPECT_EQ(Log(), "Task Name:Weekly clean\r\n");
}

TEST_F(ArgumentHandlerTest, UnquotedSlashSIsIgnoredInAQuotedLine)
{
    Parse(R"(/s "Task" "C:\f.txt")");
    EXPECT_FALSE(m_app.m_unattended);
    EXPECT_EQ(m_app.m_targets, (Args{"Task", "C:\\f.txt"}));
    EXPECT_EQ(Log(), "");
}

TEST_F(ArgumentHandlerTest, SwitchesAreCaseSensitiveAndUnknownOnesIgnored)
{
    Parse(R"("/o1" "/t5" "/X9" "/" "/Ofast" "/T" "C:\f")");
    EXPECT_EQ(m_app.m_cmdMethod, 0);
    EXPECT_EQ(m_app.m_cmdPasses, 0);
    EXPECT_EQ(m_app.m_targets, (Args{"C:\\f"}));
    EXPECT_FALSE(m_app.m_unattended);
}

TEST_F(ArgumentHandlerTest, TheTaskNameIsTheArgumentAfterSlashSWhateverItLooksLike)
{
    Parse(R"("/s" "/O1" "C:\f")");
    EXPECT_EQ(m_app.m_cmdMethod, 0);
    EXPECT_EQ(Log(), "Task Name:/O1\r\n");
    EXPECT_EQ(m_app.m_targets, (Args{"C:\\f"}));
}

TEST_F(ArgumentHandlerTest, ContextMenuAndRecycleVerbLines)
{
    Parse(R"("C:\a.txt" "C:\dir" "E:\b c.doc")");
    EXPECT_FALSE(m_app.m_unattended);
    EXPECT_EQ(m_app.m_targets, (Args{"C:\\a.txt", "C:\\dir", "E:\\b c.doc"}));

    CShredApp verb(m_fake.platform);
    SplitCommandLine("recycle", [&verb](std::string_view a) { return verb.HandleArgument(a); });
    EXPECT_EQ(verb.m_targets, (Args{"recycle"}));
}

// Verification of the last pass: on unless "/V0" or the setting turns it
// off; the command line wins, in unattended and confirmed runs alike.
TEST_F(ArgumentHandlerTest, VerificationFollowsTheSwitchThenTheSetting)
{
    struct Case
    {
        const char* line;
        std::optional<int> setting;
        bool verify;
        bool refused = false; // an unattended run would not start
    };
    for (const Case& c : {Case{R"("C:\f")", std::nullopt, true},
                          Case{R"("/s" "T" "/V0" "C:\f")", std::nullopt, false},
                          Case{R"("/V0" "C:\f")", 1, false},
                          Case{R"("C:\f")", 0, false},
                          Case{R"("/s" "T" "C:\f")", 0, false},
                          Case{R"("/V1" "C:\f")", 0, true},
                          Case{R"("/s" "T" "/V1" "C:\f")", 0, true},
                          Case{R"("/v0" "C:\f")", std::nullopt, true}, // case-sensitive
                          Case{R"("/V" "C:\f")", 1, true, true},
                          Case{R"("/V2" "C:\f")", 0, false, true}})
    {
        test::FakePlatform fake;
        if (c.setting)
        {
            fake.settings.WriteInt(kVerify, *c.setting);
        }
        CShredApp app(fake.platform);
        SplitCommandLine(c.line, [&app](std::string_view a) { return app.HandleArgument(a); });
        app.PrepareShredOptions();
        EXPECT_EQ(app.Options().verify, c.verify) << c.line;
        EXPECT_EQ(app.m_targets, (Args{"C:\\f"})) << c.line;
        EXPECT_EQ(app.m_refusedSwitches.size(), c.refused ? 1u : 0u) << c.line;
    }
}

TEST_F(ArgumentHandlerTest, OnlySwitchesOrATaskNameLeaveNoTarget)
{
    Parse(R"("/s" "Lonely task")");
    EXPECT_EQ(m_app.m_targetCount, 0);
    EXPECT_TRUE(m_app.m_targets.empty());
}

TEST(ProgramName, IsSkippedWhenTheLineStartsWithIt)
{
    const char* program = "C:\\Program Files\\Quellwipe\\Quellwipe.exe";
    EXPECT_EQ(ArgumentsAfterProgramName(R"("C:\Program Files\Quellwipe\Quellwipe.exe" "/s" "t")",
                                        program),
              R"("/s" "t")");
    EXPECT_EQ(ArgumentsAfterProgramName("Quellwipe recycle", program), "recycle");
    EXPECT_EQ(ArgumentsAfterProgramName("quellwipe.EXE   C:\\x", program), "C:\\x");
    EXPECT_EQ(ArgumentsAfterProgramName(R"("C:\Program Files\Quellwipe\Quellwipe.exe")", program),
              "");
}

TEST(ProgramName, OnlyTheProgramItselfIsDropped)
{
    const char* program = "C:\\Program Files\\Quellwipe\\Quellwipe.exe";
    struct Case
    {
        const char* line;
        const char* arguments;
    };
    const Case cases[] = {
        // Unquoted, with the blank in its folder: the whole path goes.
        {R"(C:\Program Files\Quellwipe\Quellwipe.exe recycle)", "recycle"},
        {R"(c:\program files\quellwipe\QUELLWIPE.EXE C:\x)", R"(C:\x)"},
        {R"(C:\Program Files\Quellwipe\Quellwipe C:\x)", R"(C:\x)"},
        {R"(.\Quellwipe.exe recycle)", "recycle"}, // started from its own folder
        // Another program of the same name, or a file of it, is a target.
        {R"("D:\Old\Quellwipe.exe" "/s")", R"("D:\Old\Quellwipe.exe" "/s")"},
        {R"(D:\Old\Quellwipe.exe recycle)", R"(D:\Old\Quellwipe.exe recycle)"},
        {R"(C:\Program Files\Other\Quellwipe.exe)", R"(C:\Program Files\Other\Quellwipe.exe)"},
        {R"(Renamed.exe recycle)", "Renamed.exe recycle"},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(ArgumentsAfterProgramName(c.line, program, "C:\\Program Files\\Quellwipe"),
                  c.arguments)
            << c.line;
    }
}

TEST(ProgramName, ATaskLineWithoutItIsKeptWhole)
{
    const char* program = "C:\\Quellwipe\\Quellwipe.exe";
    EXPECT_EQ(ArgumentsAfterProgramName(R"("/s" "t" "C:\f")", program), R"("/s" "t" "C:\f")");
    EXPECT_EQ(ArgumentsAfterProgramName("recycle", program), "recycle");
    // A target that merely ends in the program's name is still a target.
    EXPECT_EQ(ArgumentsAfterProgramName(R"("C:\My Quellwipe.exe")", program),
              R"("C:\My Quellwipe.exe")");
}

} // namespace
} // namespace qw
