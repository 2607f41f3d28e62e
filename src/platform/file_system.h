#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qw
{

// File access with backslash-separated UTF-8 paths on every platform.
class IFileSystem
{
public:
    virtual ~IFileSystem() = default;
    // The whole file, or nothing when it cannot be read.
    virtual std::optional<std::string> ReadWholeFile(const std::string& path) = 0;
    // Appends in one write, creating the file when missing.
    virtual bool AppendToFile(const std::string& path, std::string_view bytes) = 0;
};

} // namespace qw
