#include "player/movie_format.h"
#include "player/movie_state.h"
#include "player/skin_format.h"
#include "player/text_lines.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace qw
{
namespace
{

const std::string kHead = "movie 1\nsize 200 100\n";

// A text a parser must refuse, the line it must name and a part of its message.
struct Malformation
{
    std::string text;
    int line;
    std::string fragment;
};

// `parse` takes a text and the diagnostics, and reports whether it parsed.
template <std::size_t N, typename Parse>
void ExpectEachRefused(const Malformation (&cases)[N], const std::string& file, Parse parse)
{
    for (const Malformation& c : cases)
    {
        Diagnostics diagnostics;
        EXPECT_FALSE(parse(c.text, file, diagnostics)) << c.fragment;
        ASSERT_FALSE(diagnostics.empty()) << c.fragment;
        EXPECT_EQ(diagnostics[0].file, file);
        EXPECT_EQ(diagnostics[0].line, c.line) << diagnostics[0].message;
        EXPECT_NE(diagnostics[0].message.find(c.fragment), std::string::npos)
            << diagnostics[0].message;
    }
}

// The code blocks of the format document, which must stay valid movies.
std::vector<std::string> DocumentExamples()
{
    std::ifstream in(QW_SOURCE_DIR "/docs/movie-format.md");
    std::vector<std::string> blocks;
    std::string line;
    std::string* block = nullptr;
    while (std::getline(in, line))
    {
        if (line == "```")
        {
            block = block == nullptr ? &blocks.emplace_back() : nullptr;
            continue;
        }
        if (block != nullptr)
        {
            *block += line + "\n";
        }
    }
    return blocks;
}

CMovieState Play(const std::string& text)
{
    Diagnostics diagnostics;
    auto movie = ParseMovie(text, "t.movie", diagnostics);
    EXPECT_TRUE(movie.has_value()) << (diagnostics.empty() ? "" : FormatDiagnostic(diagnostics[0]));
    return movie ? CMovieState(std::move(*movie)) : CMovieState();
}

TEST(MovieFormat, DocumentedExampleShowsTheButtonsOfEachFrameInItsLanguage)
{
    const auto blocks = DocumentExamples();
    ASSERT_EQ(blocks.size(), 2u);
    CMovieState movie = Play(blocks[0]);
    movie.SetVariable("_root.strLanguage", "Deutsch");
    movie.SetVariable("_root.windowtype", "warning");
    const struct
    {
        int frame;
        std::vector<std::string> buttons; // visible, in tab order
        const char* enter;
        const char* esc;
    } cases[] = {
        {1, {"OK"}, "IDC_FS_Ok", nullptr},
        {2, {"OK", "Abbrechen"}, "IDC_FS_Ok", "IDC_FS_Cancel"},
        {3, {"&Ja", "&Nein"}, "IDC_FS_Yes", nullptr},
        {4, {"&Ja", "&Nein", "Abbrechen"}, "IDC_FS_Yes", "IDC_FS_Cancel"},
    };
    for (const auto& c : cases)
    {
        ASSERT_TRUE(movie.GotoFrame(c.frame));
        std::vector<std::string> buttons;
        for (const Control& control : movie.Definition().controls)
        {
            if (control.kind == ControlKind::Button && movie.IsVisible(control))
            {
                buttons.push_back(movie.Caption(control));
            }
        }
        EXPECT_EQ(buttons, c.buttons) << "frame " << c.frame;
        ASSERT_NE(movie.DefaultButton(), nullptr);
        EXPECT_EQ(movie.DefaultButton()->command, c.enter);
        const Control* cancel = movie.CancelButton();
        EXPECT_EQ(cancel ? cancel->command : "none", c.esc ? c.esc : "none");
    }
    EXPECT_FALSE(movie.GotoFrame(5));
    EXPECT_EQ(movie.Frame(), 4);
    EXPECT_FALSE(movie.IsVisible(*movie.Find("info")));
    EXPECT_TRUE(movie.IsVisible(*movie.Find("warning")));
    // The title falls back to English; the title area raises the drag.
    EXPECT_EQ(movie.Caption(*movie.Find("caption")), "Quellwipe");
    EXPECT_EQ(movie.Press(*movie.Find("caption"))->command, "IDC_FS_Drag");

    CMovieState list = Play("movie 1\nsize 320 250\n" + blocks[1]);
    list.SetVariable("_root.FilesStr", "C:\\a.txt|C:\\b.txt");
    list.SetVariable("_root.bAddFile", "1");
    EXPECT_EQ(list.GetVariable("_root.Files.length"), "2");
}

TEST(MovieFormat, ReportsEachMalformationWithItsLine)
{
    const Malformation cases[] = {
        {"", 0, "empty"},
        {"movie 2\nsize 10 10\n", 1, "movie 1"},
        {"movie 1\n", 0, "no \"size\""},
        {"movie 1\nsize 0 10\n", 2, "width"},
        {"movie 1\nsize 10 10\nsize 10 10\n", 3, "twice"},
        {kHead + "\n\nbogus 1\n", 5, "unknown keyword"},
        {kHead + "control button b 0 0 10 10 text=x\n", 3, "needs a command"},
        {kHead + "control button b 0 0 10 10 command=C\ncontrol label b 0 0 1 1\n", 4, "new id"},
        {kHead + "control label l 190 0 20 10\n", 3, "beyond"},
        {kHead + "control label l 0 0 10 10 colour=red\n", 3, "unknown attribute"},
        {kHead + "control label l 0 0 10 10 text=\"open\n", 3, "not closed"},
        {kHead + "control gizmo g 0 0 10 10\n", 3, "unknown control kind"},
        {kHead + "control list l 0 0 10 10 items=_root.Nope\n", 3, "not a declared array"},
        {kHead + "control label l 0 0 10 10 text=@missing\n", 3, "no English form"},
        {kHead + "text Deutsch x \"a\"\ncontrol label l 0 0 10 10 text=@x\n", 4, "no English form"},
        {kHead + "control label l 0 0 10 10 frames=2\n", 3, "not declared"},
        {kHead + "control label l 0 0 10 10 panel=t:0\n", 3, "page of earlier tabs"},
        {kHead + "control tabs t 0 0 10 10 pages=a,b\ncontrol label l 0 0 5 5 panel=t:2\n", 4,
         "page"},
        {kHead + "control icon i 0 0 10 10 image=smiley\n", 3, "needs an image"},
        {kHead + "control checkbox c 0 0 10 10 value=root.x\n", 3, "_root."},
        {kHead + "variable _root.a\nvariable _root.a \"1\"\n", 4, "defined twice"},
        {kHead + "array _root.L\non _root.x \"1\" clear _root.Y\n", 4, "not a declared array"},
        {kHead + "array _root.L\non _root.x \"1\" set _root.L \"2\"\n", 4, "is an array"},
        {kHead + "on _root.x \"1\" explode _root.L\n", 3, "expected"},
        {kHead + "text English a \"x\"\ntext English a \"y\"\n", 4, "given twice"},
        {kHead + "control stepper s 0 0 10 10 min=5 max=1\n", 3, "min not above"},
        {kHead + "size 5\xC0\xAF 1\n", 3, "not UTF-8"},
        {kHead + std::string(5000, 'a') + "\n", 3, "longer than"},
        {std::string(kMaxFileBytes + 1, '#'), 0, "larger than"},
    };
    ExpectEachRefused(cases, "w.movie",
                      [](const std::string& text, const std::string& file, Diagnostics& d)
                      { return ParseMovie(text, file, d).has_value(); });
}

TEST(MovieFormat, QuotesEscapesCommentsAndByteOrderMark)
{
    CMovieState movie = Play("\xEF\xBB\xBFmovie 1 # version\nsize 100 50\n"
                             "variable _root.t \"a \\\"b\\\" # c\\nd\"\n"
                             "control label l 0 0 100 20 text=\"x=y z\"\n"
                             "control checkbox c 0 20 100 20 text=$_root.label\n");
    EXPECT_EQ(movie.GetVariable("_root.t"), "a \"b\" # c\nd");
    EXPECT_EQ(movie.Caption(*movie.Find("l")), "x=y z");
    EXPECT_EQ(movie.Caption(*movie.Find("c")), "undefined");
    movie.SetVariable("_root.label", "Do not show");
    EXPECT_EQ(movie.Caption(*movie.Find("c")), "Do not show");
}

TEST(VariableStore, TextValuesUndefinedNamesArraysAndSelection)
{
    CMovieState movie =
        Play(kHead + "array _root.Files\nvariable _root.FilesStr\n"
                     "control tabs t 0 0 200 100 pages=a,b value=_root.Page\n"
                     "control list files 0 20 100 50 items=_root.Files panel=t:0\n"
                     "on _root.bAddFile \"1\" append _root.Files _root.FilesStr \"|\"\n"
                     "on _root.Remove \"RFL\" remove-selected _root.Files\n"
                     "on _root.Remove \"RAFL\" clear _root.Files\n"
                     "on _root.Remove \"RAFL\" set _root.Remove \"done\"\n");
    EXPECT_EQ(movie.GetVariable("_root.never"), "undefined");
    EXPECT_EQ(movie.GetVariable("_root.FilesStr"), "");
    EXPECT_EQ(movie.GetVariable("_root.Files.length"), "0");
    EXPECT_EQ(movie.GetVariable("_root.SelectedIndex"), "undefined");
    movie.SetVariable("outside", "x");
    EXPECT_EQ(movie.GetVariable("outside"), "undefined");
    movie.SetVariable("_root.Files.length", "9");
    EXPECT_EQ(movie.GetVariable("_root.Files.length"), "0");
    movie.SetVariable("_root.created", "7");
    EXPECT_EQ(movie.GetVariable("_root.created"), "7");

    // Empty pieces are skipped; each write of "1" appends again.
    movie.SetVariable("_root.FilesStr", "C:\\a|C:\\b||C:\\c|");
    movie.SetVariable("_root.bAddFile", "1");
    movie.SetVariable("_root.FilesStr", "D:\\d");
    movie.SetVariable("_root.bAddFile", "1");
    EXPECT_EQ(movie.GetVariable("_root.Files.length"), "4");
    EXPECT_EQ(movie.GetVariable("_root.Files.3"), "D:\\d");
    EXPECT_EQ(movie.GetVariable("_root.Files.4"), "undefined");

    const Control& files = *movie.Find("files");
    movie.Select(files, 3);
    EXPECT_EQ(movie.GetVariable("_root.SelectedIndex"), "3");
    movie.SetVariable("_root.Remove", "RFL");
    EXPECT_EQ(movie.GetVariable("_root.Files"), "C:\\a,C:\\b,C:\\c");
    EXPECT_EQ(movie.GetVariable("_root.SelectedIndex"), "2"); // the new last entry
    // The list on a page not shown is not the visible list.
    movie.Select(*movie.Find("t"), 1);
    EXPECT_EQ(movie.GetVariable("_root.SelectedIndex"), "undefined");
    EXPECT_FALSE(movie.Select(files, 0).has_value());
    movie.SetVariable("_root.Page", "0");
    EXPECT_EQ(movie.GetVariable("_root.SelectedIndex"), "2");
    movie.SetVariable("_root.Remove", "RAFL");
    EXPECT_EQ(movie.GetVariable("_root.Files.length"), "0");
    EXPECT_EQ(movie.GetVariable("_root.SelectedIndex"), "undefined");
    EXPECT_EQ(movie.GetVariable("_root.Remove"), "done");
}

TEST(MovieState, AppendDropsOnlyAClosingMarkAtTheVeryEnd)
{
    struct Case
    {
        std::string end;
        std::string text;
        std::string entries;
    };
    const Case cases[] = {
        {"", "|night|weekly |", "night,weekly "},
        {" |", "|night|weekly |", "night,weekly"},
        {" |", "|x |", "x"},
        {" |", "|a  |", "a "},          // a name's own blank stays
        {" |", "|a |b", "a ,b"},        // no mark at the end: nothing dropped
        {" |", " |", ""},               // the mark alone
        {" |", "|a | |", "a "},          // one mark goes; a blank piece is no entry
        {"]]", "[p]]q]]", "[p]]q"},
    };
    for (const Case& c : cases)
    {
        const std::string end = c.end.empty() ? "" : " \"" + c.end + "\"";
        CMovieState movie = Play(kHead + "array _root.A\nvariable _root.S\n"
                                         "on _root.go \"1\" append _root.A _root.S \"|\"" +
                                 end + "\n");
        movie.SetVariable("_root.S", c.text);
        movie.SetVariable("_root.go", "1");
        EXPECT_EQ(movie.GetVariable("_root.A"), c.entries) << c.text << " ending " << c.end;
    }
}

TEST(MovieState, UserActionsWriteTheirVariablesBeforeTheCommand)
{
    CMovieState movie =
        Play(kHead + "frame 1\nframe 2\n"
                     "control checkbox dont 0 0 100 20 value=_root.bChecked\n"
                     "control radio never 0 20 50 20 value=_root.Rule choice=0\n"
                     "control radio always 50 20 50 20 value=_root.Rule choice=2\n"
                     "control stepper passes 0 40 50 20 value=_root.Passes min=1 max=35\n"
                     "control edit name 0 60 100 20 value=_root.taskname_txt.text\n"
                     "control button ok 100 80 50 20 command=IDC_FS_Ok argument=\"a b\" "
                     "set=_root.Why=ok set=_root.Count=2 frames=2 default\n");
    EXPECT_EQ(movie.GetVariable("_root.bChecked"), "false");
    EXPECT_EQ(movie.GetVariable("_root.Passes"), "1");
    movie.Toggle(*movie.Find("dont"), true);
    EXPECT_EQ(movie.GetVariable("_root.bChecked"), "true");
    movie.Press(*movie.Find("always"));
    EXPECT_EQ(movie.GetVariable("_root.Rule"), "2");
    EXPECT_TRUE(movie.Checked(*movie.Find("always")));
    EXPECT_FALSE(movie.Checked(*movie.Find("never")));
    movie.Change(*movie.Find("passes"), "99");
    EXPECT_EQ(movie.GetVariable("_root.Passes"), "1"); // out of range: refused
    movie.Change(*movie.Find("passes"), "7");
    EXPECT_EQ(movie.GetVariable("_root.Passes"), "7");
    movie.SetVariable("_root.Passes", "500");
    EXPECT_EQ(movie.Number(*movie.Find("passes")), 35);
    movie.Change(*movie.Find("name"), "Nightly");
    EXPECT_EQ(movie.GetVariable("_root.taskname_txt.text"), "Nightly");

    const Control& ok = *movie.Find("ok");
    EXPECT_EQ(movie.DefaultButton(), nullptr); // frame 1 has no OK
    EXPECT_FALSE(movie.Press(ok).has_value());
    EXPECT_EQ(movie.GetVariable("_root.Why"), "undefined");
    movie.GotoFrame(2);
    const auto command = movie.Press(ok);
    ASSERT_TRUE(command.has_value());
    EXPECT_EQ(command->command, "IDC_FS_Ok");
    EXPECT_EQ(command->argument, "a b");
    EXPECT_EQ(movie.GetVariable("_root.Why"), "ok");
    EXPECT_EQ(movie.GetVariable("_root.Count"), "2");
}

TEST(SkinFormat, RegionsOfShapesAndEachMalformationWithItsLine)
{
    Diagnostics diagnostics;
    const auto skin = ParseSkin("skin 1\nregion Small_Mask\nroundrect 0 0 360 150 12 12\n"
                                "ellipse 10 10 20 20 # a knob\nregion Big_Mask\n"
                                "polygon 0 0 100 0 50 80\n",
                                "Mask.skn", diagnostics);
    ASSERT_TRUE(skin.has_value());
    ASSERT_EQ(skin->regions.at("Small_Mask").shapes.size(), 2u);
    EXPECT_EQ(skin->regions.at("Small_Mask").shapes[1].kind, ShapeKind::Ellipse);
    EXPECT_EQ(skin->regions.at("Big_Mask").shapes[0].numbers.size(), 6u);

    const Malformation cases[] = {
        {"", 0, "empty"},
        {"skin 2\n", 1, "skin 1"},
        {"skin 1\nellipse 0 0 5 5\n", 2, "after its"},
        {"skin 1\nregion A\nregion B\nellipse 0 0 5 5\n", 2, "no shapes"},
        {"skin 1\nregion A\nellipse 0 0 5 5\nregion A\n", 4, "twice"},
        {"skin 1\nregion A\nellipse 0 0 0 5\n", 3, "from 1"},
        {"skin 1\nregion A\nroundrect 0 0 5 5\n", 3, "takes 6"},
        {"skin 1\nregion A\npolygon 0 0 1 1\n", 3, "3 to"},
        {"skin 1\nregion A\npolygon 0 0 1 1 2\n", 3, "3 to"},
        {"skin 1\nregion A\nstar 1 2 3\n", 3, "unknown keyword"},
        {"skin 1\nregion A\nellipse 0 0 5 x=5\n", 3, "attributes"},
        {"skin 1\nregion A\nellipse -1 0 5 5\n", 3, "whole number"},
    };
    ExpectEachRefused(cases, "Mask.skn",
                      [](const std::string& text, const std::string& file, Diagnostics& d)
                      { return ParseSkin(text, file, d).has_value(); });
}

} // namespace
} // namespace qw
