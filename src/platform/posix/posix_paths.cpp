#include "platform/posix/posix_paths.h"

#include <algorithm>

namespace qw
{

std::string ToPosixPath(const std::string& path)
{
    std::string out = path;
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

std::string FromPosixPath(const std::string& path)
{
    std::string out = path;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

} // namespace qw
