#pragma once

#include "platform/hasher.h"

namespace qw
{

// SHA-256 through CNG. The algorithm is opened once: a run hashes a line
// per item.
class CWin32Sha256 : public ISha256
{
public:
    CWin32Sha256() = default;
    ~CWin32Sha256() override;
    CWin32Sha256(const CWin32Sha256&) = delete;
    CWin32Sha256& operator=(const CWin32Sha256&) = delete;

    std::string Hex(std::string_view bytes) override;

private:
    void* m_algorithm = nullptr; // BCRYPT_ALG_HANDLE
};

} // namespace qw
