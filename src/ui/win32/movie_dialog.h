#pragma once

#include "player/win32/win32_movie.h"
#include "player/win32/win32_skin.h"
#include "ui/flash_window.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace qw
{

class IFileSystem;

// End-to-end tests find the program's own window by this class.
inline constexpr wchar_t kMainWindowClass[] = L"QuellwipeMainWindow";

// A dialog whose face is a movie: the system window under a CFlashWindow.
// The dialog manager gives it the keyboard (Tab, mnemonics, Enter for the
// default button, Esc).
class CMovieDialog : public IWindowFrame
{
public:
    using Factory =
        std::function<std::unique_ptr<CFlashWindow>(IMovie&, ISkinControl*, IWindowFrame&)>;

    CMovieDialog(IFileSystem& files, std::string caption, bool skinned, Factory factory);
    ~CMovieDialog() override;
    CMovieDialog(const CMovieDialog&) = delete;
    CMovieDialog& operator=(const CMovieDialog&) = delete;

    // Shows the window and returns once it has closed.
    void RunModal(HWND owner);
    // Handles a message before the movie does; true when it took it.
    using MessageHook = std::function<bool(UINT, WPARAM, LPARAM, INT_PTR&)>;
    void SetMessageHook(MessageHook hook) { m_hook = std::move(hook); }
    // The program's own window: on the task bar, runs its own message loop
    // so that `filter` sees every message first (true: swallowed).
    void RunAsMainWindow(std::function<bool(MSG&)> filter);
    // Creates the window hidden; false when it cannot be made.
    bool CreateModeless(HWND owner);

    HWND Handle() const { return m_window; }
    CFlashWindow* Window() const { return m_flash.get(); }
    CWin32Movie* Movie() const { return m_movie.get(); }
    // Runs when the window is closed or Esc is pressed without a cancel
    // button in its movie; the window then ends with no answer.
    void SetCloseHandler(std::function<void()> handler) { m_onClose = std::move(handler); }

    void EndModal() override;
    void PostClose() override;
    void BeginDrag() override;
    void ShowPlainMessage(const std::string& text) override;
    std::string Caption() const override { return m_caption; }

private:
    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void OnInit();
    void CloseWithoutAnswer();
    void KeepFocus();
    void RestoreFocus();
    std::vector<WORD> Template() const;

    IFileSystem& m_files;
    std::string m_caption;
    bool m_skinned;
    Factory m_factory;
    bool m_modal = false;
    HWND m_window = nullptr;
    std::unique_ptr<CWin32Movie> m_movie;
    std::unique_ptr<CWin32Skin> m_skin;
    std::unique_ptr<CFlashWindow> m_flash;
    std::function<void()> m_onClose;
    MessageHook m_hook;
    bool m_mainWindow = false;
    bool m_ended = false;
    // The control that had the keyboard focus when the window last lost it
    // or raised a command: it gets the focus back when the window is active
    // again, whatever another window or program did in between.
    HWND m_lastFocus = nullptr;
};

// The program's name as the system shows it: the executable's base name.
std::wstring ProgramName();

// A plain system message box over `owner`, with OK and the program's name,
// brought to the front: the window that asks may not be in front itself.
void ShowPlainMessageOver(HWND owner, const std::string& text);

} // namespace qw
