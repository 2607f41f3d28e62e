// The start-up splash under wine on a real display: it shows at once without
// taking the focus from the window behind it, paints its picture and texts
// at the right place, closes after its time, at a click or with its object,
// and a broken splash shows nothing and never blocks.

#include "app/version.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_file_system.h"
#include "player/win32/win32_movie.h"
#include "player/win32/win32_splash.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

namespace qw
{
namespace
{

// Pumps messages until `done` holds or `limit` ms pass; the ms it took.
ULONGLONG PumpUntil(const std::function<bool()>& done, ULONGLONG limit)
{
    const ULONGLONG start = GetTickCount64();
    while (!done() && GetTickCount64() - start < limit)
    {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return GetTickCount64() - start;
}

// A one-pixel 24-bit bitmap: the splash stretches it over its whole face.
std::string OnePixelBitmap(COLORREF color)
{
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER info{};
    const char pixel[4] = {char(GetBValue(color)), char(GetGValue(color)), char(GetRValue(color))};
    file.bfType = 0x4D42; // "BM"
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + sizeof(pixel);
    info.biSize = sizeof(info);
    info.biWidth = info.biHeight = info.biPlanes = 1;
    info.biBitCount = 24;
    return std::string(reinterpret_cast<const char*>(&file), sizeof(file)) +
           std::string(reinterpret_cast<const char*>(&info), sizeof(info)) +
           std::string(pixel, sizeof(pixel));
}

bool SplashShown()
{
    return FindWindowW(CWin32Splash::kWindowClass, nullptr) != nullptr;
}

class Win32SplashTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        m_folder = WideToUtf8(temp) + "qw_splash_test\\";
        CreateDirectoryW(Utf8ToWide(m_folder).c_str(), nullptr);
    }
    std::string Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(Utf8ToWide(m_folder + name).c_str(), std::ios::binary) << text;
        return m_folder + name;
    }
    CWin32FileSystem m_files;
    std::string m_folder;
};

TEST_F(Win32SplashTest, ShowsAtOnceWithoutTakingTheFocusAndClosesAfterItsDelay)
{
    // The main window the splash stands in front of, with the keyboard focus.
    HWND main = CreateWindowExW(0, L"EDIT", L"Main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 300,
                                200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(main);
    SetForegroundWindow(main);
    SetFocus(main);
    PumpUntil([] { return false; }, 100);
    ASSERT_EQ(GetFocus(), main);

    const COLORREF green = RGB(0x20, 0xC0, 0x40);
    Write("green.bmp", OnePixelBitmap(green));
    const std::string path =
        Write("QW_Splash.spl", "splash 1\nsize 200 100\ntime 5000\nbackground ff0000\n"
                               "image green.bmp\n"
                               "text 0 50 200 50 bold size=20 align=center color=ffffff "
                               "\"$product $version\"\n");
    CWin32Splash splash(m_files, main);
    ASSERT_TRUE(splash.Load(path));
    splash.SetDelay(200);
    const ULONGLONG start = GetTickCount64();
    splash.SetModal(false);
    EXPECT_LT(GetTickCount64() - start, 100u);

    HWND window = FindWindowW(CWin32Splash::kWindowClass, nullptr);
    ASSERT_TRUE(window);
    EXPECT_EQ(window, splash.Handle());
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetWindowLongW(window, GWL_STYLE) & WS_CAPTION, 0);
    const LONG extended = GetWindowLongW(window, GWL_EXSTYLE);
    EXPECT_NE(extended & WS_EX_TOPMOST, 0);
    EXPECT_NE(extended & WS_EX_NOACTIVATE, 0);
    wchar_t title[100] = {};
    GetWindowTextW(window, title, 100);
    EXPECT_EQ(WideToUtf8(title), "Quellwipe " + std::string(kVersion));

    // Its size at the DPI, centred on the owner's monitor.
    const int dpi = WindowDpi(main);
    RECT box;
    GetWindowRect(window, &box);
    EXPECT_EQ(box.right - box.left, MulDiv(200, dpi, 96));
    EXPECT_EQ(box.bottom - box.top, MulDiv(100, dpi, 96));
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(main, MONITOR_DEFAULTTOPRIMARY), &monitor);
    EXPECT_NEAR(box.left + box.right, monitor.rcWork.left + monitor.rcWork.right, 1);
    EXPECT_NEAR(box.top + box.bottom, monitor.rcWork.top + monitor.rcWork.bottom, 1);

    // The picture covers the splash; the text is drawn over its lower half.
    HDC dc = GetDC(window);
    const int width = MulDiv(200, dpi, 96);
    const int height = MulDiv(100, dpi, 96);
    EXPECT_EQ(GetPixel(dc, 2, 2), green);
    EXPECT_EQ(GetPixel(dc, width - 3, height - 3), green);
    int white = 0;
    int whiteAbove = 0;
    for (int y = 0; y < height; y += 2)
    {
        for (int x = 0; x < width; x += 2)
        {
            const bool isWhite = GetPixel(dc, x, y) == RGB(255, 255, 255);
            (y < height / 2 ? whiteAbove : white) += isWhite ? 1 : 0;
        }
    }
    ReleaseDC(window, dc);
    EXPECT_GT(white, 20);
    EXPECT_EQ(whiteAbove, 0);

    EXPECT_EQ(GetFocus(), main);
    EXPECT_EQ(GetForegroundWindow(), main);
    // Measured from the start: the checks above take their own time on a busy machine.
    PumpUntil([] { return !SplashShown(); }, 3000);
    const ULONGLONG shown = GetTickCount64();
    EXPECT_FALSE(SplashShown());
    EXPECT_EQ(splash.Handle(), nullptr);
    EXPECT_GE(shown - start, 180u);
    EXPECT_LT(shown - start, 1500u);
    EXPECT_EQ(GetFocus(), main);
    DestroyWindow(main);
}

TEST_F(Win32SplashTest, ModalWaitsForTheFilesTimeAndAClickOrItsEndCloseItEarly)
{
    const std::string path = Write("timed.spl", "splash 1\nsize 120 60\ntime 300\n"
                                                "text 0 0 120 60 \"$product\"\n");
    CWin32Splash splash(m_files, nullptr);
    ASSERT_TRUE(splash.Load(path));
    splash.SetDelay(0);
    ULONGLONG start = GetTickCount64();
    splash.SetModal(true);
    EXPECT_GE(GetTickCount64() - start, 280u);
    EXPECT_LT(GetTickCount64() - start, 2000u);
    EXPECT_FALSE(SplashShown());

    splash.SetDelay(5000);
    splash.SetModal(false);
    ASSERT_TRUE(SplashShown());
    PostMessageW(splash.Handle(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    EXPECT_LT(PumpUntil([] { return !SplashShown(); }, 2000), 1000u);
    EXPECT_FALSE(SplashShown());

    // The program told to end during a modal splash: it closes at once and
    // the program's own loop still sees the quit.
    PostQuitMessage(3);
    start = GetTickCount64();
    splash.SetModal(true);
    EXPECT_LT(GetTickCount64() - start, 1000u);
    EXPECT_FALSE(SplashShown());
    MSG quit;
    ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(quit.wParam, 3u);

    {
        CWin32Splash shortLived(m_files, nullptr);
        ASSERT_TRUE(shortLived.Load(path));
        shortLived.SetDelay(5000);
        shortLived.SetModal(false);
        ASSERT_TRUE(SplashShown());
    }
    EXPECT_FALSE(SplashShown());
}

TEST_F(Win32SplashTest, ABrokenSplashShowsNothingAndNeverBlocks)
{
    Write("text.bmp", "not a bitmap");
    const std::string head = "splash 1\nsize 100 50\n";
    const std::string paths[] = {
        m_folder + "missing.spl",
        Write("nosize.spl", "splash 1\ntime 500\n"),
        Write("outside.spl", head + "text 90 0 20 10 \"$product\"\n"),
        Write("nopicture.spl", head + "image missing.bmp\n"),
        Write("badpicture.spl", head + "image text.bmp\n"),
    };
    for (const std::string& path : paths)
    {
        CWin32Splash splash(m_files, nullptr);
        EXPECT_FALSE(splash.Load(path)) << path;
        EXPECT_FALSE(splash.GetDiagnostics().empty()) << path;
        splash.SetDelay(5000);
        const ULONGLONG start = GetTickCount64();
        splash.SetModal(true);
        splash.SetModal(false);
        EXPECT_LT(GetTickCount64() - start, 100u) << path;
        EXPECT_FALSE(SplashShown()) << path;
    }
}

} // namespace
} // namespace qw
