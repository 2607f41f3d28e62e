#pragma once

#include "platform/text_codec.h"

namespace qw
{

// Linux has no ANSI code page; packs written on Western Windows use 1252.
class CPosixTextCodec : public ITextCodec
{
public:
    std::string AnsiToUtf8(std::string_view text) override;
};

} // namespace qw
