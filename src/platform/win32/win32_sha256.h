#pragma once

#include "platform/hasher.h"

namespace qw
{

// SHA-256 through CNG.
class CWin32Sha256 : public ISha256
{
public:
    std::string Hex(std::string_view bytes) override;
};

} // namespace qw
