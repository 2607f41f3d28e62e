#pragma once

#include <string>

namespace qw
{

// The program speaks in backslash-separated paths; here they are slashes.
std::string ToPosixPath(const std::string& path);
std::string FromPosixPath(const std::string& path);

} // namespace qw
