// Any bytes given to the skin parser.
#include "player/skin_format.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qw::Diagnostics diagnostics;
    qw::ParseSkin(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.skn",
                  diagnostics);
    return 0;
}
