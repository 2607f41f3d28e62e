#include "ui/progress_throttle.h"

#include <algorithm>
#include <utility>

namespace qw
{

CProgressThrottle::CProgressThrottle(MicrosecondClock clock, std::uint64_t intervalUs)
    : m_clock(std::move(clock)), m_intervalUs(intervalUs)
{
}

void CProgressThrottle::NewRange(std::uint64_t low, std::uint64_t high)
{
    m_high = std::max(low, high);
    m_rangeNew = true;
}

bool CProgressThrottle::FrameDue(std::uint64_t now) const
{
    return !m_everShown || now - m_lastShownUs >= Interval();
}

void CProgressThrottle::Drawn(std::uint64_t now)
{
    m_everShown = true;
    m_rangeNew = false;
    m_shown = m_reported;
    m_lastShownUs = now;
    m_frameCostUs = 0;
    m_redrawOwed = true;
}

std::uint64_t CProgressThrottle::Interval() const
{
    const std::uint64_t budgeted = std::min(m_frameCostUs * kCostShare, kLongestUs);
    return std::max(m_intervalUs, budgeted);
}

bool CProgressThrottle::ShowPosition(std::uint64_t position)
{
    const bool passStart = position < m_reported;
    m_reported = position;
    if (m_everShown && !m_rangeNew && position == m_shown)
    {
        return false;
    }
    const std::uint64_t now = m_clock();
    const bool seenGoing = !m_rangeNew && m_everShown;
    if (!FrameDue(now) && !(seenGoing && (passStart || position >= m_high)))
    {
        return false;
    }
    Drawn(now);
    return true;
}

bool CProgressThrottle::TakeFrame()
{
    const std::uint64_t now = m_clock();
    if (!FrameDue(now))
    {
        return false;
    }
    Drawn(now);
    return true;
}

bool CProgressThrottle::TakeRedraw()
{
    return std::exchange(m_redrawOwed, false);
}

void CProgressThrottle::DrawCost(std::uint64_t us)
{
    m_frameCostUs += us;
}

bool CProgressThrottle::StoreText(int slot, const std::string& text)
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
    return true;
}

bool CProgressThrottle::TextChanged(int slot, const std::string& text)
{
    if (!StoreText(slot, text))
    {
        return false;
    }
    m_redrawOwed = true;
    return true;
}

bool CProgressThrottle::HoldText(int slot, const std::string& text)
{
    return StoreText(slot, text);
}

CPumpThrottle::CPumpThrottle(MicrosecondClock clock, std::uint64_t intervalUs)
    : m_clock(std::move(clock)), m_intervalUs(intervalUs)
{
}

bool CPumpThrottle::Due()
{
    const std::uint64_t now = m_clock();
    if (m_everPumped && now - m_lastPumpUs < m_intervalUs)
    {
        return false;
    }
    m_everPumped = true;
    m_lastPumpUs = now;
    return true;
}

} // namespace qw
