#pragma once

#include "ui/main_window.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <functional>
#include <string>
#include <string_view>

namespace qw
{

class IFileSystem;
class IMessagePresenter;
class CMovieDialog;

inline constexpr int kAboutMenuTextId = 101;
inline constexpr int kMainIconId = 128;
// The open-file dialog's buffer, in characters: room for a large multiple
// selection, where one path's worth refuses all but a few files.
inline constexpr DWORD kFileSelectionChars = 65536;

struct MainWindowParts
{
    IFileSystem& files;
    IMessagePresenter& presenter;
    std::string programFolder;
    std::string caption;
    std::function<std::string()> language;
    // A window title of the language pack, or its default.
    std::function<std::string(int key, std::string_view defaultText)> title;
    std::string version;
};

// The main window on the desktop: the movie dialog, the system's file and
// folder choosers, the shell, the system menu, and the message filter.
class CWin32MainWindow : public IMainWindowServices, public ISchedulingWindows
{
public:
    explicit CWin32MainWindow(MainWindowParts parts) : m_parts(std::move(parts)) {}
    ~CWin32MainWindow() override;

    // Returns when the window has closed.
    void Run(IMainWindowHost& host, IScheduling& scheduling, ISplashControl* splash);

    void PrepareFrame() override;
    std::optional<std::vector<std::string>> ChooseFiles() override;
    std::optional<std::string> ChooseFolder() override;
    void Open(const std::string& file, const std::string& folder, bool maximised) override;
    void Minimise() override;
    void EnableWindow(bool enable) override;
    bool EditSubfolderRules(int& shredRule, int& removeRule) override;
    void ShowAbout(int frame) override;
    TaskName AskTaskName(const std::function<bool(const std::string&)>& refuse) override;
    bool EditSchedule(const std::string& taskName, TaskTrigger& trigger) override;

private:
    HWND Handle() const;
    bool Filter(MSG& message);
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);
    void OnDrop(HDROP drop);

    MainWindowParts m_parts;
    IMainWindowHost* m_host = nullptr;
    CMovieDialog* m_dialog = nullptr;
    CMainWindow* m_window = nullptr;
    HICON m_icon = nullptr;
    HICON m_smallIcon = nullptr;
    HWND m_focusBeforeRun = nullptr;
};

} // namespace qw
