#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace qw
{

// Microseconds since any fixed start; never goes backwards.
using MicrosecondClock = std::function<std::uint64_t()>;

// Decides which of the engine's progress reports reach the screen. The
// engine reports every 64 KiB block, thousands a second, while a person
// reads a few dozen frames a second and every redraw costs far more than
// the write it reports.
class CProgressThrottle
{
public:
    static constexpr std::uint64_t kDefaultIntervalUs = 33'000;
    // A slow display gets fewer frames, so that drawing takes no more than
    // 1/kCostShare of the run, but never fewer than one every kLongestUs.
    static constexpr std::uint64_t kCostShare = 20;
    static constexpr std::uint64_t kLongestUs = 500'000;
    static constexpr int kCaption = 0;
    static constexpr int kLineCount = 3;

    explicit CProgressThrottle(MicrosecondClock clock,
                               std::uint64_t intervalUs = kDefaultIntervalUs);

    // A new range: its first position is always shown.
    void NewRange(std::uint64_t low, std::uint64_t high);
    // True when the bar is to show `position` now. The first position of a
    // range, its end, and a position below the one before (the next pass
    // of the same range) always are, so a pass is never seen to stop short
    // and a new one never seen to start late; in between at most one a
    // draw interval.
    bool ShowPosition(std::uint64_t position);
    // True when a repaint request should redraw the window: something was
    // shown or changed since the last redraw.
    bool TakeRedraw();
    // What showing a position or redrawing took, measured by the caller on
    // the same clock; it stretches the interval before the next frame.
    void DrawCost(std::uint64_t us);
    // True when `text` differs from what slot kCaption (the window's
    // caption) or 1..kLineCount (a line) holds; the slot then holds it.
    bool TextChanged(int slot, const std::string& text);

    std::uint64_t Now() const { return m_clock(); }

private:
    std::uint64_t Interval() const;

    MicrosecondClock m_clock;
    std::uint64_t m_intervalUs;
    std::uint64_t m_high = 0;
    std::uint64_t m_reported = 0;
    std::uint64_t m_shown = 0;
    bool m_rangeStart = true;
    bool m_everShown = false;
    std::uint64_t m_lastShownUs = 0;
    // What drawing the frame on screen took so far.
    std::uint64_t m_frameCostUs = 0;
    bool m_redrawOwed = false;
    std::array<std::string, kLineCount + 1> m_texts;
};

// Decides when a long loop's pump looks at the message queue. Looking costs
// a round trip to the window server under wine, and the loop asks after
// every block; a look every interval still answers a click long before a
// person notices.
class CPumpThrottle
{
public:
    static constexpr std::uint64_t kDefaultIntervalUs = 25'000;

    explicit CPumpThrottle(MicrosecondClock clock, std::uint64_t intervalUs = kDefaultIntervalUs);

    // True when the queue should be pumped now; the first call always is.
    bool Due();

private:
    MicrosecondClock m_clock;
    std::uint64_t m_intervalUs;
    bool m_everPumped = false;
    std::uint64_t m_lastPumpUs = 0;
};

} // namespace qw
