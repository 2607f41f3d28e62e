#include "player/movie_player.h"

#include "fakes/fake_platform.h"
#include "player/text_lines.h"

#include <gtest/gtest.h>

namespace qw
{
namespace
{

class CCommandPlayer : public CMoviePlayer
{
public:
    using CMoviePlayer::CMoviePlayer;
    void Press(const std::string& id) { Raise(MutableState().Press(*State().Find(id))); }
    void Refresh() override { ++refreshes; }
    int refreshes = 0;
};

TEST(MoviePlayer, AFileThatCannotBeShownLeavesAnEmptyFaceAndADiagnostic)
{
    test::CFakeFileSystem files;
    files.files["C:\\P\\Lang\\bad.movie"] = "movie 1\nsize 10 10\ncontrol button b 0 0 5 5\n";
    files.files["C:\\P\\Lang\\huge.movie"] = std::string(kMaxFileBytes + 1, ' ');
    files.folders.insert("C:\\P\\Lang\\folder.movie");
    const struct
    {
        const char* path;
        const char* diagnostic;
    } cases[] = {
        {"C:\\P\\Lang\\missing.movie", "C:\\P\\Lang\\missing.movie:0: the file is missing"},
        {"C:\\P\\Lang\\folder.movie", "C:\\P\\Lang\\folder.movie:0: the file is missing"},
        {"C:\\P\\Lang\\huge.movie",
         "C:\\P\\Lang\\huge.movie:0: the file is larger than 1048576 bytes"},
        {"C:\\P\\Lang\\bad.movie", "C:\\P\\Lang\\bad.movie:3: control \"b\" needs a command"},
    };
    for (const auto& c : cases)
    {
        CMoviePlayer player(files);
        player.SetVariable("_root.before", "1");
        EXPECT_FALSE(player.LoadMovie(c.path));
        ASSERT_EQ(player.GetDiagnostics().size(), 1u) << c.path;
        EXPECT_EQ(FormatDiagnostic(player.GetDiagnostics()[0]), c.diagnostic);
        EXPECT_EQ(player.GetVariable("_root.before"), "undefined");
        player.SetVariable("_root.txtmessage", "Hello");
        EXPECT_EQ(player.GetVariable("_root.txtmessage"), "Hello");
    }
    // The huge file is refused before it is read.
    EXPECT_EQ(std::count(files.reads.begin(), files.reads.end(), "C:\\P\\Lang\\huge.movie"), 0);
}

TEST(MoviePlayer, RaisesTheCommandAfterWritingTheButtonsVariables)
{
    test::CFakeFileSystem files;
    files.files["C:\\P\\m.movie"] = "movie 1\nsize 100 50\n"
                                    "control button go 0 0 50 20 command=IDC_FS_Go argument=x "
                                    "set=_root.Why=go\n";
    CCommandPlayer player(files);
    std::vector<std::string> raised;
    player.SetCommandHandler(
        [&](const std::string& command, const std::string& argument)
        { raised.push_back(command + " " + argument + " " + player.GetVariable("_root.Why")); });
    ASSERT_TRUE(player.LoadMovie("C:\\P\\m.movie"));
    const int refreshes = player.refreshes;
    player.SetVariable("_root.same", "1");
    player.SetVariable("notroot", "1"); // refused: nothing to redraw
    EXPECT_EQ(player.refreshes, refreshes + 1);
    player.Press("go");
    EXPECT_EQ(raised, std::vector<std::string>{"IDC_FS_Go x go"});
}

} // namespace
} // namespace qw
