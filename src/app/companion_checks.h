#pragma once

#include "app/shred_app.h"

#include <string_view>

namespace qw
{

class IClassRegistry;

inline constexpr std::string_view kSchedulerClassKey =
    "CLSID\\{4CF5566A-64AA-4738-BACF-C84A90FC557D}";
inline constexpr std::string_view kSchedulerProgId = "TaskScheduler.Schedule";
inline constexpr std::string_view kExtensionClassKey =
    "CLSID\\{51917337-5113-4ec2-9CB6-C6212D0EF3E9}";
inline constexpr std::string_view kRecycleVerbKey =
    "CLSID\\{645FF040-5081-101B-9F08-00AA002F954E}\\shell\\Quellwipe";

// Whether the scheduler component and the Explorer extension are registered
// and present, and the Recycle Bin verb, written at every start.
class CCompanionChecks : public ICompanionChecks
{
public:
    explicit CCompanionChecks(IClassRegistry& classes) : m_classes(classes) {}

    bool SchedulerUsable(CShredApp& app) override;
    void CheckExtension(CShredApp& app) override;
    void RegisterRecycleVerb(CShredApp& app);

private:
    bool Installed(CShredApp& app, std::string_view classKey, const std::string& file);

    IClassRegistry& m_classes;
};

// The verb's command: the program's full path in quotes, then "recycle".
std::string RecycleVerbCommand(std::string_view appFolder);

} // namespace qw
