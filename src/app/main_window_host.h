#pragma once

#include "ui/main_window.h"

namespace qw
{

class CShredApp;

// The main window's view of the application object.
class CAppMainWindowHost : public IMainWindowHost
{
public:
    explicit CAppMainWindowHost(CShredApp& app) : m_app(app) {}

    ISettingsStore& Settings() override;
    std::string Text(int key) override;
    std::string Language() override;
    std::string SetLanguage(const std::string& language) override;
    std::string AppPath() override;
    std::string LogFolder() override;
    std::string ReportsFolder() override;
    std::string ShowSmall(int frame, std::string_view type, const std::string& text,
                          const std::string& insert) override;
    bool FileExists(const std::string& path) override;
    std::vector<std::string> DriveNames() override;
    void BeginRun(const std::vector<std::string>& named) override;
    ListedEntry DescribeEntry(const std::string& path) override;
    bool ShredListed(const std::string& path, bool folderList, const ListedEntry& added) override;
    bool Cancelled() override;
    void EndRun() override;
    void WipeFreeSpace(const std::string& root) override;
    void ShredRecycleBin() override;
    ScheduleCheck CheckScheduledFile(const std::string& path) override;
    ScheduleCheck CheckScheduledFolder(const std::string& path) override;

private:
    CShredApp& m_app;
};

} // namespace qw
