#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

namespace qw
{

// Milliseconds since any fixed start; never goes backwards.
using MillisecondClock = std::function<std::uint64_t()>;

// Decides which of the engine's progress reports reach the screen. The
// engine reports every 64 KiB block, thousands a second, while a person
// reads a few dozen frames a second and every redraw costs far more than
// the write it reports.
class CProgressThrottle
{
public:
    static constexpr std::uint64_t kDefaultIntervalMs = 33;
    static constexpr int kCaption = 0;
    static constexpr int kLineCount = 3;

    explicit CProgressThrottle(MillisecondClock clock,
                               std::uint64_t intervalMs = kDefaultIntervalMs);

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
    // True when `text` differs from what slot kCaption (the window's
    // caption) or 1..kLineCount (a line) holds; the slot then holds it.
    bool TextChanged(int slot, const std::string& text);

private:
    MillisecondClock m_clock;
    std::uint64_t m_intervalMs;
    std::uint64_t m_high = 0;
    std::uint64_t m_reported = 0;
    std::uint64_t m_shown = 0;
    bool m_rangeStart = true;
    bool m_everShown = false;
    std::uint64_t m_lastShownMs = 0;
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
    static constexpr std::uint64_t kDefaultIntervalMs = 25;

    explicit CPumpThrottle(MillisecondClock clock, std::uint64_t intervalMs = kDefaultIntervalMs);

    // True when the queue should be pumped now; the first call always is.
    bool Due();

private:
    MillisecondClock m_clock;
    std::uint64_t m_intervalMs;
    bool m_everPumped = false;
    std::uint64_t m_lastPumpMs = 0;
};

} // namespace qw
