// The main window's commands over the movie we ship, played by the real
// player: what the program writes and what the movie then shows must agree.
#include "ui/main_window_fixture.h"
#include "ui/movie_windows.h"

namespace qw::test
{
namespace
{

TEST_F(MainWindow, StartUpCorrectsStoredValuesAndSelectsTheLanguage)
{
    struct Case
    {
        int method, passes;
        std::string language;
        int shownMethod, shownPasses;
        std::vector<std::string> writes;
        std::string selected;
    };
    const Case cases[] = {
        {5, 0, "english", 0, 3, {"Method", "PassCount"}, "0"},
        {1, 10, "Deutsch", 1, 10, {}, "1"},
        {-1, 11, "DEUTSCH", 0, 3, {"Method", "PassCount"}, "1"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.language);
        TearDown();
        host = CFakeHost();
        splashCalls.clear();
        Start(c.method, c.passes, c.language);
        EXPECT_EQ(Var("_root.QkShred_Selected"), std::to_string(c.shownMethod));
        EXPECT_EQ(Var("_root.RepeatCount"), std::to_string(c.shownPasses));
        EXPECT_EQ(host.settings.writes, c.writes);
        EXPECT_EQ(host.settings.ReadInt(kPassCount, -7), c.shownPasses);
        EXPECT_EQ(Var("_root.LastSelectedLang"), c.selected);
        // The movie's own list survives the program's seeding.
        EXPECT_EQ(movie.Items("language"), (std::vector<std::string>{"English", "Deutsch"}));
        EXPECT_EQ(Var("_root.strLanguage"), c.language);
    }
    EXPECT_EQ(services.calls.front(), "frame");
    EXPECT_EQ(splashCalls, (std::vector<std::string>{"splash C:\\Q\\Mask\\QW_Splash.spl", "delay 0",
                                                     "modeless"}));
}

TEST_F(MainWindow, PickingALanguageSwitchesAtOnceAndTellsInTheNewOne)
{
    Start();
    movie.Pick("language", 1);
    EXPECT_EQ(host.language, "Deutsch");
    EXPECT_EQ(host.settings.ReadText(kLanguage, ""), "Deutsch");
    EXPECT_EQ(Var("_root.LastSelectedLang"), "1");
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "Deutsch:9061");
    EXPECT_EQ(host.messages[0].type, "info");

    // A pick without a pack: English is taken, stored and shown.
    host.packless = {"Deutsch"};
    host.language = "English";
    movie.Pick("language", 1);
    EXPECT_EQ(host.language, "English");
    EXPECT_EQ(host.settings.ReadText(kLanguage, ""), "English");
    EXPECT_EQ(Var("_root.strLanguage"), "English");
    EXPECT_EQ(Var("_root.LastSelectedLang"), "0");
    EXPECT_EQ(host.messages.back().text, "English:9061");
}

TEST_F(MainWindow, FileListsRefuseDuplicatesAndStayInStepWithTheMovie)
{
    Start();
    services.chosenFiles = std::vector<std::string>{"C:\\b"};
    movie.Press("addFiles");
    services.chosenFiles = std::vector<std::string>{"C:\\a", "C:\\b", "C:\\B"};
    movie.Press("addFiles");
    EXPECT_EQ(Var("_root.FilesStr"), "C:\\a|C:\\B");
    ExpectFiles({"C:\\b", "C:\\a", "C:\\B"});
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "English:1000");
    EXPECT_EQ(host.messages[0].insert, "C:\\b");

    movie.Press("removeFile"); // nothing selected
    EXPECT_EQ(host.messages.back().text, "English:9018");
    movie.Pick("files", 1);
    movie.Press("removeFile");
    ExpectFiles({"C:\\b", "C:\\B"});

    host.answers = {"No"};
    movie.Press("removeFiles");
    EXPECT_EQ(host.messages.back().type, "warning");
    EXPECT_EQ(host.messages.back().frame, 3);
    ExpectFiles({"C:\\b", "C:\\B"});
    host.answers = {"Yes"};
    movie.Press("removeFiles");
    ExpectFiles({});
    movie.Press("removeFiles");
    EXPECT_EQ(host.messages.back().text, "English:9068");

    // Folders: remove all asks as information; a dropped folder joins them.
    movie.Pick("panels", 1);
    window->AddDropped({"C:\\f", "C:\\x.txt"}, {true, false});
    EXPECT_EQ(movie.Items("folders"), (std::vector<std::string>{"C:\\f"}));
    ExpectFiles({"C:\\x.txt"});
    host.answers = {"Yes"};
    movie.Press("removeFolders");
    EXPECT_EQ(host.messages.back().type, "info");
    EXPECT_TRUE(window->Folders().empty());
    EXPECT_TRUE(movie.Items("folders").empty());
}

TEST_F(MainWindow, ShredNowAsksRunsUntilAStopAndEmptiesBothSides)
{
    Start();
    movie.Press("shredFiles");
    EXPECT_EQ(host.messages.back().text, "English:9021");
    services.chosenFiles = std::vector<std::string>{"C:\\1", "C:\\2", "C:\\3"};
    movie.Press("addFiles");
    host.answers = {"No"};
    movie.Press("shredFiles");
    EXPECT_TRUE(host.runs.empty());
    ExpectFiles({"C:\\1", "C:\\2", "C:\\3"});

    host.stopAt = "C:\\2";
    host.answers = {"Yes"};
    movie.Press("shredFiles");
    EXPECT_EQ(host.runs, (std::vector<std::string>{"begin", "C:\\1", "C:\\2", "end"}));
    ExpectFiles({});

    // A cancel between folders drops the rest.
    host.runs.clear();
    movie.Pick("panels", 1);
    for (const char* folder : {"C:\\d1", "C:\\d2"})
    {
        services.chosenFolder = folder;
        movie.Press("addFolder");
    }
    host.cancelAfter = "C:\\d1";
    host.answers = {"Yes"};
    movie.Press("shredFolders");
    EXPECT_EQ(host.runs, (std::vector<std::string>{"begin", "C:\\d1", "end"}));
    EXPECT_TRUE(window->Folders().empty());
    EXPECT_TRUE(movie.Items("folders").empty());
}

TEST_F(MainWindow, EachPathIsOneEntryAndWholeDrivesStayOffTheFolderList)
{
    Start();
    FileStatus kept2;
    kept2.identity = {7, 42, true};
    host.described["C:\\keep2.txt"].status = kept2;
    // A bar would split the movie's entry: that name is refused, the rest
    // listed as dropped.
    window->AddDropped({"C:\\p|q.txt", "C:\\keep1.txt", "C:\\keep2.txt"}, {});
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "English:9110");
    EXPECT_EQ(host.messages[0].insert, "C:\\p|q.txt");
    ExpectFiles({"C:\\keep1.txt", "C:\\keep2.txt"});
    movie.Pick("files", 0);
    movie.Press("removeFile");
    ExpectFiles({"C:\\keep2.txt"});
    host.answers = {"Yes"};
    movie.Press("shredFiles");
    EXPECT_EQ(host.runs, (std::vector<std::string>{"begin", "C:\\keep2.txt", "end"}));
    // Shred now is told what the entry was when it was added.
    EXPECT_EQ(host.listedAs, (std::vector<std::uint64_t>{42}));

    host.messages.clear();
    host.described["E:\\"].driveRoot = true;
    movie.Pick("panels", 1);
    for (const char* folder : {"C:\\a|b", "E:\\", "C:\\d"})
    {
        services.chosenFolder = folder;
        movie.Press("addFolder");
    }
    window->AddDropped({"E:\\"}, {true});
    ASSERT_EQ(host.messages.size(), 3u);
    EXPECT_EQ(host.messages[0].text, "English:9110");
    EXPECT_EQ(host.messages[1].text, "English:9113");
    EXPECT_EQ(host.messages[1].insert, "E:\\");
    EXPECT_EQ(host.messages[2].text, "English:9113");
    EXPECT_EQ(movie.Items("folders"), (std::vector<std::string>{"C:\\d"}));
    EXPECT_EQ(window->Folders(), (std::vector<std::string>{"C:\\d"}));
}

TEST_F(MainWindow, OnlyNamesOfWhatIsThereJoinTheLists)
{
    enum class Via
    {
        Dialog,
        Drop,
        Browse,
        DropFolder
    };
    struct Case
    {
        Via via;
        std::string path;
        bool missing;
        int refusal; // the message saying why, 0 when admitted
    };
    const Case cases[] = {
        {Via::Dialog, "C:\\b.txt", false, 0},      {Via::Dialog, "C:\\b.txt.", false, 9100},
        {Via::Dialog, "C:\\b.txt ", false, 9100},  {Via::Dialog, "C:\\B.TXT", false, 0},
        {Via::Dialog, "C:\\gone.txt", true, 9034}, {Via::Dialog, "C:\\dir.\\b.txt", false, 9100},
        {Via::Dialog, "C:\\b.txt", false, 1000},   {Via::Drop, "C:\\c.txt", false, 0},
        {Via::Drop, "C:\\c.txt. . ", false, 9100}, {Via::Drop, "C:\\gone2.txt", true, 9034},
        {Via::Browse, "C:\\d", false, 0},          {Via::Browse, "C:\\d.", false, 9100},
        {Via::Browse, "C:\\D", false, 0},          {Via::Browse, "C:\\nowhere", true, 9034},
        {Via::Browse, "C:\\d", false, 1003},       {Via::DropFolder, "C:\\e ", false, 9100},
        {Via::DropFolder, "C:\\gone", true, 9034}, {Via::DropFolder, "C:\\e", false, 0},
    };
    Start();
    for (const Case& c : cases)
    {
        SCOPED_TRACE("'" + c.path + "'");
        const bool folder = c.via == Via::Browse || c.via == Via::DropFolder;
        if (c.missing)
        {
            host.missing.insert(c.path);
        }
        host.messages.clear();
        movie.Pick("panels", folder ? 1 : 0);
        switch (c.via)
        {
        case Via::Dialog:
            services.chosenFiles = std::vector<std::string>{c.path};
            movie.Press("addFiles");
            break;
        case Via::Browse:
            services.chosenFolder = c.path;
            movie.Press("addFolder");
            break;
        case Via::Drop:
        case Via::DropFolder:
            window->AddDropped({c.path}, {folder});
            break;
        }
        const std::vector<std::string>& list = folder ? window->Folders() : window->Files();
        const bool already = c.refusal == 1000 || c.refusal == 1003;
        EXPECT_EQ(std::count(list.begin(), list.end(), c.path), c.refusal == 0 || already ? 1 : 0);
        if (c.refusal == 0)
        {
            EXPECT_TRUE(host.messages.empty());
            EXPECT_EQ(list.back(), c.path);
            continue;
        }
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, "English:" + std::to_string(c.refusal));
        EXPECT_EQ(host.messages[0].insert, c.path);
    }
    // Both sides in step: the movie shows what the program keeps.
    ExpectFiles({"C:\\b.txt", "C:\\B.TXT", "C:\\c.txt"});
    EXPECT_EQ(movie.Items("folders"), (std::vector<std::string>{"C:\\d", "C:\\D", "C:\\e"}));
    EXPECT_EQ(window->Folders(), movie.Items("folders"));
}

TEST_F(MainWindow, TaskNameWindowRefusesBlankNames)
{
    files.files[std::string(kAppFolder) + "\\Lang\\taskname.movie"] = []
    {
        std::ifstream in(QW_DATA_DIR "/Lang/taskname.movie", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    files.folders.insert(kAppFolder);
    files.folders.insert(std::string(kAppFolder) + "\\Lang");
    struct Case
    {
        std::string typed, name;
        bool empty;
    };
    const Case cases[] = {
        {"", "", true}, {" ", "", true}, {"  \t ", "", true}, {" night ", " night ", false}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE("'" + c.typed + "'");
        CPlayedMovie named{files};
        std::vector<std::string> offered;
        CTaskNameWindow asked(named, frame, presenter, kAppFolder, "English",
                              [&offered](const std::string& name)
                              {
                                  offered.push_back(name);
                                  return false;
                              });
        ASSERT_TRUE(asked.InitDialog());
        named.SetVariable("_root.taskname_txt.text", c.typed);
        named.Press("ok");
        EXPECT_EQ(asked.TaskName(), c.name);
        EXPECT_EQ(asked.EmptyOnOk(), c.empty);
        EXPECT_EQ(offered.size(), c.empty ? 0u : 1u);
    }
}

TEST_F(MainWindow, SettingsAndPanels)
{
    Start();
    // Close keeps the movie's values, corrected.
    movie.SetVariable("_root.RepeatCount", "12");
    movie.Press("thorough");
    EXPECT_EQ(host.settings.ReadInt(kMethod, -1), 1);
    movie.Press("close");
    EXPECT_TRUE(frame.ended);
    EXPECT_EQ(host.settings.ReadInt(kPassCount, -1), 3);

    // Sub-folder options write only what changed, nothing on Cancel.
    host.settings.WriteInt(kFolder, 1);
    host.settings.writes.clear();
    movie.Pick("panels", 1);
    movie.Press("subfolders");
    services.rulesAnswer = {1, 2};
    movie.Press("subfolders");
    EXPECT_EQ(host.settings.writes, (std::vector<std::string>{"Remove"}));

    // The drive panel fills when shown and wipes the drive picked.
    movie.Pick("panels", 2);
    EXPECT_EQ(Var("_root.DrivesNames"), "C:|E:");
    EXPECT_EQ(movie.Items("drives"), (std::vector<std::string>{"C:", "E:"}));
    movie.Pick("drives", 1);
    movie.Press("wipe");
    EXPECT_EQ(host.runs.back(), "wipe E:\\");

    // Scheduling is not there yet: each command says so.
    host.messages.clear();
    movie.Press("scheduleDrive");
    movie.Pick("panels", 4);
    ASSERT_EQ(host.messages.size(), 2u);
    EXPECT_EQ(host.messages[1].text, "English:9060");

    movie.Press("help");
    EXPECT_EQ(services.calls.back(), "open C:\\Q\\HLP\\Quellwipe.chm in  max");

    // The certificates' folder opens as a folder; without one nothing opens.
    movie.Press("reports");
    EXPECT_EQ(services.calls.back(), "open C:\\Users\\me\\Quellwipe\\Reports in ");
    const std::size_t calls = services.calls.size();
    host.reportsFolder.clear();
    movie.Press("reports");
    EXPECT_EQ(services.calls.size(), calls);
}

} // namespace
} // namespace qw::test
