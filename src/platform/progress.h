#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace qw
{

// The modeless window that shows a run's progress and offers Cancel.
class IProgressWindow
{
public:
    virtual ~IProgressWindow() = default;
    virtual void SetCaption(const std::string& text) = 0;
    // Lines 1 to 3.
    virtual void SetLine(int line, const std::string& text) = 0;
    virtual void SetRange(std::uint64_t low, std::uint64_t high) = 0;
    virtual void SetPosition(std::uint64_t position) = 0;
    virtual void Show() = 0;
    virtual void Enable() = 0;
    virtual void Repaint() = 0;
    virtual void DisableCancel() = 0;
};

// Makes progress windows and keeps the user interface alive during long
// loops.
class IUserInterface
{
public:
    virtual ~IUserInterface() = default;
    // `onCancel` runs when the user cancels. Null when no window can be made.
    virtual std::unique_ptr<IProgressWindow>
    CreateProgressWindow(const std::string& caption, const std::string& cancelLabel,
                         std::function<void()> onCancel) = 0;
    // Dispatches every pending window message of the thread.
    virtual void PumpMessages() = 0;
    // Waits a moment before a retry, keeping the windows alive.
    virtual void Wait(std::chrono::milliseconds span)
    {
        std::this_thread::sleep_for(span);
        PumpMessages();
    }
};

} // namespace qw
