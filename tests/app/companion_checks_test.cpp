#include "app/companion_checks.h"

#include "fakes/fake_platform.h"
#include "platform/class_registry.h"
#include "platform/setting_names.h"

#include <gtest/gtest.h>

namespace qw
{
namespace
{

class CFakeClassRegistry : public IClassRegistry
{
public:
    bool ClassKeyExists(const std::string& key) override { return keys.count(FoldKey(key)) > 0; }
    bool SetUserClassText(const std::string& key, const std::string& text) override
    {
        writes.push_back(key + "=" + text);
        return !failWrites;
    }
    static std::string FoldKey(const std::string& key) { return test::FoldKey(key); }

    std::set<std::string> keys; // folded
    std::vector<std::string> writes;
    bool failWrites = false;
};

const std::string kSchedulerKey = CFakeClassRegistry::FoldKey(std::string(kSchedulerClassKey));
const std::string kExtensionKey =
    CFakeClassRegistry::FoldKey("CLSID\\{51917337-5113-4EC2-9CB6-C6212D0EF3E9}");
const std::string kVerb = "CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\\shell\\Quellwipe";

// A machine with the fake platform and class registry, before start-up.
struct Machine
{
    Machine()
    {
        m_fake.platform.companions = &m_checks;
        m_fake.system.systemDirectory = "C:\\WINDOWS\\system32";
        m_fake.files.folders = {"C:\\WINDOWS",   "C:\\WINDOWS\\system32", "C:\\Tools",
                                "C:\\Tools\\Qw", "C:\\Tools\\Qw\\Lang",   "C:\\Work"};
        m_fake.files.files["C:\\Tools\\Qw\\Lang\\English.ini"] =
            "[Tarnwell Language Pack]\n9059=No extension.\n9060=No scheduler.\n"
            "9606=Quellwipe\n12000=Shred with Quellwipe\n";
        m_fake.files.files["C:\\Tools\\Qw\\Lang\\Deutsch.ini"] =
            "[Tarnwell Language Pack]\n9059=Keine Erweiterung.\n9060=Kein Planer.\n"
            "9606=Quellwipe\n12000=Mit Quellwipe schreddern\n";
        m_fake.files.files["C:\\Work\\a.txt"] = "x";
    }

    void Install(bool schedulerKey, bool schedulerFile, bool extensionKey, bool extensionFile)
    {
        if (schedulerKey)
        {
            m_classes.keys.insert(kSchedulerKey);
        }
        if (schedulerFile)
        {
            m_fake.files.files["C:\\WINDOWS\\system32\\Taskloom.dll"] = "MZ";
        }
        if (extensionKey)
        {
            m_classes.keys.insert(kExtensionKey);
        }
        if (extensionFile)
        {
            m_fake.files.files["C:\\Tools\\Qw\\Shellvane.dll"] = "MZ";
        }
    }

    std::vector<std::string> Shown() const
    {
        std::vector<std::string> texts;
        for (const MessageRequest& request : m_fake.presenter.shown)
        {
            EXPECT_EQ(request.type, "warning");
            EXPECT_EQ(request.frame, 1);
            texts.push_back(request.text);
        }
        return texts;
    }

    test::FakePlatform m_fake{"C:\\Tools\\Qw\\Quellwipe.exe"};
    CFakeClassRegistry m_classes;
    CCompanionChecks m_checks{m_classes};
    CShredApp m_app{m_fake.platform};
};

class CompanionChecksTest : public ::testing::Test, public Machine
{
};

TEST_F(CompanionChecksTest, InteractiveStartWarnsForEachMissingCompanion)
{
    struct Case
    {
        bool schedulerKey, schedulerFile, extensionKey, extensionFile;
        bool usable;
        std::vector<std::string> warnings;
    };
    const Case cases[] = {
        {false, false, false, false, false, {"No scheduler.", "No extension."}},
        {false, true, true, true, false, {"No scheduler."}},
        {true, false, true, true, false, {"No scheduler."}},
        {true, true, false, true, true, {"No extension."}},
        {true, true, true, false, true, {"No extension."}},
        {true, true, true, true, true, {}},
    };
    for (const Case& c : cases)
    {
        Machine fresh;
        fresh.Install(c.schedulerKey, c.schedulerFile, c.extensionKey, c.extensionFile);
        ASSERT_EQ(fresh.m_app.InitInstance(""), StartOutcome::Completed);
        EXPECT_EQ(fresh.m_app.m_schedulerUsable, c.usable);
        EXPECT_EQ(fresh.Shown(), c.warnings);
        EXPECT_EQ(fresh.m_fake.mainWindow.runs, 1);
    }
}

TEST_F(CompanionChecksTest, AFolderNamedLikeTheComponentIsNotTheComponent)
{
    Install(true, false, true, true);
    m_fake.files.folders.insert("C:\\WINDOWS\\system32\\Taskloom.dll");
    ASSERT_EQ(m_app.InitInstance(""), StartOutcome::Completed);
    EXPECT_FALSE(m_app.m_schedulerUsable);
}

TEST_F(CompanionChecksTest, UnattendedRunDecidesButNeitherShowsNorLogs)
{
    m_fake.settings.values["apppath"] = std::string("C:\\Tools\\Qw");
    ASSERT_EQ(m_app.InitInstance(R"("/s" "Nightly" "C:\Work\a.txt")"), StartOutcome::Completed);
    EXPECT_FALSE(m_app.m_schedulerUsable);
    EXPECT_TRUE(m_fake.presenter.shown.empty());
    EXPECT_TRUE(m_app.m_runStatus.empty());
    EXPECT_EQ(m_fake.files.files["C:\\Tools\\Qw\\log.txt"], "Task Name:Nightly\r\n");
    EXPECT_EQ(m_fake.targetsRun.runs, 1);
    // The verb is written in every run.
    EXPECT_EQ(m_classes.writes.size(), 2u);

    Machine installed;
    installed.Install(true, true, false, false);
    ASSERT_EQ(installed.m_app.InitInstance(R"("/s" "Nightly" "C:\Work\a.txt")"),
              StartOutcome::Completed);
    EXPECT_TRUE(installed.m_app.m_schedulerUsable);
}

TEST_F(CompanionChecksTest, RecycleVerbQuotedInTheCurrentLanguageAtEveryStart)
{
    m_fake.settings.values["apppath"] = std::string("C:\\Tools\\Qw");
    ASSERT_EQ(m_app.InitInstance(""), StartOutcome::Completed);
    EXPECT_EQ(m_classes.writes, (std::vector<std::string>{
                                    kVerb + "=Shred with Quellwipe",
                                    kVerb + "\\command=\"C:\\Tools\\Qw\\Quellwipe.exe\" recycle"}));

    Machine german;
    german.m_fake.settings.values["apppath"] = std::string("C:\\Tools\\Qw");
    german.m_fake.settings.values["language"] = std::string("Deutsch");
    ASSERT_EQ(german.m_app.InitInstance(""), StartOutcome::Completed);
    EXPECT_EQ(german.m_classes.writes.front(), kVerb + "=Mit Quellwipe schreddern");
    EXPECT_EQ(german.Shown(), (std::vector<std::string>{"Kein Planer.", "Keine Erweiterung."}));
}

TEST_F(CompanionChecksTest, WithoutAppPathTheProgramFolderIsNamed)
{
    // A confirmed targets start on a fresh profile: no AppPath anywhere.
    Install(true, true, true, true);
    ASSERT_EQ(m_app.InitInstance(R"("C:\Work\a.txt")"), StartOutcome::Completed);
    EXPECT_EQ(m_classes.writes.back(),
              kVerb + "\\command=\"C:\\Tools\\Qw\\Quellwipe.exe\" recycle");
    // The extension beside the program counts as installed.
    EXPECT_TRUE(m_fake.presenter.shown.empty());
    EXPECT_TRUE(m_fake.settings.writes.empty());

    // A verb that cannot be written changes nothing else.
    Machine failing;
    failing.m_classes.failWrites = true;
    failing.Install(true, true, true, true);
    ASSERT_EQ(failing.m_app.InitInstance(""), StartOutcome::Completed);
    EXPECT_TRUE(failing.Shown().empty());
    EXPECT_EQ(failing.m_fake.mainWindow.runs, 1);
}

} // namespace
} // namespace qw
