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

    // A new range (a file): shown with the next frame.
    void NewRange(std::uint64_t low, std::uint64_t high);
    // True when a frame is to show `position` now; it then counts as drawn.
    // At most one frame a draw interval, except that once a frame has shown
    // a range, its end and a position below the one before (the start of
    // its next pass) always are: a pass seen going is never seen to stop
    // short or start late. A folder of small files, a range each, thus
    // draws at the rate rather than twice per file.
    bool ShowPosition(std::uint64_t position);
    // True when a frame is due now, for what the caller holds back (a
    // text, a range, a position); it then counts as drawn and shows the
    // last position reported.
    bool TakeFrame();
    // True when a repaint request should redraw the window: something was
    // shown or changed since the last redraw.
    bool TakeRedraw();
    // What showing a position or redrawing took, measured by the caller on
    // the same clock; it stretches the interval before the next frame.
    void DrawCost(std::uint64_t us);
    // True when `text` differs from what slot kCaption (the window's
    // caption) or 1..kLineCount (a line) holds; the slot then holds it.
    bool TextChanged(int slot, const std::string& text);
    // The same for a text the caller shows with its next frame: no redraw
    // is owed until then.
    bool HoldText(int slot, const std::string& text);
    const std::string& Text(int slot) const { return m_texts[static_cast<std::size_t>(slot)]; }

    std::uint64_t Now() const { return m_clock(); }
    // The least time between two frames now.
    std::uint64_t Interval() const;

private:
    bool FrameDue(std::uint64_t now) const;
    void Drawn(std::uint64_t now);
    bool StoreText(int slot, const std::string& text);

    MicrosecondClock m_clock;
    std::uint64_t m_intervalUs;
    std::uint64_t m_high = 0;
    std::uint64_t m_reported = 0;
    std::uint64_t m_shown = 0;
    // No frame has shown the current range yet.
    bool m_rangeNew = true;
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
