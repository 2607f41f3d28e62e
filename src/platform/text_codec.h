#pragma once

#include <string>
#include <string_view>

namespace qw
{

class ITextCodec
{
public:
    virtual ~ITextCodec() = default;
    // Text in the system's ANSI code page, as UTF-8.
    virtual std::string AnsiToUtf8(std::string_view text) = 0;
};

} // namespace qw
