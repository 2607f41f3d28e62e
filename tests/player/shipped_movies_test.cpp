// The movies and the skin we ship parse, fit their outlines, and raise the
// commands and honour the variables the program relies on.
#include "player/movie_state.h"
#include "player/skin_format.h"
#include "player/splash_format.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace qw
{
namespace
{

std::string ReadData(const std::string& name)
{
    std::ifstream in(QW_DATA_DIR "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

CMovieState Shipped(const std::string& name)
{
    Diagnostics diagnostics;
    auto movie = ParseMovie(ReadData("Lang/" + name), name, diagnostics);
    EXPECT_TRUE(movie.has_value())
        << name << ": " << (diagnostics.empty() ? "" : FormatDiagnostic(diagnostics[0]));
    return movie ? CMovieState(std::move(*movie)) : CMovieState();
}

// The commands of the visible buttons in tab order, and those of Enter and Esc.
std::string Buttons(const CMovieState& movie)
{
    std::string text;
    for (const Control& control : movie.Definition().controls)
    {
        if (control.kind == ControlKind::Button && movie.IsVisible(control))
        {
            text += control.command + "(" + movie.Caption(control) + ") ";
        }
    }
    text += "enter=" + (movie.DefaultButton() ? movie.DefaultButton()->command : "none");
    text += " esc=" + (movie.CancelButton() ? movie.CancelButton()->command : "none");
    return text;
}

TEST(ShippedMovies, EveryMovieParsesAndFitsItsSkinRegion)
{
    Diagnostics diagnostics;
    const auto skin = ParseSkin(ReadData("Mask/Mask.skn"), "Mask.skn", diagnostics);
    ASSERT_TRUE(skin.has_value()) << FormatDiagnostic(diagnostics.at(0));
    const std::pair<const char*, const char*> windows[] = {
        {"small_warnings.movie", "Small_Mask"},
        {"middle_warnings.movie", "Middle_Mask"},
        {"Big_warnings.movie", "Big_Mask"},
        {"Shell_Alert.movie", "Shell_Mask"},
        {"shredding.movie", "Shredding_Mask"},
        {"Quellwipe.movie", "Mask"},
        {"subfolder.movie", nullptr},
        {"about.movie", nullptr},
        {"taskname.movie", nullptr},
        {"schedule.movie", nullptr},
    };
    for (const auto& [movieName, region] : windows)
    {
        const CMovieState movie = Shipped(movieName);
        if (region == nullptr)
        {
            continue; // drawn by the movie alone
        }
        const Shape& outline = skin->regions.at(region).shapes.at(0);
        EXPECT_EQ(outline.numbers[2], movie.Definition().width) << movieName;
        EXPECT_EQ(outline.numbers[3], movie.Definition().height) << movieName;
    }
    std::size_t movies = 0;
    for (const auto& entry : std::filesystem::directory_iterator(QW_DATA_DIR "/Lang"))
    {
        if (entry.path().extension() == ".movie")
        {
            Shipped(entry.path().filename().string());
            ++movies;
        }
    }
    EXPECT_EQ(movies, std::size(windows));
}

// In every language, frame and page, the keys Alt+letter reach one control
// each, and every button or option other than OK and Cancel has one.
TEST(ShippedMovies, MnemonicsAreThereAndUniqueOnEveryFace)
{
    // The schedule window shows its week days and its day of the month
    // only for the kind that has them: each kind is a face of its own.
    const std::pair<const char*, const char*> faces[] = {
        {"Quellwipe.movie", nullptr}, {"subfolder.movie", nullptr}, {"about.movie", nullptr},
        {"taskname.movie", nullptr},  {"schedule.movie", "2"},      {"schedule.movie", "3"},
    };
    for (const auto& [name, scheduleKind] : faces)
    {
        CMovieState movie = Shipped(name);
        if (scheduleKind)
        {
            movie.SetVariable("_root.ScheduleKind", scheduleKind);
        }
        const Control* tabs = nullptr;
        for (const Control& control : movie.Definition().controls)
        {
            tabs = control.kind == ControlKind::Tabs ? &control : tabs;
        }
        const std::size_t pages = tabs ? tabs->pages.size() : 1;
        std::vector<int> frames = movie.Definition().frames;
        if (frames.empty())
        {
            frames.push_back(1);
        }
        for (const char* language : {"English", "Deutsch"})
        {
            movie.SetVariable("_root.strLanguage", language);
            for (int frame : frames)
            {
                movie.GotoFrame(frame);
                for (std::size_t page = 0; page < pages; ++page)
                {
                    if (tabs)
                    {
                        movie.SetVariable(tabs->value, std::to_string(page));
                    }
                    std::map<std::string, std::string> owners;
                    for (const Control& control : movie.Definition().controls)
                    {
                        const bool keyed = control.kind == ControlKind::Button ||
                                           control.kind == ControlKind::Radio ||
                                           control.kind == ControlKind::CheckBox ||
                                           control.kind == ControlKind::Label;
                        if (!keyed || !movie.IsVisible(control))
                        {
                            continue;
                        }
                        const std::string caption = movie.Caption(control);
                        const std::size_t amp = caption.find('&');
                        const std::string where = std::string(name) + " " + language + " frame " +
                                                  std::to_string(frame) + " page " +
                                                  std::to_string(page) + ": " + control.id;
                        if (amp == std::string::npos || amp + 1 >= caption.size())
                        {
                            EXPECT_TRUE(control.kind == ControlKind::Label || control.isDefault ||
                                        control.isCancel)
                                << where << " has no mnemonic";
                            continue;
                        }
                        // The letter, folded; a UTF-8 letter keeps its bytes.
                        std::string key = caption.substr(amp + 1, 1);
                        if (static_cast<unsigned char>(key[0]) >= 0x80)
                        {
                            key = caption.substr(amp + 1, 2);
                        }
                        key[0] =
                            static_cast<char>(std::tolower(static_cast<unsigned char>(key[0])));
                        const auto [it, fresh] = owners.emplace(key, control.id);
                        EXPECT_TRUE(fresh) << where << " shares &" << key << " with " << it->second;
                    }
                }
            }
        }
    }
}

TEST(ShippedMovies, MessageWindowsShowEachFramesButtonsInTheirLanguage)
{
    for (const char* name : {"small_warnings.movie", "middle_warnings.movie", "Big_warnings.movie"})
    {
        CMovieState movie = Shipped(name);
        movie.SetVariable("_root.strLanguage", "Deutsch");
        const std::pair<int, const char*> frames[] = {
            {1, "IDC_FS_Ok(OK) enter=IDC_FS_Ok esc=none"},
            {2, "IDC_FS_Ok(OK) IDC_FS_Cancel(Abbrechen) enter=IDC_FS_Ok esc=IDC_FS_Cancel"},
            {3, "IDC_FS_Yes(&Ja) IDC_FS_No(&Nein) enter=IDC_FS_Yes esc=none"},
            {4, "IDC_FS_Yes(&Ja) IDC_FS_No(&Nein) IDC_FS_Cancel(Abbrechen) enter=IDC_FS_Yes "
                "esc=IDC_FS_Cancel"},
        };
        for (const auto& [frame, buttons] : frames)
        {
            ASSERT_TRUE(movie.GotoFrame(frame)) << name;
            EXPECT_EQ(Buttons(movie), buttons) << name << " frame " << frame;
        }
        for (const char* type : {"info", "warning"})
        {
            movie.SetVariable("_root.windowtype", type);
            int icons = 0;
            for (const Control& control : movie.Definition().controls)
            {
                if (control.kind == ControlKind::Icon && movie.IsVisible(control))
                {
                    EXPECT_EQ(control.image, type) << name;
                    ++icons;
                }
            }
            EXPECT_EQ(icons, 1) << name;
        }
        movie.SetVariable("_root.txtmessage", "Line 1\nLine 2");
        EXPECT_EQ(movie.Caption(*movie.Find("text")), "Line 1\nLine 2");
    }
}

TEST(ShippedMovies, MainWindowListsSayWhatToDoAndTaskNamesEndWithoutBlank)
{
    CMovieState main = Shipped("Quellwipe.movie");
    // The program's panel text: each name after a bar, the whole ended by " |".
    main.SetVariable("_root.SchedulersStr", "|night|a b|trailing  |");
    main.SetVariable("_root.bAddScheduler", "1");
    EXPECT_EQ(main.GetVariable("_root.SchedulersAry.length"), "3");
    EXPECT_EQ(main.GetVariable("_root.SchedulersAry.2"), "trailing ");
    main.SetVariable("_root.SchedulersStr", "|x |");
    main.SetVariable("_root.bAddScheduler", "1");
    EXPECT_EQ(main.GetVariable("_root.SchedulersAry"), "x");

    // An empty list names the button that fills it, as that button reads.
    const std::pair<const char*, const char*> lists[] = {{"files", "addFiles"},
                                                         {"folders", "addFolder"}};
    for (const char* language : {"English", "Deutsch"})
    {
        main.SetVariable("_root.strLanguage", language);
        for (const auto& [list, button] : lists)
        {
            std::string caption = main.Caption(*main.Find(button));
            caption.erase(caption.find('&'), 1);
            const std::string hint = main.Caption(*main.Find(list));
            EXPECT_NE(hint.find(caption), std::string::npos) << language << " " << hint;
        }
    }
    EXPECT_NE(main.Caption(*main.Find("files")), main.Caption(*main.Find("folders")));
}

TEST(ShippedMovies, ShellAlertAndProgressWindow)
{
    CMovieState alert = Shipped("Shell_Alert.movie");
    alert.SetVariable("_root.DontShow_chk.label", "Do not show this warning again");
    EXPECT_EQ(alert.GetVariable("_root.bChecked"), "false");
    const Control& box = *alert.Find("dontshow");
    EXPECT_EQ(alert.Caption(box), "Do not show this warning again");
    alert.Toggle(box, true);
    EXPECT_EQ(alert.GetVariable("_root.bChecked"), "true");
    EXPECT_EQ(Buttons(alert),
              "IDC_FS_Ok(OK) IDC_FS_Cancel(Cancel) enter=IDC_FS_Ok esc=IDC_FS_Cancel");
    alert.GotoFrame(2);
    EXPECT_EQ(Buttons(alert), "IDC_FS_Ok(OK) enter=IDC_FS_Ok esc=none");

    CMovieState progress = Shipped("shredding.movie");
    for (const char* line : {"_root.Message1", "_root.Message2", "_root.Message3"})
    {
        EXPECT_EQ(progress.GetVariable(line), "") << line;
    }
    EXPECT_EQ(Buttons(progress), "IDC_FS_Cancel(Cancel) enter=IDC_FS_Cancel esc=IDC_FS_Cancel");
}

TEST(ShippedSplash, ParsesNamesTheProductAndVersionAndItsPictureFits)
{
    Diagnostics diagnostics;
    const auto splash = ParseSplash(ReadData("Mask/QW_Splash.spl"), "QW_Splash.spl", diagnostics);
    ASSERT_TRUE(splash.has_value()) << FormatDiagnostic(diagnostics.at(0));
    std::string shown;
    for (const SplashText& text : splash->texts)
    {
        shown += ExpandSplashText(text.text, "Quellwipe", "9.8.7") + "|";
    }
    EXPECT_NE(shown.find("Quellwipe|"), std::string::npos) << shown;
    EXPECT_NE(shown.find("9.8.7"), std::string::npos) << shown;

    // The picture: an uncompressed 24-bit BMP drawn at the splash's size, so
    // that it is not stretched at 96 DPI.
    const std::string bmp = ReadData("Mask/" + splash->image);
    ASSERT_GE(bmp.size(), 54u);
    const auto u32 = [&](std::size_t at)
    {
        std::uint32_t v = 0;
        for (int k = 3; k >= 0; --k)
        {
            v = (v << 8) | static_cast<unsigned char>(bmp[at + k]);
        }
        return v;
    };
    EXPECT_EQ(bmp.substr(0, 2), "BM");
    EXPECT_EQ(u32(2), bmp.size());
    EXPECT_EQ(u32(18), static_cast<std::uint32_t>(splash->width));
    EXPECT_EQ(u32(22), static_cast<std::uint32_t>(splash->height));
    EXPECT_EQ(u32(28) & 0xFFFF, 24u);
    EXPECT_EQ(u32(30), 0u);
    EXPECT_EQ(u32(10) + std::uint32_t(splash->height) * ((splash->width * 3 + 3) / 4 * 4),
              bmp.size());
}

} // namespace
} // namespace qw
