#pragma once

#include "player/diagnostic.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qw
{

// Both of our text formats (movie and skin) are line oriented: a line is a
// keyword followed by words, "quoted words" and name=value attributes; "#"
// starts a comment outside quotes. Inside quotes \" \\ and \n are escapes.
struct Word
{
    std::string name;  // for an attribute, the part before "="; else empty
    std::string value; // the word, or the attribute's value
    bool attribute = false;
};

struct Line
{
    int number = 0;
    std::vector<Word> words;
};

// Longest file and line either format accepts: anything larger is not a
// window description but a mistake or an attack, and is refused before it
// costs memory or time.
inline constexpr std::size_t kMaxFileBytes = 1 << 20;
inline constexpr std::size_t kMaxLineBytes = 4096;

// Splits `text` into its non-empty lines. Reports an over-long file, a byte
// sequence that is not UTF-8, an over-long line and an unclosed quote; the
// lines that could be read are still returned so that later errors show too.
std::vector<Line> SplitLines(std::string_view text, const std::string& file,
                             Diagnostics& diagnostics);

// Parses a whole decimal int within [low, high]; nothing otherwise.
std::optional<int> ParseInt(std::string_view text, int low, int high);

// ASCII letters compared without regard to case.
bool SameNoCase(std::string_view a, std::string_view b);

} // namespace qw
