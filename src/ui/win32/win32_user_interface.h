#pragma once

#include "platform/progress.h"
#include "ui/flash_window.h"
#include "ui/progress_throttle.h"

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
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

class IFileSystem;
class IMessagePresenter;
class CWin32Movie;
class CWin32Skin;
class CProgressFlashWindow;

// Where the progress window finds its movie and skin, and who tells a skin
// that fails.
struct MovieFace
{
    IFileSystem& files;
    IMessagePresenter& presenter;
    std::string programFolder;
    std::function<std::string()> language;
};

// The modeless progress window: three labels, a bar and Cancel as hidden
// classic controls that hold the engine's state, and a movie face that
// shows it. Without a face the classic controls show themselves.
class CWin32ProgressWindow : public IProgressWindow, private IWindowFrame
{
public:
    // Null when the window or one of its controls cannot be created.
    static std::unique_ptr<CWin32ProgressWindow> Create(const std::string& caption,
                                                        const std::string& cancelLabel,
                                                        std::function<void()> onCancel,
                                                        const MovieFace* face = nullptr);
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
    bool CreateFace(const MovieFace& face);
    void ShowBarOnFace();
    // The face's frame: the cancel request hides the window itself.
    void EndModal() override {}
    void PostClose() override;
    void BeginDrag() override;
    void ShowPlainMessage(const std::string& text) override;
    std::string Caption() const override;
    bool CreateControls(const std::string& cancelLabel);
    void RequestCancel();
    int ToBar(std::uint64_t value) const;
    std::uint64_t Clamp(std::uint64_t position) const;
    bool OnScreen() const;
    bool Held() const;
    // Something changed: drawn now when the window is hidden (nothing to
    // draw) or a frame is due, else with the frame timer's next tick.
    void Changed();
    void ShowHeld();
    void Redraw();
    void OnFrameTimer();

    HWND m_window = nullptr;
    std::function<void()> m_onCancel;
    CProgressThrottle m_throttle;
    // Benchmarks only: the window is shown but never updated.
    bool m_updatesOff = false;
    std::uint64_t m_low = 0;
    std::uint64_t m_high = 100;
    // The last position reported, and what the bar shows, which lags
    // behind it by up to a frame.
    std::uint64_t m_wanted = 0;
    std::uint64_t m_shown = 0;
    // The bar takes 32-bit ints: 64-bit values are shifted right by this,
    // and the bar's own range was set with m_barShift.
    int m_shift = 0;
    int m_barShift = 0;
    bool m_rangeHeld = false;
    // Lines changed but not shown yet, one bit per line.
    unsigned m_heldLines = 0;
    bool m_timerSet = false;
    std::unique_ptr<CWin32Movie> m_movie;
    std::unique_ptr<CWin32Skin> m_skin;
    std::unique_ptr<CProgressFlashWindow> m_face;
    int m_facePerMille = -1;
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
    // Progress windows made from now on wear this movie face.
    void SetMovieFace(MovieFace face) { m_face.emplace(std::move(face)); }

private:
    CPumpThrottle m_pumpThrottle;
    std::optional<MovieFace> m_face;
};

} // namespace qw
