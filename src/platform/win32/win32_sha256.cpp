#include "platform/win32/win32_sha256.h"

#include <windows.h>

#include <bcrypt.h>

namespace qw
{

CWin32Sha256::~CWin32Sha256()
{
    if (m_algorithm)
    {
        BCryptCloseAlgorithmProvider(m_algorithm, 0);
    }
}

std::string CWin32Sha256::Hex(std::string_view bytes)
{
    // Create, hash, finish: BCryptHash alone needs Windows 10.
    if (!m_algorithm &&
        !BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&m_algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    {
        m_algorithm = nullptr;
        return {};
    }
    BCRYPT_ALG_HANDLE algorithm = m_algorithm;
    std::string hex;
    BCRYPT_HASH_HANDLE hash = nullptr;
    unsigned char digest[32] = {};
    if (BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)))
    {
        // One call per 1 GiB at most: the length is a ULONG.
        bool hashed = true;
        for (std::size_t at = 0; hashed && at < bytes.size(); at += 1u << 30)
        {
            const std::string_view part = bytes.substr(at, 1u << 30);
            hashed = BCRYPT_SUCCESS(BCryptHashData(
                hash, reinterpret_cast<PUCHAR>(const_cast<char*>(part.data())),
                static_cast<ULONG>(part.size()), 0));
        }
        if (hashed && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0)))
        {
            hex = HexOf(digest, sizeof digest);
        }
        BCryptDestroyHash(hash);
    }
    return hex;
}

} // namespace qw
