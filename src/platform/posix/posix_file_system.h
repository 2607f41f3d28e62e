#pragma once

#include "platform/file_system.h"

namespace qw
{

class CPosixFileSystem : public IFileSystem
{
public:
    std::optional<std::string> ReadWholeFile(const std::string& path) override;
    bool AppendToFile(const std::string& path, std::string_view bytes) override;
};

} // namespace qw
