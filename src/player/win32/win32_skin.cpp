#include "player/win32/win32_skin.h"

#include "player/movie_player.h"
#include "player/win32/win32_movie.h"

#include <vector>

namespace qw
{

bool CWin32Skin::LoadSkin(const std::string& path)
{
    m_skin = LoadSkinFile(m_files, path, m_diagnostics);
    for (const Diagnostic& diagnostic : m_diagnostics)
    {
        OutputDebugStringA((FormatDiagnostic(diagnostic) + "\n").c_str());
    }
    return m_skin.has_value();
}

bool CWin32Skin::ApplySkin(const std::string& name)
{
    if (!m_skin)
    {
        return false;
    }
    const auto region = m_skin->regions.find(name);
    if (region == m_skin->regions.end())
    {
        m_diagnostics.push_back({"", 0, "the skin has no region \"" + name + "\""});
        return false;
    }
    const int dpi = m_dpi > 0 ? m_dpi : WindowDpi(m_window);
    const auto scale = [dpi](int length) { return MulDiv(length, dpi, 96); };
    HRGN outline = CreateRectRgn(0, 0, 0, 0);
    for (const Shape& shape : region->second.shapes)
    {
        const std::vector<int>& n = shape.numbers;
        HRGN part = nullptr;
        switch (shape.kind)
        {
        case ShapeKind::RoundRect:
            // The region's right and bottom edges are exclusive.
            part = CreateRoundRectRgn(scale(n[0]), scale(n[1]), scale(n[0] + n[2]) + 1,
                                      scale(n[1] + n[3]) + 1, scale(n[4]), scale(n[5]));
            break;
        case ShapeKind::Ellipse:
            part = CreateEllipticRgn(scale(n[0]), scale(n[1]), scale(n[0] + n[2]) + 1,
                                     scale(n[1] + n[3]) + 1);
            break;
        case ShapeKind::Polygon:
        {
            std::vector<POINT> points;
            for (std::size_t i = 0; i + 1 < n.size(); i += 2)
            {
                points.push_back({scale(n[i]), scale(n[i + 1])});
            }
            part = CreatePolygonRgn(points.data(), static_cast<int>(points.size()), WINDING);
            break;
        }
        }
        if (part)
        {
            CombineRgn(outline, outline, part, RGN_OR);
            DeleteObject(part);
        }
    }
    // The system owns the region once it is set.
    if (!SetWindowRgn(m_window, outline, TRUE))
    {
        DeleteObject(outline);
        return false;
    }
    m_region = name;
    return true;
}

void CWin32Skin::Remove()
{
    m_region.clear();
    SetWindowRgn(m_window, nullptr, TRUE);
}

void CWin32Skin::Reapply(int dpi)
{
    m_dpi = dpi;
    if (!m_region.empty())
    {
        ApplySkin(m_region);
    }
}

} // namespace qw
