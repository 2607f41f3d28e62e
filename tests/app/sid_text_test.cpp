#include "app/sid_text.h"

#include <gtest/gtest.h>

namespace qw
{
namespace
{

RawSid Sid(std::array<std::uint8_t, 6> authority, std::vector<std::uint32_t> subs)
{
    RawSid sid;
    sid.authority = authority;
    sid.subAuthorities = std::move(subs);
    return sid;
}

TEST(SidText, DecimalAuthorityBelowTwoToThe32)
{
    EXPECT_EQ(FormatSid(Sid({0, 0, 0, 0, 0, 5}, {21, 0, 0, 0, 1000})), "S-1-5-21-0-0-0-1000");
    EXPECT_EQ(FormatSid(Sid({0, 0, 0, 0, 0, 1}, {0})), "S-1-1-0");
    // All four low bytes count, the highest first.
    EXPECT_EQ(FormatSid(Sid({0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, {4294967295u})),
              "S-1-4294967295-4294967295");
    EXPECT_EQ(FormatSid(Sid({0, 0, 0x01, 0x02, 0x03, 0x04}, {})), "S-1-16909060");
}

TEST(SidText, HexAuthorityWhenATopByteIsSet)
{
    EXPECT_EQ(FormatSid(Sid({0, 1, 0, 0, 0, 0}, {7})), "S-1-0x000100000000-7");
    EXPECT_EQ(FormatSid(Sid({0xAB, 0, 0x0C, 0, 0, 0xFE}, {})), "S-1-0xab000c0000fe");
}

TEST(SidText, RevisionIsAlwaysWrittenAsOne)
{
    RawSid sid = Sid({0, 0, 0, 0, 0, 5}, {18});
    sid.revision = 3;
    EXPECT_EQ(FormatSid(sid), "S-1-5-18");
}

TEST(SidText, FailsWhenTheFieldIsTooSmall)
{
    // 12 per sub-authority + 28 must fit: 19 fit in 260 characters, 20 do not.
    EXPECT_TRUE(FormatSid(Sid({0, 0, 0, 0, 0, 5}, std::vector<std::uint32_t>(19, 1))));
    EXPECT_FALSE(FormatSid(Sid({0, 0, 0, 0, 0, 5}, std::vector<std::uint32_t>(20, 1))));
    EXPECT_FALSE(FormatSid(Sid({0, 0, 0, 0, 0, 5}, {1, 2}), 51));
    EXPECT_TRUE(FormatSid(Sid({0, 0, 0, 0, 0, 5}, {1, 2}), 52));
}

} // namespace
} // namespace qw
