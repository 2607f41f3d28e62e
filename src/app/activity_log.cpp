#include "app/activity_log.h"

#include "app/setting_names.h"
#include "platform/file_system.h"
#include "platform/settings_store.h"

namespace qw
{

std::string CActivityLog::Path() const
{
    return m_settings.ReadText(kAppPath, "") + "\\log.txt";
}

void CActivityLog::AppendTaskLine(std::string_view taskName)
{
    std::string entry = "Task Name:";
    entry += taskName;
    entry += "\r\n";
    m_files.AppendToFile(Path(), entry);
}

void CActivityLog::AppendStatus(std::string_view status)
{
    std::string entry(status);
    entry += "\r\n\r\n";
    m_files.AppendToFile(Path(), entry);
}

} // namespace qw
