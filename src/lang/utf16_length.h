#pragma once

#include <cstddef>
#include <string_view>

namespace qw
{

// Length of UTF-8 text in UTF-16 code units, the unit in which Windows
// counts the texts it keeps and the command lines it starts.
inline std::size_t Utf16Length(std::string_view utf8)
{
    std::size_t units = 0;
    for (unsigned char byte : utf8)
    {
        // Every byte but a continuation byte starts a character; four-byte
        // ones lie outside the basic plane and take a surrogate pair.
        if ((byte & 0xC0) != 0x80)
        {
            units += byte >= 0xF0 ? 2 : 1;
        }
    }
    return units;
}

} // namespace qw
