#pragma once

#include "platform/hasher.h"

namespace qw
{

// SHA-256 through OpenSSL: the native build's stand-in for CNG.
class COpenSslSha256 : public ISha256
{
public:
    std::string Hex(std::string_view bytes) override;
};

} // namespace qw
