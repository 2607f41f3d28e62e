#include "ui/progress_throttle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qw
{
namespace
{

constexpr std::uint64_t kInterval = 33'000;

class ProgressThrottleTest : public ::testing::Test
{
protected:
    std::uint64_t m_now = 1'000'000;
    CProgressThrottle m_throttle{[this] { return m_now; }, kInterval};

    struct Shown
    {
        std::uint64_t position;
        std::uint64_t us;
    };

    // One pass the way the engine reports it: blocks 1..count, each taking
    // `usPerBlock`, and drawing a shown one `drawUs`.
    std::vector<Shown> Pass(std::uint64_t count, std::uint64_t usPerBlock, std::uint64_t drawUs = 0)
    {
        std::vector<Shown> shown;
        for (std::uint64_t block = 1; block <= count; ++block)
        {
            m_now += usPerBlock;
            if (m_throttle.ShowPosition(block))
            {
                shown.push_back({block, m_now});
                m_now += drawUs;
                m_throttle.DrawCost(drawUs);
            }
        }
        return shown;
    }
};

TEST_F(ProgressThrottleTest, APassShowsItsEndsAndNoMoreThanTheRateBetween)
{
    struct Case
    {
        const char* what;
        std::uint64_t blocks;
        std::uint64_t usPerBlock;
    };
    const Case cases[] = {
        {"1 GiB at 1 GB/s", 16385, 65},
        {"a slow disk: every block takes longer than the interval", 50, 40'000},
        {"one block", 1, 65},
        {"two blocks in the same millisecond", 2, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        m_throttle.NewRange(0, c.blocks);
        ASSERT_TRUE(m_throttle.ShowPosition(0)) << "the start of a range";
        const std::uint64_t start = m_now;
        std::vector<Shown> shown = Pass(c.blocks, c.usPerBlock);
        ASSERT_FALSE(shown.empty());
        EXPECT_EQ(shown.back().position, c.blocks) << "the end of the pass";
        const std::uint64_t elapsed = m_now - start;
        EXPECT_LE(shown.size(), elapsed / kInterval + 2);
        for (std::size_t i = 1; i + 1 < shown.size(); ++i)
        {
            EXPECT_GE(shown[i].us - shown[i - 1].us, kInterval) << "at block " << shown[i].position;
        }
        if (c.usPerBlock >= kInterval)
        {
            EXPECT_EQ(shown.size(), c.blocks) << "a slow run shows every block";
        }
        m_now += 1'000'000;
    }
}

TEST_F(ProgressThrottleTest, ASlowDisplayGetsFewerFramesSoDrawingStaysASmallShare)
{
    struct Case
    {
        std::uint64_t drawUs;
        std::uint64_t leastGapUs;
    };
    // Fast enough for the full rate; 7 ms a frame (wine's i686 progress bar
    // under Xvfb); a display so slow that the rate stops at its floor.
    const Case cases[] = {{500, kInterval},
                          {7'000, 7'000 * CProgressThrottle::kCostShare},
                          {100'000, CProgressThrottle::kLongestUs}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.drawUs);
        m_throttle.NewRange(0, 100'000);
        m_throttle.ShowPosition(0);
        m_throttle.DrawCost(c.drawUs);
        std::vector<Shown> shown = Pass(100'000, 65, c.drawUs);
        ASSERT_GE(shown.size(), 3u);
        for (std::size_t i = 1; i + 1 < shown.size(); ++i)
        {
            const std::uint64_t gap = shown[i].us - shown[i - 1].us;
            EXPECT_GE(gap, c.leastGapUs);
            EXPECT_LE(gap, c.leastGapUs + c.drawUs + 65) << "no slower than the budget asks";
        }
    }
}

TEST_F(ProgressThrottleTest, EveryPassOfARangeShowsItsFirstAndLastBlockAtOnce)
{
    m_throttle.NewRange(0, 1000);
    ASSERT_TRUE(m_throttle.ShowPosition(0));
    // No time passes at all: only the ends may be shown. The first pass
    // starts from the 0 just shown.
    std::vector<Shown> shown = Pass(1000, 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown.back().position, 1000u);
    for (int pass = 2; pass <= 3; ++pass)
    {
        SCOPED_TRACE(pass);
        shown = Pass(1000, 0);
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown.front().position, 1u);
        EXPECT_EQ(shown.back().position, 1000u);
    }
}

TEST_F(ProgressThrottleTest, AFolderOfSmallFilesDrawsAtTheRateAndEndsEveryFileSeenGoing)
{
    // 200 files, one every 0.5 ms (100 ms in all), each a range 0..2 whose
    // name is held as it starts, the way the window asks.
    std::size_t frames = 0;
    for (int file = 0; file < 200; ++file)
    {
        SCOPED_TRACE(file);
        m_throttle.NewRange(0, 2);
        const bool named =
            m_throttle.HoldText(1, "C:\\f" + std::to_string(file)) && m_throttle.TakeFrame();
        const bool started = m_throttle.ShowPosition(0);
        const bool middle = m_throttle.ShowPosition(1);
        const bool ended = m_throttle.ShowPosition(2);
        if (file == 0)
        {
            EXPECT_TRUE(named) << "the first frame is drawn at once";
            EXPECT_FALSE(started) << "the name's frame showed it";
        }
        if (named || started || middle)
        {
            EXPECT_TRUE(ended) << "a file seen going is seen to its end";
        }
        frames += named + started + middle + (ended && !(named || started || middle));
        m_now += 500;
    }
    EXPECT_GE(frames, 100'000 / kInterval);
    EXPECT_LE(frames, 2 * (100'000 / kInterval + 1)) << "a frame and an end per interval at most";

    // What was held back is drawn by the next frame due: asking again for
    // the same position then has nothing new to show.
    m_throttle.NewRange(0, 8);
    EXPECT_FALSE(m_throttle.ShowPosition(3));
    EXPECT_FALSE(m_throttle.TakeFrame()) << "not due yet";
    m_now += kInterval;
    EXPECT_TRUE(m_throttle.TakeFrame());
    EXPECT_FALSE(m_throttle.ShowPosition(3));

    // After a pause a new range shows at once; a reversed one still ends at
    // its larger bound.
    m_now += kInterval;
    m_throttle.NewRange(10, 4);
    EXPECT_TRUE(m_throttle.ShowPosition(4));
    EXPECT_FALSE(m_throttle.ShowPosition(5));
    EXPECT_TRUE(m_throttle.ShowPosition(10));
}

TEST_F(ProgressThrottleTest, TextsChangeOnlyWhenNewAndOweARedrawAsAShownPositionDoes)
{
    EXPECT_FALSE(m_throttle.TextChanged(1, "")) << "labels start empty";
    EXPECT_TRUE(m_throttle.TextChanged(1, "C:\\a.txt"));
    EXPECT_FALSE(m_throttle.TextChanged(1, "C:\\a.txt"));
    EXPECT_TRUE(m_throttle.TextChanged(2, "C:\\a.txt")) << "each line holds its own text";
    EXPECT_TRUE(m_throttle.TextChanged(CProgressThrottle::kCaption, "C:\\a.txt"));
    EXPECT_FALSE(m_throttle.TextChanged(CProgressThrottle::kLineCount + 1, "x"));
    EXPECT_TRUE(m_throttle.TakeRedraw());
    EXPECT_FALSE(m_throttle.TakeRedraw()) << "taken";

    m_throttle.NewRange(0, 100);
    m_throttle.ShowPosition(0);
    EXPECT_TRUE(m_throttle.TakeRedraw());
    EXPECT_FALSE(m_throttle.ShowPosition(1));
    EXPECT_FALSE(m_throttle.TakeRedraw()) << "a held-back position is not drawn";
    EXPECT_TRUE(m_throttle.HoldText(2, "C:\\b.txt"));
    EXPECT_EQ(m_throttle.Text(2), "C:\\b.txt");
    EXPECT_FALSE(m_throttle.TakeRedraw()) << "a held text waits for its frame";
}

TEST(PumpThrottle, PumpsAtOnceThenOncePerInterval)
{
    std::uint64_t now = 50'000;
    CPumpThrottle pump([&now] { return now; }, 25'000);
    EXPECT_TRUE(pump.Due()) << "the first call";
    int due = 0;
    // 100 ms of blocks every 0.1 ms.
    for (int block = 1; block <= 1000; ++block)
    {
        now += 100;
        due += pump.Due() ? 1 : 0;
    }
    EXPECT_EQ(due, 4);
    EXPECT_FALSE(pump.Due());
    now += 25'000;
    EXPECT_TRUE(pump.Due());
}

} // namespace
} // namespace qw
