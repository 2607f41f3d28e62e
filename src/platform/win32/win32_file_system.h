#pragma once

#include "platform/file_system.h"

namespace qw
{

class CWin32FileSystem : public IFileSystem
{
public:
    std::optional<std::string> ReadWholeFile(const std::string& path) override;
    bool AppendToFile(const std::string& path, std::string_view bytes) override;
};

} // namespace qw
