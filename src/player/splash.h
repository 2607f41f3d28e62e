#pragma once

#include <string>

namespace qw
{

// The splash shown while the main window starts.
class ISplashControl
{
public:
    virtual ~ISplashControl() = default;
    // false: not readable/invalid; nothing shown
    virtual bool Load(const std::string& path) = 0;
    // How long it stays; 0: the file's own time (default 1500 ms)
    virtual void SetDelay(int milliseconds) = 0;
    // Shows it: false = returns at once and closes itself later; true = returns
    // when it has closed
    virtual void SetModal(bool modal) = 0;
};

} // namespace qw
