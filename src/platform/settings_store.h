#pragma once

#include <string>
#include <string_view>

namespace qw
{

// Named values of the program's settings: integers and texts, each with a
// caller-given default for a value that is missing or unreadable.
class ISettingsStore
{
public:
    virtual ~ISettingsStore() = default;
    virtual int ReadInt(std::string_view name, int defaultValue) = 0;
    virtual std::string ReadText(std::string_view name, std::string_view defaultValue) = 0;
    virtual bool WriteInt(std::string_view name, int value) = 0;
    virtual bool WriteText(std::string_view name, std::string_view value) = 0;
};

} // namespace qw
