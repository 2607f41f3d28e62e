#pragma once

#include "player/diagnostic.h"
#include "player/splash.h"
#include "player/splash_format.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace qw
{

class IFileSystem;

// The start-up splash: a top-most popup without caption, centred on the
// owner's monitor at its DPI, that never takes the keyboard focus and closes
// itself after its time or at a click.
class CWin32Splash : public ISplashControl
{
public:
    static constexpr const wchar_t* kWindowClass = L"QuellwipeSplash";

    // `owner` may be null: the splash then shows on the primary monitor.
    CWin32Splash(IFileSystem& files, HWND owner) : m_files(files), m_owner(owner) {}
    ~CWin32Splash() override;
    CWin32Splash(const CWin32Splash&) = delete;
    CWin32Splash& operator=(const CWin32Splash&) = delete;

    bool Load(const std::string& path) override;
    void SetDelay(int milliseconds) override;
    void SetModal(bool modal) override;

    // Closes the splash now, if it is shown.
    void Close();
    // The splash window while it is shown; null otherwise.
    HWND Handle() const { return m_window; }
    const Diagnostics& GetDiagnostics() const { return m_diagnostics; }

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Unload();
    bool Show();
    bool StartTimer();
    void CreateFonts();
    void DeleteFonts();
    void Paint(HDC dc, const RECT& client);
    int Scale(int length) const { return MulDiv(length, m_dpi, 96); }

    IFileSystem& m_files;
    HWND m_owner;
    std::optional<SplashDefinition> m_splash;
    std::vector<std::wstring> m_texts; // expanded, one per text of the splash
    std::vector<HFONT> m_fonts;        // likewise, at m_dpi
    HBITMAP m_picture = nullptr;
    int m_delay = 0; // 0: the file's own time
    int m_dpi = 96;
    HWND m_window = nullptr;
    Diagnostics m_diagnostics;
};

} // namespace qw
