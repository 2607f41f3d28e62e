#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace qw::test
{

// A reader's view: each status belongs to the nearest task line above it.
// Also fails on a line that is neither kind or a status without its empty
// line.
inline std::map<std::string, std::vector<std::string>> Attributed(const std::string& log)
{
    std::map<std::string, std::vector<std::string>> owned;
    std::string owner = "(none)";
    std::size_t at = 0;
    while (at < log.size())
    {
        std::size_t end = log.find("\r\n", at);
        EXPECT_NE(end, std::string::npos) << "unterminated line at " << at;
        if (end == std::string::npos)
        {
            break;
        }
        std::string line = log.substr(at, end - at);
        EXPECT_EQ(line.find('\n'), std::string::npos) << "a bare line feed in " << line;
        at = end + 2;
        if (line.starts_with("Task Name:"))
        {
            owner = line.substr(10);
            owned[owner]; // a run with no status yet is still seen
            continue;
        }
        EXPECT_FALSE(line.empty()) << "an empty line without a status above it";
        EXPECT_EQ(log.compare(at, 2, "\r\n"), 0) << "no empty line after " << line;
        at += 2;
        owned[owner].push_back(line);
    }
    return owned;
}

} // namespace qw::test
