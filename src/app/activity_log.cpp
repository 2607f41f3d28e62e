#include "app/activity_log.h"

#include "platform/file_system.h"
#include "platform/named_mutex.h"
#include "platform/setting_names.h"
#include "platform/settings_store.h"

#include <memory>

namespace qw
{
namespace
{

std::string TaskLine(std::string_view taskName)
{
    std::string line = "Task Name:";
    line += taskName;
    line += "\r\n";
    return line;
}

} // namespace

std::string CActivityLog::Path() const
{
    return m_settings.ReadText(kAppPath, "") + "\\log.txt";
}

std::string CActivityLog::UserPath() const
{
    const std::string folder = m_userFolder ? m_userFolder() : std::string();
    return folder.empty() ? std::string() : folder + "\\log.txt";
}

std::string CActivityLog::LatestPath() const
{
    const std::string path = Path();
    const std::string user = UserPath();
    const std::optional<std::uint64_t> userTime =
        user.empty() ? std::nullopt : m_files.LastWriteTime(user);
    const std::optional<std::uint64_t> time = m_files.LastWriteTime(path);
    return userTime && (!time || *userTime > *time) ? user : path;
}

std::string CActivityLog::MutexName(const std::string& path) const
{
    return FileMutexName(m_files, path);
}

std::string FileMutexName(IFileSystem& files, const std::string& path)
{
    // Windows names are case-blind; a hash keeps the name free of
    // backslashes and within the length a mutex name may have.
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (char c : files.AbsolutePath(path))
    {
        if (c >= 'a' && c <= 'z')
        {
            c = static_cast<char>(c - 'a' + 'A');
        }
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string name = "Quellwipe log ";
    for (int shift = 60; shift >= 0; shift -= 4)
    {
        name += kDigits[(hash >> shift) & 0xF];
    }
    return name;
}

void CActivityLog::AppendTaskLine(std::string_view taskName)
{
    m_taskName = std::string(taskName);
    Append(TaskLine(taskName), false);
}

void CActivityLog::AppendStatus(std::string_view status)
{
    std::string entry(status);
    entry += "\r\n\r\n";
    Append(std::move(entry), true);
}

void CActivityLog::Append(const std::string& entry, bool isStatus)
{
    if (AppendTo(Path(), entry, isStatus))
    {
        return;
    }
    const std::string user = UserPath();
    if (!user.empty())
    {
        OsError ignored; // there already, or the append below fails too
        m_files.CreateFolder(user.substr(0, user.rfind('\\')), ignored);
        if (AppendTo(user, entry, isStatus))
        {
            return;
        }
    }
    // Lost: the next status must not count on its task line being there.
    m_lastPath = Path();
    m_lastEnd.reset();
}

bool CActivityLog::AppendTo(const std::string& path, std::string entry, bool isStatus)
{
    std::unique_ptr<IHeldMutex> held = m_mutexes.Hold(MutexName(path), kWaitLimit);
    if (isStatus && m_taskName)
    {
        // Only under the mutex does an unchanged size mean that nobody wrote
        // since; without it the task line always goes first.
        const bool stillLast =
            held && m_lastEnd && path == m_lastPath && m_files.FileSize(path) == m_lastEnd;
        if (!stillLast)
        {
            entry.insert(0, TaskLine(*m_taskName));
        }
    }
    // One write: even without the mutex the task line and its status stay
    // together.
    if (!m_files.AppendToFile(path, entry))
    {
        return false;
    }
    m_lastPath = path;
    m_lastEnd = held && m_taskName ? m_files.FileSize(path) : std::nullopt;
    return true;
}

} // namespace qw
