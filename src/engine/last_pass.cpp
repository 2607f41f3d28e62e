#include "engine/last_pass.h"

#include "engine/file_shredder.h"

#include <algorithm>
#include <cstring>

namespace qw
{
namespace
{

bool AllZero(const std::uint8_t* data, std::size_t size)
{
    static const std::uint8_t kZeroes[4096] = {};
    while (size > 0)
    {
        const std::size_t step = std::min(size, sizeof kZeroes);
        if (std::memcmp(data, kZeroes, step) != 0)
        {
            return false;
        }
        data += step;
        size -= step;
    }
    return true;
}

} // namespace

void CLastPass::Add(std::uint64_t start, std::uint64_t end, const CRandom* random)
{
    if (end <= start)
    {
        return;
    }
    Range range;
    range.start = start;
    range.end = end;
    range.random = random != nullptr;
    if (random)
    {
        range.state = *random;
    }
    m_ranges.push_back(range);
}

bool CLastPassComparer::Next(std::span<const std::uint8_t> data)
{
    const std::vector<CLastPass::Range>& ranges = m_pass.Ranges();
    while (!data.empty())
    {
        while (m_range < ranges.size() && m_offset >= ranges[m_range].end)
        {
            ++m_range;
            m_blockEnd = 0;
        }
        if (m_range == ranges.size() || m_offset < ranges[m_range].start)
        {
            return false; // nothing was written here by the pass
        }
        const CLastPass::Range& range = ranges[m_range];
        std::size_t step = static_cast<std::size_t>(
            std::min<std::uint64_t>(data.size(), range.end - m_offset));
        if (!range.random)
        {
            if (!AllZero(data.data(), step))
            {
                return false;
            }
        }
        else
        {
            if (m_blockEnd == 0)
            {
                // Blocks are drawn in order, as the pass drew them.
                m_random = range.state;
                m_blockStart = m_blockEnd = range.start;
                m_block.resize(kBlockSize);
            }
            while (m_offset >= m_blockEnd)
            {
                m_blockStart = m_blockEnd;
                m_blockEnd = std::min(m_blockStart + kBlockSize, range.end);
                m_random.Fill(m_block.data(), static_cast<std::size_t>(m_blockEnd - m_blockStart));
            }
            step = static_cast<std::size_t>(std::min<std::uint64_t>(step, m_blockEnd - m_offset));
            if (std::memcmp(data.data(), m_block.data() + (m_offset - m_blockStart), step) != 0)
            {
                return false;
            }
        }
        m_offset += step;
        data = data.subspan(step);
    }
    return true;
}

} // namespace qw
