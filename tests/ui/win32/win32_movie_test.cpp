// Our movie player on real Win32 controls (wine under Xvfb in CI): every
// kind of control is an ordinary window that user actions reach, bound to
// its variables, placed at the window's DPI; a broken movie still closes.

#include "platform/presenter.h"
#include "ui/win32/movie_dialog.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_file_system.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdlib>
#include <fstream>

namespace qw
{
namespace
{

const char kMovie[] = R"(movie 1
size 300 200
text English go "&Go"
text English first "First"
text English second "Second"
array _root.Files
variable _root.FilesStr ""
control tabs pages 0 0 300 150 pages=@first,@second value=_root.Page
control list files 10 30 120 100 items=_root.Files text="Drop files here" panel=pages:0
control label other 10 30 120 20 text="On page two" panel=pages:1
control checkbox dont 140 30 150 20 text="Don't" value=_root.bChecked panel=pages:0
control edit name 140 60 150 22 value=_root.Name panel=pages:0
control radio never 140 90 70 20 text=Never value=_root.Rule choice=0 panel=pages:0
control radio always 210 90 80 20 text=Always value=_root.Rule choice=2 panel=pages:0
control stepper passes 140 115 60 22 value=_root.Passes min=1 max=35 panel=pages:0
control progress bar 10 155 280 10 value=_root.Done min=0 max=10
control button go 10 170 80 26 text=@go command=IDC_FS_Go argument=now set=_root.Why=go default
control button cancel 210 170 80 26 text=Cancel command=IDC_FS_Cancel cancel
on _root.bAdd "1" append _root.Files _root.FilesStr "|"
)";

// Records every command the movie raises; Cancel closes as in every window.
class CRecordingWindow : public CFlashWindow
{
public:
    CRecordingWindow(IMovie& movie, IWindowFrame& frame, IMessagePresenter& presenter,
                     std::string folder, std::vector<std::string>& raised)
        : CFlashWindow(movie, nullptr, frame, presenter, std::move(folder), {"\\t.movie", "", 1}),
          m_raised(raised)
    {
    }

protected:
    std::vector<CommandEntry> Commands() override
    {
        auto commands = CommonCommands();
        commands.push_back({"IDC_FS_Go", [this](const std::string& argument)
                            { m_raised.push_back("Go " + argument); }});
        return commands;
    }

private:
    std::vector<std::string>& m_raised;
};

class CNoPresenter : public IMessagePresenter
{
public:
    std::string Show(const MessageRequest&) override { return {}; }
    ShellAlertResult ShowShellAlert(int, const std::string&, const std::string&,
                                    const std::string&) override
    {
        return {};
    }
};

class Win32MovieTest : public ::testing::Test
{
protected:
    void Open(const std::string& text)
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_folder = WideToUtf8(temp) + "qw_movie_test";
        CreateDirectoryW(Utf8ToWide(m_folder).c_str(), nullptr);
        std::ofstream(Utf8ToWide(m_folder + "\\t.movie").c_str(), std::ios::binary) << text;
        m_dialog = std::make_unique<CMovieDialog>(
            m_files, "Movie test", false,
            [this](IMovie& movie, ISkinControl*, IWindowFrame& frame) {
                return std::make_unique<CRecordingWindow>(movie, frame, m_presenter, m_folder,
                                                          m_raised);
            });
        ASSERT_TRUE(m_dialog->CreateModeless(nullptr));
        ShowWindow(m_dialog->Handle(), SW_SHOW);
    }
    HWND Child(int index) const
    {
        return GetDlgItem(m_dialog->Handle(), CWin32Movie::kFirstControlId + index);
    }
    void Notify(int index, int code) const
    {
        SendMessageW(m_dialog->Handle(), WM_COMMAND,
                     MAKEWPARAM(CWin32Movie::kFirstControlId + index, code),
                     reinterpret_cast<LPARAM>(Child(index)));
    }
    std::string Get(const std::string& name) const { return m_dialog->Movie()->GetVariable(name); }

    CWin32FileSystem m_files;
    CNoPresenter m_presenter;
    std::string m_folder;
    std::vector<std::string> m_raised;
    std::unique_ptr<CMovieDialog> m_dialog;
};

TEST_F(Win32MovieTest, ControlsAreRealWindowsBoundToTheirVariables)
{
    Open(kMovie);
    enum
    {
        kTabs,
        kList,
        kOther,
        kCheck,
        kEdit,
        kNever,
        kAlways,
        kPasses,
        kBar,
        kGo,
        kCancel
    };
    m_dialog->Movie()->SetVariable("_root.FilesStr", "C:\\a.txt|C:\\b.txt");
    m_dialog->Movie()->SetVariable("_root.bAdd", "1");
    EXPECT_EQ(SendMessageW(Child(kList), LB_GETCOUNT, 0, 0), 2);
    SendMessageW(Child(kList), LB_SETCURSEL, 1, 0);
    Notify(kList, LBN_SELCHANGE);
    EXPECT_EQ(Get("_root.SelectedIndex"), "1");

    SendMessageW(Child(kCheck), BM_CLICK, 0, 0);
    SendMessageW(Child(kAlways), BM_CLICK, 0, 0);
    SetWindowTextW(Child(kEdit), L"Nightly");
    SetWindowTextW(Child(kPasses), L"7");
    EXPECT_EQ(Get("_root.bChecked"), "true");
    EXPECT_EQ(Get("_root.Rule"), "2");
    EXPECT_EQ(Get("_root.Name"), "Nightly");
    EXPECT_EQ(Get("_root.Passes"), "7");
    m_dialog->Movie()->SetVariable("_root.Rule", "0");
    EXPECT_EQ(SendMessageW(Child(kNever), BM_GETCHECK, 0, 0), BST_CHECKED);
    m_dialog->Movie()->SetVariable("_root.Done", "4");
    EXPECT_EQ(SendMessageW(Child(kBar), PBM_GETPOS, 0, 0), 4);

    // The second page hides the first page's controls, its list included.
    m_dialog->Movie()->SetVariable("_root.Page", "1");
    EXPECT_EQ(SendMessageW(Child(kTabs), TCM_GETCURSEL, 0, 0), 1);
    EXPECT_FALSE(IsWindowVisible(Child(kList)));
    EXPECT_TRUE(IsWindowVisible(Child(kOther)));
    EXPECT_EQ(Get("_root.SelectedIndex"), "undefined");

    // Placed at the window's DPI; Enter's default is the movie's.
    const int dpi = WindowDpi(m_dialog->Handle());
    RECT go{};
    GetWindowRect(Child(kGo), &go);
    MapWindowPoints(nullptr, m_dialog->Handle(), reinterpret_cast<POINT*>(&go), 2);
    EXPECT_EQ(go.left, MulDiv(10, dpi, 96));
    EXPECT_EQ(go.right - go.left, MulDiv(80, dpi, 96));
    EXPECT_EQ(LOWORD(SendMessageW(m_dialog->Handle(), DM_GETDEFID, 0, 0)),
              CWin32Movie::kFirstControlId + kGo);

    SendMessageW(Child(kGo), BM_CLICK, 0, 0);
    EXPECT_EQ(m_raised, std::vector<std::string>{"Go now"});
    EXPECT_EQ(Get("_root.Why"), "go");
    // Esc presses the movie's cancel button.
    SendMessageW(m_dialog->Handle(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(m_dialog->Window()->Answer(), "Cancel");
    EXPECT_FALSE(IsWindowVisible(m_dialog->Handle()));
}

// Pixels of a window's client area that differ from the list background.
int InkIn(HWND window)
{
    UpdateWindow(window);
    RECT client{};
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    const COLORREF paper = GetSysColor(COLOR_WINDOW);
    int ink = 0;
    for (int y = 0; y < client.bottom; ++y)
    {
        for (int x = 0; x < client.right; ++x)
        {
            ink += GetPixel(dc, x, y) != paper;
        }
    }
    ReleaseDC(window, dc);
    return ink;
}

RECT RectIn(HWND parent, HWND child)
{
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

TEST_F(Win32MovieTest, ListsKeepTheirEdgesAndSayWhatToDoWhileEmpty)
{
    Open(kMovie);
    HWND tabs = Child(0);
    HWND list = Child(1);
    // The tabs lie below the list, so they cannot paint over its edge.
    bool tabsBelow = false;
    for (HWND next = GetWindow(list, GW_HWNDNEXT); next; next = GetWindow(next, GW_HWNDNEXT))
    {
        tabsBelow = tabsBelow || next == tabs;
    }
    EXPECT_TRUE(tabsBelow);
    EXPECT_TRUE(GetWindowLongPtrW(list, GWL_EXSTYLE) & WS_EX_CLIENTEDGE);

    // The hint is drawn, but it is no entry.
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 0);
    const int hint = InkIn(list);
    EXPECT_GT(hint, 20);
    m_dialog->Movie()->SetVariable("_root.FilesStr", "C:\\a.txt");
    m_dialog->Movie()->SetVariable("_root.bAdd", "1");
    EXPECT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 1);
    EXPECT_NE(InkIn(list), hint);
    EXPECT_EQ(Get("_root.Files"), "C:\\a.txt");
}

TEST_F(Win32MovieTest, StepperArrowsFollowTheDpiAndItsFieldFitsItsFont)
{
    Open(kMovie);
    HWND dialog = m_dialog->Handle();
    HWND field = Child(7);
    const HWND arrows = GetWindow(field, GW_HWNDNEXT);
    wchar_t name[64] = {};
    GetClassNameW(arrows, name, 64);
    ASSERT_STREQ(name, UPDOWN_CLASSW);
    const int dpi = WindowDpi(dialog);
    const RECT f = RectIn(dialog, field);
    const RECT a = RectIn(dialog, arrows);
    // The movie's place: 140 115 60 22.
    EXPECT_EQ(f.left, MulDiv(140, dpi, 96));
    EXPECT_EQ(a.right, MulDiv(200, dpi, 96));
    EXPECT_EQ(a.left, f.right);
    EXPECT_EQ(a.right - a.left, MulDiv(17, dpi, 96));
    EXPECT_EQ(a.top, f.top);
    EXPECT_EQ(a.bottom, f.bottom);
    // Centred in its place, and its text fills the field's inside.
    EXPECT_LE(std::abs((f.top + f.bottom) - (MulDiv(115, dpi, 96) + MulDiv(137, dpi, 96))), 1);
    TEXTMETRICW metrics{};
    HDC dc = GetDC(field);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(field, WM_GETFONT, 0, 0)));
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(field, dc);
    RECT inside{};
    GetClientRect(field, &inside);
    EXPECT_EQ(inside.bottom, metrics.tmHeight);
    // The arrows still step the number.
    SendMessageW(arrows, UDM_SETPOS32, 0, 9);
    EXPECT_EQ(Get("_root.Passes"), "9");
}

TEST_F(Win32MovieTest, TheFocusComesBackWhenTheWindowIsActiveAgain)
{
    Open(kMovie);
    HWND dialog = m_dialog->Handle();
    HWND edit = Child(4);
    CMovieDialog other(m_files, "Other", false,
                       [this](IMovie& movie, ISkinControl*, IWindowFrame& frame) {
                           return std::make_unique<CRecordingWindow>(movie, frame, m_presenter,
                                                                     m_folder, m_raised);
                       });
    ASSERT_TRUE(other.CreateModeless(nullptr));
    ShowWindow(other.Handle(), SW_SHOW);
    SetActiveWindow(dialog);
    SetFocus(edit);
    // Twice: the second time the focus was already gone when the window
    // lost the front, as after a run or another program's window.
    for (int round = 0; round < 2; ++round)
    {
        if (round == 1)
        {
            SetFocus(nullptr);
        }
        SetActiveWindow(other.Handle());
        EXPECT_NE(GetFocus(), edit) << round;
        SetActiveWindow(dialog);
        EXPECT_EQ(GetFocus(), edit) << round;
    }
    // A command remembers the control it came from.
    HWND go = Child(9);
    SetFocus(go);
    Notify(9, BN_CLICKED);
    SetFocus(nullptr);
    SetActiveWindow(other.Handle());
    SetActiveWindow(dialog);
    EXPECT_EQ(GetFocus(), go);
}

TEST_F(Win32MovieTest, ABrokenMovieSaysWhereAndStillClosesWithEsc)
{
    Open("movie 1\nsize 300 200\ncontrol button b 0 0 50 20\n");
    const auto& diagnostics = m_dialog->Movie()->GetDiagnostics();
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0].line, 3);
    EXPECT_TRUE(IsWindowVisible(m_dialog->Handle()));
    SendMessageW(m_dialog->Handle(), WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(m_dialog->Window()->Answer(), "");
    EXPECT_FALSE(IsWindowVisible(m_dialog->Handle()));
}

} // namespace
} // namespace qw
