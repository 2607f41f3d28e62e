#pragma once

#include <cstddef>
#include <cstdint>

namespace qw
{

// Uniform pseudo-random bytes (xoshiro256**), far faster than any disk
// writes them. Not secret: the pattern only has to cover the old data.
class CRandom
{
public:
    explicit CRandom(std::uint64_t seed = 0) { Seed(seed); }
    void Seed(std::uint64_t seed);
    std::uint64_t Next();
    // A letter A-Z or a-z, every one equally likely.
    char Letter();
    // Fills `size` bytes with random data.
    void Fill(std::uint8_t* buffer, std::size_t size);

private:
    std::uint64_t m_state[4];
};

enum class Pattern
{
    Zeroes = 0,
    Random = 1,
    Complement = 2,
};

// Fills the buffer with a pattern: 0 all zero bytes; 1 fresh random bytes;
// 2 every byte inverted. Other numbers leave it as it is.
void FillPattern(std::uint8_t* buffer, std::size_t size, int pattern, CRandom& random);

} // namespace qw
