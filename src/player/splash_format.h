#pragma once

#include "player/diagnostic.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qw
{

enum class TextAlign
{
    Left,
    Center,
    Right,
};

// A text drawn over the splash picture, in its box at 96 DPI.
struct SplashText
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool bold = false;
    int points = 0; // 0: the system's message font size
    TextAlign align = TextAlign::Left;
    std::uint32_t color = 0; // 0xRRGGBB
    std::string text;        // $product and $version not yet replaced
};

struct SplashDefinition
{
    static constexpr int kDefaultMilliseconds = 1500;

    int width = 0; // at 96 DPI
    int height = 0;
    int milliseconds = kDefaultMilliseconds;
    std::string image;                   // a .bmp beside the splash file; empty: none
    std::uint32_t background = 0xFFFFFF; // 0xRRGGBB
    std::vector<SplashText> texts;
};

// Reads a splash; nothing when it has any error, each reported with its line.
std::optional<SplashDefinition> ParseSplash(std::string_view text, const std::string& file,
                                            Diagnostics& diagnostics);

// A splash text with $product and $version replaced; "$$" is one "$".
std::string ExpandSplashText(std::string_view text, std::string_view product,
                             std::string_view version);

} // namespace qw
