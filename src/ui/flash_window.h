#pragma once

#include "player/movie.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qw
{

class IMessagePresenter;

inline constexpr std::string_view kSkinFailureText = "Couldn't load or apply the Mask skin.";
inline constexpr std::string_view kSkinFile = "\\Mask\\Mask.skn";

// What the frame needs from the system window it lives in.
class IWindowFrame
{
public:
    virtual ~IWindowFrame() = default;
    // Ends the modal loop; the creator reads the answer, not the result.
    virtual void EndModal() = 0;
    // Asks the window to close once its loop runs.
    virtual void PostClose() = 0;
    // Hands the mouse to the system's own window-move loop.
    virtual void BeginDrag() = 0;
    // A plain system message box with an OK button and the program's name.
    virtual void ShowPlainMessage(const std::string& text) = 0;
    // The window's title; a message it opens on its own behalf wears it too.
    virtual std::string Caption() const = 0;
};

// What a window is made of: its movie (relative to the program's folder),
// its skin region (empty: not skinned) and its alignment.
struct FlashWindowSetup
{
    std::string movie;
    std::string skinRegion;
    int alignMode = 1;
};

// The frame every movie window shares: the start-up sequence, the routing of
// the movie's commands and the answer the creator reads afterwards.
class CFlashWindow
{
public:
    CFlashWindow(IMovie& movie, ISkinControl* skin, IWindowFrame& frame,
                 IMessagePresenter& presenter, std::string programFolder, FlashWindowSetup setup);
    virtual ~CFlashWindow();
    CFlashWindow(const CFlashWindow&) = delete;
    CFlashWindow& operator=(const CFlashWindow&) = delete;

    // The dialog's initialisation; false when the skin failed and the window
    // is closing.
    bool InitDialog();
    // Compares without regard to case against the window's commands in
    // their order; the first match acts, an unknown command is ignored.
    void OnCommand(const std::string& command, const std::string& argument);

    const std::string& Answer() const { return m_answer; }

protected:
    struct CommandEntry
    {
        std::string_view name;
        std::function<void(const std::string& argument)> action;
    };

    // Preparation that does not touch the movie.
    virtual void Prepare() {}
    // The window's variables and frame, in its order.
    virtual void SetVariables() {}
    // The skin could not be loaded or applied: by default a small message
    // window with the fixed text, then the window closes.
    virtual void OnSkinFailure();
    // Drag, Cancel, Ok, Yes, No.
    virtual std::vector<CommandEntry> Commands();

    std::vector<CommandEntry> CommonCommands();
    CommandEntry DragCommand();
    void Close(std::string_view answer);

    IMovie& Movie() { return m_movie; }
    IWindowFrame& Frame() { return m_frame; }
    IMessagePresenter& Presenter() { return m_presenter; }

private:
    IMovie& m_movie;
    ISkinControl* m_skin;
    IWindowFrame& m_frame;
    IMessagePresenter& m_presenter;
    std::string m_programFolder;
    FlashWindowSetup m_setup;
    std::string m_answer;
};

} // namespace qw
