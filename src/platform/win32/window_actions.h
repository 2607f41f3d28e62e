#pragma once

#include <windows.h>

namespace qw
{

// What a movie window asks of its frame window, shared by every such window.
inline void PostCloseTo(HWND window)
{
    PostMessageW(window, WM_CLOSE, 0, 0);
}

// The system's own move loop follows the mouse until it is released.
inline void BeginSystemDrag(HWND window)
{
    ReleaseCapture();
    SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
}

} // namespace qw
