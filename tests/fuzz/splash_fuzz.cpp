// Any bytes given to the splash parser, and its texts to the expansion.
#include "player/splash_format.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    qw::Diagnostics diagnostics;
    qw::ParseSplash(text, "fuzz.spl", diagnostics);
    qw::ExpandSplashText(text, "$product", "$version");
    return 0;
}
