#pragma once

#include <string>
#include <string_view>

namespace qw
{

class IFileSystem;
class ISettingsStore;

// "log.txt" in the application folder, found through the AppPath setting
// anew at every write. Each entry goes out in one append, so two runs
// writing at once never mix inside an entry. Write errors are ignored.
class CActivityLog
{
public:
    CActivityLog(ISettingsStore& settings, IFileSystem& files)
        : m_settings(settings), m_files(files)
    {
    }

    std::string Path() const;
    void AppendTaskLine(std::string_view taskName);
    void AppendStatus(std::string_view status);

private:
    ISettingsStore& m_settings;
    IFileSystem& m_files;
};

} // namespace qw
