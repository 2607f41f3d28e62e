#pragma once

#include "player/movie_player.h"

#include <windows.h>

#include <string>
#include <vector>

namespace qw
{

// Plays a movie on a dialog with real standard controls, so that the
// keyboard, screen readers and test tools see ordinary buttons, lists and
// edits with their texts. Positions and fonts follow the window's DPI.
class CWin32Movie : public CMoviePlayer
{
public:
    static constexpr int kFirstControlId = 1100;

    CWin32Movie(IFileSystem& files, HWND parent);
    ~CWin32Movie() override;
    CWin32Movie(const CWin32Movie&) = delete;
    CWin32Movie& operator=(const CWin32Movie&) = delete;

    bool LoadMovie(const std::string& path) override;
    bool Loaded() const { return m_loaded; }

    // The parent's messages the movie answers; true when it took one.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Esc: presses the visible cancel button; false when there is none.
    bool PressCancel();
    // Ctrl+Tab: the next (or, with a negative step, an earlier) page of the
    // visible tabs, as a click on its caption; false without tabs.
    bool StepPage(int step);
    // The movie's size at the window's DPI.
    SIZE ScaledSize() const;
    int Dpi() const { return m_dpi; }
    // Gives the keyboard focus to the default button, or the first control
    // that takes it.
    void FocusFirst();
    // Enables or disables the movie's cancel button.
    void EnableCancel(bool enable);
    // The window's caption changed: the title shows it.
    void CaptionChanged();

protected:
    void Refresh() override;

private:
    struct Child
    {
        const Control* control = nullptr;
        HWND window = nullptr;
        HWND buddy = nullptr; // a stepper's arrows
        std::wstring text; // what it shows; a list's text while it is empty
        std::vector<std::string> items;
        bool visible = false;
    };

    void Destroy();
    void Build();
    void Layout();
    void LayOutStepper(const Child& child);
    void Sync();
    void SyncChild(Child& child);
    void UpdateFont();
    int Scale(int length) const { return MulDiv(length, m_dpi, 96); }
    RECT TitleRect() const;
    std::wstring TitleText() const;
    Child* ChildOf(int id);
    void OnControl(Child& child, int code);
    void Paint(HDC dc);

    HWND m_parent;
    std::string m_folder; // of the movie file: its images lie beside it
    std::vector<Child> m_children;
    HFONT m_font = nullptr;
    HFONT m_titleFont = nullptr;
    HBRUSH m_background = nullptr;
    int m_dpi = 96;
    bool m_loaded = false;
    std::wstring m_titleShown;
    int m_defaultId = 0;
    // Set while the movie changes controls itself, so that their
    // notifications are not taken for the user's actions.
    bool m_syncing = false;
};

// The DPI of a window, or of the screen where the system cannot tell.
int WindowDpi(HWND window);
// The system's message font at a DPI.
HFONT CreateMessageFont(int dpi, bool bold);

} // namespace qw
