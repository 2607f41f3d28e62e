#include "platform/posix/posix_text_codec.h"

#include <cstdint>

namespace qw
{
namespace
{

// Code points of bytes 0x80..0x9F in code page 1252; the unassigned five
// keep their C1 values.
constexpr std::uint16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void AppendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80)
    {
        out += static_cast<char>(cp);
    }
    else if (cp < 0x800)
    {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

} // namespace

std::string CPosixTextCodec::AnsiToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text)
    {
        auto b = static_cast<unsigned char>(c);
        AppendUtf8(out, (b >= 0x80 && b < 0xA0) ? kHigh1252[b - 0x80] : b);
    }
    return out;
}

} // namespace qw
