#include "app/companion_checks.h"

#include "platform/class_registry.h"
#include "platform/file_system.h"
#include "platform/setting_names.h"
#include "platform/settings_store.h"

namespace qw
{
namespace
{

constexpr int kKeyNoExtension = 9059;
constexpr int kKeyNoScheduler = 9060;
constexpr int kKeyRecycleVerb = 12000;

// A scheduled run's log reports its own targets: a missing companion is
// neither shown nor logged there.
void Warn(CShredApp& app, int key)
{
    if (app.m_unattended)
    {
        return;
    }
    CMessageWindow window = app.NewMessage(MessageSize::Small);
    window.SetFrame(1);
    window.SetType("warning");
    window.SetMessage(app.LanguageText(key));
    app.ShowMessage(window);
}

// A targets start on a fresh profile has no AppPath; the program's own
// folder stands in, never the root of the current drive.
std::string OrProgramFolder(const CShredApp& app, std::string folder)
{
    return folder.empty() ? app.m_exeFolder : folder;
}

} // namespace

std::string RecycleVerbCommand(std::string_view appFolder)
{
    return "\"" + std::string(appFolder) + "\\Quellwipe.exe\" recycle";
}

bool CCompanionChecks::Installed(CShredApp& app, std::string_view classKey, const std::string& file)
{
    OsError error;
    std::optional<FileStatus> status = app.Env().files.Status(file, error);
    bool present = status && !status->isFolder;
    return m_classes.ClassKeyExists(std::string(classKey)) && present;
}

bool CCompanionChecks::SchedulerUsable(CShredApp& app)
{
    if (Installed(app, kSchedulerClassKey, app.m_systemDirectory + "\\Taskloom.dll"))
    {
        return true;
    }
    Warn(app, kKeyNoScheduler);
    return false;
}

void CCompanionChecks::CheckExtension(CShredApp& app)
{
    if (!Installed(app, kExtensionClassKey,
                   OrProgramFolder(app, app.m_appPath) + "\\Shellvane.dll"))
    {
        Warn(app, kKeyNoExtension);
    }
    RegisterRecycleVerb(app);
}

void CCompanionChecks::RegisterRecycleVerb(CShredApp& app)
{
    std::string folder = OrProgramFolder(app, app.Env().settings.ReadText(kAppPath, ""));
    // Failures are not shown: the verb is a convenience, written again at
    // the next start.
    m_classes.SetUserClassText(std::string(kRecycleVerbKey), app.LanguageText(kKeyRecycleVerb));
    m_classes.SetUserClassText(std::string(kRecycleVerbKey) + "\\command",
                               RecycleVerbCommand(folder));
}

} // namespace qw
