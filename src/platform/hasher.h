#pragma once

#include <string>
#include <string_view>

namespace qw
{

// The system's SHA-256: the erasure record chains its lines with it.
class ISha256
{
public:
    virtual ~ISha256() = default;
    // Lower-case hex of the digest; empty when the system cannot hash.
    virtual std::string Hex(std::string_view bytes) = 0;
};

// The digest's bytes as lower-case hex.
inline std::string HexOf(const unsigned char* digest, std::size_t size)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (std::size_t i = 0; i < size; ++i)
    {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 0xF];
    }
    return hex;
}

} // namespace qw
