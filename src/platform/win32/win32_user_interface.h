#pragma once

#include "platform/progress.h"
#include "ui/progress_throttle.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qw
{

// End-to-end tests find the progress window by this class.
inline constexpr wchar_t kProgressWindowClass[] = L"QuellwipeProgressWindow";
inline constexpr int kProgressLine1Id = 1024;
inline constexpr int kProgressLine2Id = 1025;
inline constexpr int kProgressLine3Id = 1026;
inline constexpr int kProgressBarId = 1027;
inline constexpr int kProgressCancelId = IDCANCEL;

// A plain modeless window with three labels, a progress bar and Cancel. It
// stands in for the movie-faced window and keeps the same control ids.
class CWin32ProgressWindow : public IProgressWindow
{
public:
    // Null when the window or one of its controls cannot be created.
    static std::unique_ptr<CWin32ProgressWindow> Create(const std::string& caption,
                                                        const std::string& cancelLabel,
                                                        std::function<void()> onCancel);
    ~CWin32ProgressWindow() override;
    CWin32ProgressWindow(const CWin32ProgressWindow&) = delete;
    CWin32ProgressWindow& operator=(const CWin32ProgressWindow&) = delete;

    void SetCaption(const std::string& text) override;
    void SetLine(int line, const std::string& text) override;
    void SetRange(std::uint64_t low, std::uint64_t high) override;
    void SetPosition(std::uint64_t position) override;
    void Show() override;
    void Enable() override;
    void Repaint() override;
    void DisableCancel() override;

private:
    explicit CWin32ProgressWindow(std::function<void()> onCancel);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool CreateControls(const std::string& cancelLabel);
    void RequestCancel();
    int ToBar(std::uint64_t value) const;
    std::uint64_t Clamp(std::uint64_t position) const;

    HWND m_window = nullptr;
    std::function<void()> m_onCancel;
    CProgressThrottle m_throttle;
    // Benchmarks only: the window is shown but never updated.
    bool m_updatesOff = false;
    std::uint64_t m_low = 0;
    std::uint64_t m_high = 100;
    // What the bar shows, which lags behind the last position reported.
    std::uint64_t m_shown = 0;
    // The bar takes 32-bit ints: 64-bit values are shifted right by this.
    int m_shift = 0;
};

// Pumps at most once a pump interval: a long loop calls PumpMessages after
// every block.
class CWin32UserInterface : public IUserInterface
{
public:
    explicit CWin32UserInterface(std::uint64_t pumpIntervalUs = CPumpThrottle::kDefaultIntervalUs);
    std::unique_ptr<IProgressWindow> CreateProgressWindow(const std::string& caption,
                                                          const std::string& cancelLabel,
                                                          std::function<void()> onCancel) override;
    void PumpMessages() override;

private:
    CPumpThrottle m_pumpThrottle;
};

} // namespace qw
