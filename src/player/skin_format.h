#pragma once

#include "player/diagnostic.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qw
{

enum class ShapeKind
{
    RoundRect, // x y width height corner-width corner-height
    Ellipse,   // x y width height
    Polygon,   // x1 y1 x2 y2 x3 y3 ...
};

struct Shape
{
    ShapeKind kind = ShapeKind::RoundRect;
    std::vector<int> numbers;
};

// A window outline: the union of its shapes, at 96 DPI in the window's
// own coordinates.
struct SkinRegion
{
    std::vector<Shape> shapes;
};

struct SkinDefinition
{
    std::map<std::string, SkinRegion, std::less<>> regions;
};

// Reads a skin; nothing when it has any error, each reported with its line.
std::optional<SkinDefinition> ParseSkin(std::string_view text, const std::string& file,
                                        Diagnostics& diagnostics);

} // namespace qw
