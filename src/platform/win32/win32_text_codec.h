#pragma once

#include "platform/text_codec.h"

namespace qw
{

class CWin32TextCodec : public ITextCodec
{
public:
    std::string AnsiToUtf8(std::string_view text) override;
};

} // namespace qw
