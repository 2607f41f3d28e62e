#include "engine/pattern.h"

#include <cstring>

namespace qw
{
namespace
{

std::uint64_t SplitMix(std::uint64_t& x)
{
    std::uint64_t z = (x += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::uint64_t Rotl(std::uint64_t x, int k)
{
    return (x << k) | (x >> (64 - k));
}

} // namespace

void CRandom::Seed(std::uint64_t seed)
{
    for (std::uint64_t& s : m_state)
    {
        s = SplitMix(seed);
    }
}

std::uint64_t CRandom::Next()
{
    std::uint64_t result = Rotl(m_state[1] * 5, 7) * 9;
    std::uint64_t t = m_state[1] << 17;
    m_state[2] ^= m_state[0];
    m_state[3] ^= m_state[1];
    m_state[1] ^= m_state[2];
    m_state[0] ^= m_state[3];
    m_state[2] ^= t;
    m_state[3] = Rotl(m_state[3], 45);
    return result;
}

void CRandom::Fill(std::uint8_t* buffer, std::size_t size)
{
    // The state lives in locals here: stores through the byte pointer could
    // alias the members and would force a reload of the state every step.
    std::uint64_t s0 = m_state[0], s1 = m_state[1], s2 = m_state[2], s3 = m_state[3];
    auto next = [&]()
    {
        std::uint64_t result = Rotl(s1 * 5, 7) * 9;
        std::uint64_t t = s1 << 17;
        s2 ^= s0;
        s3 ^= s1;
        s1 ^= s2;
        s0 ^= s3;
        s2 ^= t;
        s3 = Rotl(s3, 45);
        return result;
    };
    std::size_t i = 0;
    for (; i + 8 <= size; i += 8)
    {
        std::uint64_t value = next();
        std::memcpy(buffer + i, &value, 8);
    }
    if (i < size)
    {
        std::uint64_t value = next();
        std::memcpy(buffer + i, &value, size - i);
    }
    m_state[0] = s0;
    m_state[1] = s1;
    m_state[2] = s2;
    m_state[3] = s3;
}

char CRandom::Letter()
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    // Rejection keeps the 52 letters equally likely.
    while (true)
    {
        auto byte = static_cast<unsigned>(Next() >> 56);
        if (byte < 52 * 4)
        {
            return kLetters[byte % 52];
        }
    }
}

void FillPattern(std::uint8_t* buffer, std::size_t size, int pattern, CRandom& random)
{
    switch (pattern)
    {
    case 0:
        std::memset(buffer, 0, size);
        break;
    case 1:
        random.Fill(buffer, size);
        break;
    case 2:
    {
        std::size_t i = 0;
        for (; i + 8 <= size; i += 8)
        {
            std::uint64_t value;
            std::memcpy(&value, buffer + i, 8);
            value = ~value;
            std::memcpy(buffer + i, &value, 8);
        }
        for (; i < size; ++i)
        {
            buffer[i] = static_cast<std::uint8_t>(~buffer[i]);
        }
        break;
    }
    default:
        break;
    }
}

} // namespace qw
