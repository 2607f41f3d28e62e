#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qw
{

class IFileSystem;
class INamedMutexes;
class ISettingsStore;

// "log.txt" in the application folder, found through the AppPath setting
// anew at every write. One object per run: runs started at once share the
// file, and a reader gives each status entry to the nearest task line above
// it. So every append happens under a mutex named after the file, and a
// status whose run no longer wrote the file's last bytes goes out behind its
// task line again. An entry the application folder's log does not take (a
// standard user cannot write C:\Program Files) goes to "log.txt" in the
// user's own folder; other write errors are ignored.
// The mutex every append to one of the program's own files is made under:
// one name for every spelling of its path.
std::string FileMutexName(IFileSystem& files, const std::string& path);

class CActivityLog
{
public:
    // `userFolder`: the folder for that second log, made when first needed;
    // none or empty: there is none.
    CActivityLog(ISettingsStore& settings, IFileSystem& files, INamedMutexes& mutexes,
                 std::function<std::string()> userFolder = {})
        : m_settings(settings), m_files(files), m_mutexes(mutexes),
          m_userFolder(std::move(userFolder))
    {
    }

    std::string Path() const;
    // The log in the user's folder; empty when there is none.
    std::string UserPath() const;
    // The log that holds the latest entries: the user's when it was written
    // after the application folder's (or that one is missing).
    std::string LatestPath() const;
    void AppendTaskLine(std::string_view taskName);
    void AppendStatus(std::string_view status);

    // Another run holds the mutex for one append only; a longer wait means
    // it hangs (a stalled share), and the entry goes out without the mutex.
    static constexpr std::chrono::milliseconds kWaitLimit{2000};

    // The mutex of a log file: one name for every spelling of its path.
    std::string MutexName(const std::string& path) const;

private:
    void Append(const std::string& entry, bool isStatus);
    bool AppendTo(const std::string& path, std::string entry, bool isStatus);

    ISettingsStore& m_settings;
    IFileSystem& m_files;
    INamedMutexes& m_mutexes;
    std::function<std::string()> m_userFolder;
    std::optional<std::string> m_taskName;
    // The file and its size right after this run's last append, when that
    // append was made under the mutex.
    std::string m_lastPath;
    std::optional<std::uint64_t> m_lastEnd;
};

} // namespace qw
