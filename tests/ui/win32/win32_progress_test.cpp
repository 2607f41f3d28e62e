// The Win32 progress window and message pump against real windows (wine
// under Xvfb in CI).

#include "ui/win32/win32_user_interface.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>

namespace qw
{
namespace
{

std::wstring WindowText(HWND window)
{
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), length + 1)));
    return text;
}

std::wstring ItemText(HWND window, int id)
{
    return WindowText(GetDlgItem(window, id));
}

struct BarState
{
    int low;
    int high;
    int position;
};

BarState Bar(HWND window)
{
    HWND bar = GetDlgItem(window, 1027);
    PBRANGE range{};
    SendMessageW(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    return {range.iLow, range.iHigh, static_cast<int>(SendMessageW(bar, PBM_GETPOS, 0, 0))};
}

double Fraction(const BarState& bar)
{
    return static_cast<double>(bar.position - bar.low) / static_cast<double>(bar.high - bar.low);
}

class ProgressWindowTest : public ::testing::Test
{
protected:
    // Each test gives its own caption so that the window can be found by
    // its class and (ASCII) caption, the way the end-to-end tests find it.
    void Open(const std::string& caption, const std::string& cancelLabel = "Cancel")
    {
        m_progress = m_ui.CreateProgressWindow(caption, cancelLabel, [this] { ++m_cancels; });
        ASSERT_NE(m_progress, nullptr);
        m_window = FindWindowW(L"QuellwipeProgressWindow", WindowCaption(caption).c_str());
        ASSERT_NE(m_window, nullptr);
    }

    static std::wstring WindowCaption(const std::string& caption)
    {
        return std::wstring(caption.begin(), caption.end());
    }

    HWND CancelButton() const { return GetDlgItem(m_window, IDCANCEL); }

    // Pumps on every call, so that each pump below sees what was posted.
    CWin32UserInterface m_ui{0};
    std::unique_ptr<IProgressWindow> m_progress;
    HWND m_window = nullptr;
    int m_cancels = 0;
};

TEST_F(ProgressWindowTest, StartsHiddenWithCaptionAndCancelLabelAndShowsOnRequest)
{
    ASSERT_NO_FATAL_FAILURE(Open("Shredding.....", "Abbrechen"));
    EXPECT_FALSE(IsWindowVisible(m_window));
    EXPECT_EQ(ItemText(m_window, IDCANCEL), L"Abbrechen");
    EXPECT_TRUE(IsWindowEnabled(CancelButton()));

    EnableWindow(m_window, FALSE);
    m_progress->Show();
    m_progress->Enable();
    EXPECT_TRUE(IsWindowVisible(m_window));
    EXPECT_TRUE(IsWindowEnabled(m_window));

    m_progress->SetCaption("Wiping free space on C: \u2013 \u00e9t\u00e9");
    EXPECT_EQ(WindowText(m_window), L"Wiping free space on C: \u2013 \u00e9t\u00e9");
}

TEST_F(ProgressWindowTest, LinesLandInTheirLabelsWhole)
{
    ASSERT_NO_FATAL_FAILURE(Open("Lines"));
    std::string longPath = "C:\\";
    std::wstring longWide = L"C:\\";
    for (int i = 0; i < 40; ++i)
    {
        longPath += "Verzeichnis\u00e4\\";
        longWide += L"Verzeichnis\u00e4\\";
    }
    longPath += "Bericht & Notizen.docx";
    longWide += L"Bericht & Notizen.docx";

    m_progress->SetLine(1, longPath);
    m_progress->SetLine(2, "\u65e5\u672c\u8a9e \U0001F4C1 pass 2 of 7");
    m_progress->SetLine(3, "Random data");
    EXPECT_EQ(ItemText(m_window, 1024), longWide);
    EXPECT_EQ(ItemText(m_window, 1025), L"\u65e5\u672c\u8a9e \U0001F4C1 pass 2 of 7");
    EXPECT_EQ(ItemText(m_window, 1026), L"Random data");

    m_progress->SetLine(2, "");
    m_progress->SetLine(0, "ignored");
    m_progress->SetLine(4, "ignored");
    EXPECT_EQ(ItemText(m_window, 1024), longWide);
    EXPECT_EQ(ItemText(m_window, 1025), L"");
    EXPECT_EQ(ItemText(m_window, 1026), L"Random data");
}

TEST_F(ProgressWindowTest, RangesThatFitAreSetAsTheyStand)
{
    ASSERT_NO_FATAL_FAILURE(Open("Small range"));
    // 5 GiB in 64 KiB blocks.
    m_progress->SetRange(0, 81920);
    m_progress->SetPosition(40960);
    BarState bar = Bar(m_window);
    EXPECT_EQ(bar.low, 0);
    EXPECT_EQ(bar.high, 81920);
    EXPECT_EQ(bar.position, 40960);

    m_progress->SetRange(100, INT_MAX);
    m_progress->SetPosition(INT_MAX);
    bar = Bar(m_window);
    EXPECT_EQ(bar.low, 100);
    EXPECT_EQ(bar.high, INT_MAX);
    EXPECT_EQ(bar.position, INT_MAX);
}

TEST_F(ProgressWindowTest, RangesAboveIntMaxAreScaledProportionally)
{
    ASSERT_NO_FATAL_FAILURE(Open("Large range"));
    m_progress->SetRange(0, 10'000'000'000ULL);
    m_progress->SetPosition(2'500'000'000ULL);
    BarState bar = Bar(m_window);
    EXPECT_LE(bar.high, INT_MAX);
    // Scaling keeps a fine resolution rather than a coarse one.
    EXPECT_GT(bar.high, INT_MAX / 4);
    EXPECT_NEAR(Fraction(bar), 0.25, 1e-6);

    m_progress->SetRange(6'000'000'000ULL, 8'000'000'000ULL);
    m_progress->SetPosition(7'000'000'000ULL);
    bar = Bar(m_window);
    EXPECT_GT(bar.low, 0);
    EXPECT_NEAR(Fraction(bar), 0.5, 1e-6);

    const std::uint64_t top = std::numeric_limits<std::uint64_t>::max();
    m_progress->SetRange(0, top);
    m_progress->SetPosition(top);
    bar = Bar(m_window);
    EXPECT_GT(bar.high, 0);
    EXPECT_EQ(bar.position, bar.high);
}

TEST_F(ProgressWindowTest, PositionKeepsItsMeaningWhenTheScaleChanges)
{
    ASSERT_NO_FATAL_FAILURE(Open("Rescale"));
    m_progress->SetRange(0, 100);
    m_progress->SetPosition(50);
    m_progress->SetRange(0, 200);
    EXPECT_NEAR(Fraction(Bar(m_window)), 0.25, 1e-9);

    m_progress->SetRange(0, 10'000'000'000ULL);
    m_progress->SetPosition(5'000'000'000ULL);
    m_progress->SetRange(0, 20'000'000'000ULL);
    EXPECT_NEAR(Fraction(Bar(m_window)), 0.25, 1e-6);
}

TEST_F(ProgressWindowTest, PositionsOutsideTheRangeStopAtItsEnds)
{
    ASSERT_NO_FATAL_FAILURE(Open("Clamp"));
    m_progress->SetRange(1000, 10'000'000'000ULL);
    m_progress->SetPosition(std::numeric_limits<std::uint64_t>::max());
    BarState bar = Bar(m_window);
    EXPECT_EQ(bar.position, bar.high);
    m_progress->SetPosition(0);
    bar = Bar(m_window);
    EXPECT_EQ(bar.position, bar.low);
}

TEST_F(ProgressWindowTest, RepaintLeavesNothingToPaint)
{
    ASSERT_NO_FATAL_FAILURE(Open("Repaint"));
    m_progress->Show();
    m_ui.PumpMessages();
    m_progress->SetLine(1, "C:\\Data\\new text.txt");
    InvalidateRect(m_window, nullptr, TRUE);
    ASSERT_TRUE(GetUpdateRect(m_window, nullptr, FALSE));
    m_progress->Repaint();
    EXPECT_FALSE(GetUpdateRect(m_window, nullptr, FALSE));
    EXPECT_FALSE(GetUpdateRect(GetDlgItem(m_window, 1024), nullptr, FALSE));
}

TEST_F(ProgressWindowTest, ClickingCancelCancelsOnceDisablesAndHides)
{
    ASSERT_NO_FATAL_FAILURE(Open("Click"));
    m_progress->Show();
    PostMessageW(CancelButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(m_cancels, 0) << "nothing happens before the messages are pumped";
    m_ui.PumpMessages();
    EXPECT_EQ(m_cancels, 1);
    EXPECT_FALSE(IsWindowEnabled(CancelButton()));
    EXPECT_FALSE(IsWindowVisible(m_window));
    EXPECT_TRUE(IsWindow(m_window)) << "the window lives until its object is destroyed";

    PostMessageW(CancelButton(), BM_CLICK, 0, 0);
    PostMessageW(m_window, WM_CLOSE, 0, 0);
    SendMessageW(m_window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(CancelButton()));
    m_ui.PumpMessages();
    EXPECT_EQ(m_cancels, 1);
}

TEST_F(ProgressWindowTest, CloseRequestsCancel)
{
    ASSERT_NO_FATAL_FAILURE(Open("Close"));
    m_progress->Show();
    PostMessageW(m_window, WM_CLOSE, 0, 0);
    m_ui.PumpMessages();
    EXPECT_EQ(m_cancels, 1);
    EXPECT_FALSE(IsWindowEnabled(CancelButton()));
    EXPECT_FALSE(IsWindowVisible(m_window));
    EXPECT_TRUE(IsWindow(m_window));
}

TEST_F(ProgressWindowTest, SystemMenuCloseCancelsEvenBeforeShow)
{
    ASSERT_NO_FATAL_FAILURE(Open("System close"));
    PostMessageW(m_window, WM_SYSCOMMAND, SC_CLOSE, 0);
    m_ui.PumpMessages();
    EXPECT_EQ(m_cancels, 1);
    EXPECT_FALSE(IsWindowEnabled(CancelButton()));
}

TEST_F(ProgressWindowTest, EscapeCancelsThroughThePump)
{
    ASSERT_NO_FATAL_FAILURE(Open("Escape"));
    m_progress->Show();
    PostMessageW(m_window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    m_ui.PumpMessages();
    EXPECT_EQ(m_cancels, 1);
    EXPECT_FALSE(IsWindowVisible(m_window));
}

TEST_F(ProgressWindowTest, DisabledCancelRefusesEveryCancelRequest)
{
    ASSERT_NO_FATAL_FAILURE(Open("Clean-up"));
    m_progress->Show();
    m_progress->DisableCancel();
    EXPECT_FALSE(IsWindowEnabled(CancelButton()));

    PostMessageW(CancelButton(), BM_CLICK, 0, 0);
    PostMessageW(m_window, WM_CLOSE, 0, 0);
    PostMessageW(m_window, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    m_ui.PumpMessages();
    EXPECT_EQ(m_cancels, 0);
    EXPECT_TRUE(IsWindowVisible(m_window));
}

TEST_F(ProgressWindowTest, CancelHandlerMayDestroyTheWindowAndMayThrow)
{
    std::unique_ptr<IProgressWindow> progress;
    progress = m_ui.CreateProgressWindow("Self-destroying", "Cancel",
                                         [&progress]
                                         {
                                             progress.reset();
                                             throw std::runtime_error(
                                                 "must not cross the window procedure");
                                         });
    ASSERT_NE(progress, nullptr);
    HWND window = FindWindowW(L"QuellwipeProgressWindow", L"Self-destroying");
    ASSERT_NE(window, nullptr);
    PostMessageW(window, WM_CLOSE, 0, 0);
    m_ui.PumpMessages();
    EXPECT_EQ(progress, nullptr);
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(ProgressWindowTest, DestroyingTheObjectDestroysTheWindow)
{
    ASSERT_NO_FATAL_FAILURE(Open("Destroy"));
    HWND bar = GetDlgItem(m_window, 1027);
    m_progress.reset();
    EXPECT_FALSE(IsWindow(m_window));
    EXPECT_FALSE(IsWindow(bar));
}

// Counts one message on its way to a window, by subclassing it.
class MessageCounter
{
public:
    MessageCounter(HWND window, UINT message) : m_window(window), m_message(message)
    {
        SetPropW(window, kProp, this);
        m_original = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Proc)));
    }
    ~MessageCounter()
    {
        SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_original));
        RemovePropW(m_window, kProp);
    }
    MessageCounter(const MessageCounter&) = delete;
    MessageCounter& operator=(const MessageCounter&) = delete;

    int Count() const { return m_count; }

private:
    static constexpr wchar_t kProp[] = L"QuellwipeMessageCounter";
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = static_cast<MessageCounter*>(GetPropW(window, kProp));
        if (message == self->m_message)
        {
            ++self->m_count;
        }
        return CallWindowProcW(self->m_original, window, message, wParam, lParam);
    }

    HWND m_window;
    UINT m_message;
    WNDPROC m_original = nullptr;
    int m_count = 0;
};

// True once `shown` holds, pumping meanwhile as a run does: what the window
// held back must reach the screen with the frame timer's next tick.
template <typename Shown> bool ShownWithinATick(CWin32UserInterface& ui, Shown shown)
{
    // One interval and the pump's own, with room for a loaded machine.
    const ULONGLONG deadline = GetTickCount64() + 500;
    do
    {
        ui.PumpMessages();
        if (shown())
        {
            return true;
        }
        Sleep(5);
    } while (GetTickCount64() < deadline);
    return false;
}

TEST_F(ProgressWindowTest, ABurstOfBlocksMovesTheBarAtMostOnceAnIntervalAndEndsOnItsLast)
{
    ASSERT_NO_FATAL_FAILURE(Open("Burst"));
    m_progress->Show();
    MessageCounter setPos(GetDlgItem(m_window, 1027), PBM_SETPOS);
    const ULONGLONG start = GetTickCount64();
    for (int pass = 0; pass < 3; ++pass)
    {
        // Each pass its own range, so that the end of the one before cannot
        // pass for this one's.
        const std::uint64_t blocks = 16385 + static_cast<std::uint64_t>(pass);
        m_progress->SetRange(0, blocks);
        m_progress->SetPosition(0);
        for (std::uint64_t block = 1; block <= blocks; ++block)
        {
            m_progress->SetPosition(block);
            m_progress->Repaint();
        }
        // A pass seen going shows its end at once, one too short for any
        // frame with the next tick.
        EXPECT_TRUE(ShownWithinATick(m_ui,
                                     [&]
                                     {
                                         const BarState bar = Bar(m_window);
                                         return bar.high == static_cast<int>(blocks) &&
                                                bar.position == bar.high;
                                     }))
            << "pass " << pass;
    }
    const int intervals = static_cast<int>((GetTickCount64() - start) / 33);
    // One an interval, and each pass's end.
    EXPECT_GE(setPos.Count(), 1);
    EXPECT_LE(setPos.Count(), intervals + 1 + 3);
}

TEST_F(ProgressWindowTest, AFolderOfSmallFilesDrawsAtTheRateAndEndsOnItsLastFile)
{
    ASSERT_NO_FATAL_FAILURE(Open("Small files"));
    m_progress->Show();
    MessageCounter names(GetDlgItem(m_window, 1024), WM_SETTEXT);
    MessageCounter setPos(GetDlgItem(m_window, 1027), PBM_SETPOS);
    constexpr int kFiles = 300;
    const ULONGLONG start = GetTickCount64();
    for (int file = 0; file < kFiles; ++file)
    {
        // Files of one and of two blocks, named as each starts.
        m_progress->SetLine(1, "C:\\tree\\f" + std::to_string(file));
        if (file == 0)
        {
            EXPECT_EQ(ItemText(m_window, 1024), L"C:\\tree\\f0") << "the first frame is at once";
        }
        const std::uint64_t blocks = 1 + static_cast<std::uint64_t>(file % 2);
        m_progress->SetRange(0, blocks);
        m_progress->SetPosition(0);
        for (std::uint64_t block = 1; block <= blocks; ++block)
        {
            m_progress->SetPosition(block);
            m_progress->Repaint();
        }
        m_ui.PumpMessages();
    }
    const int intervals = static_cast<int>((GetTickCount64() - start) / 33);
    EXPECT_LE(names.Count(), intervals + 1) << "a name a frame at most, not one a file";
    EXPECT_LE(setPos.Count(), 2 * (intervals + 1)) << "a frame and a file's end an interval";
    const std::wstring last = L"C:\\tree\\f" + std::to_wstring(kFiles - 1);
    EXPECT_TRUE(ShownWithinATick(m_ui,
                                 [&]
                                 {
                                     const BarState bar = Bar(m_window);
                                     return ItemText(m_window, 1024) == last && bar.high == 2 &&
                                            bar.position == 2;
                                 }))
        << "the last file's name and end show with the next tick";
}

TEST_F(ProgressWindowTest, TextsReachTheirControlsOnlyWhenTheyChange)
{
    ASSERT_NO_FATAL_FAILURE(Open("Texts"));
    MessageCounter line2(GetDlgItem(m_window, 1025), WM_SETTEXT);
    MessageCounter caption(m_window, WM_SETTEXT);
    for (int block = 0; block < 100; ++block)
    {
        m_progress->SetLine(2, "Pass 1");
        m_progress->SetCaption("Texts");
    }
    m_progress->SetLine(2, "Pass 2");
    m_progress->SetLine(2, "Pass 2");
    m_progress->SetCaption("Wiping D:");
    EXPECT_EQ(line2.Count(), 2);
    EXPECT_EQ(caption.Count(), 1) << "the caption it was made with is not set again";
    EXPECT_EQ(ItemText(m_window, 1025), L"Pass 2");
    EXPECT_EQ(WindowText(m_window), L"Wiping D:");
}

// A message-only window that counts what reaches it.
class CountingWindow
{
public:
    CountingWindow()
    {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Proc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QuellwipeCountingTestWindow";
        RegisterClassW(&windowClass);
        m_window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                   nullptr, windowClass.hInstance, nullptr);
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~CountingWindow() { DestroyWindow(m_window); }
    CountingWindow(const CountingWindow&) = delete;
    CountingWindow& operator=(const CountingWindow&) = delete;

    HWND Handle() const { return m_window; }
    int Received() const { return m_received; }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_APP)
        {
            auto* self =
                reinterpret_cast<CountingWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            ++self->m_received;
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND m_window = nullptr;
    int m_received = 0;
};

TEST(PumpMessages, DispatchesEveryPendingMessageAndEmptiesTheQueue)
{
    CountingWindow counter;
    ASSERT_NE(counter.Handle(), nullptr);
    for (int i = 0; i < 5; ++i)
    {
        PostMessageW(counter.Handle(), WM_APP, 0, 0);
    }
    CWin32UserInterface ui;
    ui.PumpMessages();
    EXPECT_EQ(counter.Received(), 5);
    MSG message;
    EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(PumpMessages, LooksAtTheQueueAtMostOnceAnInterval)
{
    CountingWindow counter;
    ASSERT_NE(counter.Handle(), nullptr);
    CWin32UserInterface ui(200'000);
    const ULONGLONG start = GetTickCount64();
    ui.PumpMessages();
    PostMessageW(counter.Handle(), WM_APP, 0, 0);
    ui.PumpMessages();
    if (GetTickCount64() - start < 200)
    {
        EXPECT_EQ(counter.Received(), 0) << "pumped again within the interval";
    }
    Sleep(250);
    ui.PumpMessages();
    EXPECT_EQ(counter.Received(), 1);
}

TEST(PumpMessages, QuitSurvivesForTheEnclosingLoop)
{
    CountingWindow counter;
    ASSERT_NE(counter.Handle(), nullptr);
    PostMessageW(counter.Handle(), WM_APP, 0, 0);
    PostQuitMessage(7);
    PostMessageW(counter.Handle(), WM_APP, 0, 0);
    CWin32UserInterface ui;
    ui.PumpMessages();
    EXPECT_EQ(counter.Received(), 2);

    MSG message;
    ASSERT_TRUE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(message.wParam, 7u);
    EXPECT_FALSE(PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE));
}

} // namespace
} // namespace qw
