#pragma once

#include "platform/system_info.h"

#include <cstddef>
#include <optional>
#include <string>

namespace qw
{

inline constexpr std::size_t kSidTextCapacity = 260;

// "S-1-<authority>-<sub>-<sub>...": the authority in hex ("0x" and six
// two-digit values) when one of its two top bytes is set, else in decimal.
// Nothing when the text would not fit in `capacity` characters.
std::optional<std::string> FormatSid(const RawSid& sid, std::size_t capacity = kSidTextCapacity);

} // namespace qw
