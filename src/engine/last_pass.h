#pragma once

#include "engine/pattern.h"

#include <cstdint>
#include <span>
#include <vector>

namespace qw
{

// What the last pass of a method wrote into a file, range by range: zeroes,
// or random data drawn block by block from a generator whose state is kept,
// so that every byte can be drawn again for the comparison.
class CLastPass
{
public:
    // `start` .. `end` got zeroes (`random` null) or the generator's data,
    // one fill per block of kBlockSize counted from `start`.
    void Add(std::uint64_t start, std::uint64_t end, const CRandom* random);
    void Clear() { m_ranges.clear(); }
    // Where the last range ends: the length the file had when written.
    std::uint64_t End() const { return m_ranges.empty() ? 0 : m_ranges.back().end; }

    struct Range
    {
        std::uint64_t start = 0;
        std::uint64_t end = 0;
        bool random = false;
        CRandom state;
    };
    const std::vector<Range>& Ranges() const { return m_ranges; }

private:
    std::vector<Range> m_ranges;
};

// Compares what is read back, in order from the start of the file, with
// what the last pass wrote.
class CLastPassComparer
{
public:
    explicit CLastPassComparer(const CLastPass& pass) : m_pass(pass) {}
    // The next bytes of the file; false at the first that differs, or at
    // bytes beyond what the pass wrote.
    bool Next(std::span<const std::uint8_t> data);

private:
    const CLastPass& m_pass;
    std::size_t m_range = 0;
    std::uint64_t m_offset = 0;
    // The current block of a random range, drawn again.
    CRandom m_random;
    std::vector<std::uint8_t> m_block;
    std::uint64_t m_blockStart = 0;
    std::uint64_t m_blockEnd = 0;
};

} // namespace qw
