#pragma once

#include "player/movie.h"
#include "player/skin_format.h"

#include <windows.h>

#include <optional>
#include <string>

namespace qw
{

class IFileSystem;

// Shapes a window after a region of the skin file, at the window's DPI.
class CWin32Skin : public ISkinControl
{
public:
    CWin32Skin(IFileSystem& files, HWND window) : m_files(files), m_window(window) {}

    bool LoadSkin(const std::string& path) override;
    bool ApplySkin(const std::string& region) override;
    // Again at the DPI the window was told of.
    void Reapply(int dpi);
    // The whole window again, for good.
    void Remove();

    const Diagnostics& GetDiagnostics() const { return m_diagnostics; }

private:
    IFileSystem& m_files;
    HWND m_window;
    std::optional<SkinDefinition> m_skin;
    std::string m_region;
    int m_dpi = 0; // 0: the window's own
    Diagnostics m_diagnostics;
};

} // namespace qw
