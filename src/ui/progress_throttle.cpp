#include "ui/progress_throttle.h"

#include <algorithm>
#include <utility>

namespace qw
{

CProgressThrottle::CProgressThrottle(MillisecondClock clock, std::uint64_t intervalMs)
    : m_clock(std::move(clock)), m_intervalMs(intervalMs)
{
}

void CProgressThrottle::NewRange(std::uint64_t low, std::uint64_t high)
{
    m_high = std::max(low, high);
    m_rangeStart = true;
}

bool CProgressThrottle::ShowPosition(std::uint64_t position)
{
    const bool rangeStart = std::exchange(m_rangeStart, false);
    const bool passStart = position < m_reported;
    m_reported = position;
    if (!rangeStart && m_everShown && position == m_shown)
    {
        return false;
    }
    const std::uint64_t now = m_clock();
    const bool due = !m_everShown || now - m_lastShownMs >= m_intervalMs;
    if (!(rangeStart || passStart || position >= m_high || due))
    {
        return false;
    }
    m_everShown = true;
    m_shown = position;
    m_lastShownMs = now;
    m_redrawOwed = true;
    return true;
}

bool CProgressThrottle::TakeRedraw()
{
    return std::exchange(m_redrawOwed, false);
}

bool CProgressThrottle::TextChanged(int slot, const std::string& text)
{
    if (slot < 0 || slot > kLineCount)
    {
        return false;
    }
    std::string& held = m_texts[static_cast<std::size_t>(slot)];
    if (held == text)
    {
        return false;
    }
    held = text;
    m_redrawOwed = true;
    return true;
}

CPumpThrottle::CPumpThrottle(MillisecondClock clock, std::uint64_t intervalMs)
    : m_clock(std::move(clock)), m_intervalMs(intervalMs)
{
}

bool CPumpThrottle::Due()
{
    const std::uint64_t now = m_clock();
    if (m_everPumped && now - m_lastPumpMs < m_intervalMs)
    {
        return false;
    }
    m_everPumped = true;
    m_lastPumpMs = now;
    return true;
}

} // namespace qw
