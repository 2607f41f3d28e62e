#include "app/sid_text.h"

#include <cstdio>

namespace qw
{

std::optional<std::string> FormatSid(const RawSid& sid, std::size_t capacity)
{
    // The worst case of every sub-authority and the hex authority.
    if (12 * sid.subAuthorities.size() + 28 > capacity)
    {
        return std::nullopt;
    }
    // The revision is written as 1 whatever the token says.
    std::string text = "S-1-";
    const auto& a = sid.authority;
    char buffer[32];
    if (a[0] != 0 || a[1] != 0)
    {
        std::snprintf(buffer, sizeof buffer, "0x%02x%02x%02x%02x%02x%02x", a[0], a[1], a[2], a[3],
                      a[4], a[5]);
    }
    else
    {
        unsigned long value =
            static_cast<unsigned long>(a[5]) + (static_cast<unsigned long>(a[4]) << 8) +
            (static_cast<unsigned long>(a[3]) << 16) + (static_cast<unsigned long>(a[2]) << 24);
        std::snprintf(buffer, sizeof buffer, "%lu", value);
    }
    text += buffer;
    for (std::uint32_t sub : sid.subAuthorities)
    {
        text += '-';
        text += std::to_string(sub);
    }
    return text;
}

} // namespace qw
