#include "platform/win32/win32_sha256.h"

#include <windows.h>

#include <bcrypt.h>

namespace qw
{

std::string CWin32Sha256::Hex(std::string_view bytes)
{
    // Open, hash, finish: BCryptHash alone needs Windows 10.
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
    {
        return {};
    }
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
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return hex;
}

} // namespace qw
