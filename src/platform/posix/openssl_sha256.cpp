#include "platform/posix/openssl_sha256.h"

#include <openssl/evp.h>

namespace qw
{

std::string COpenSslSha256::Hex(std::string_view bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE] = {};
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr) != 1)
    {
        return {};
    }
    return HexOf(digest, size);
}

} // namespace qw
