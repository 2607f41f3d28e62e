#pragma once

// The main window's scheduling commands: a chosen target becomes a task of
// the Task Scheduler, driven late-bound through the scheduler component, and
// the scheduler panel lists, runs and deletes the program's own tasks.

#include "platform/automation.h"
#include "ui/main_window.h"
#include "ui/movie_windows.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qw
{

inline constexpr std::string_view kTaskCreator = "Quellwipe";

// The command lines a task carries, every argument in double quotes.
std::string FilesTaskLine(const std::string& task, int method, int passes,
                          const std::vector<std::string>& files);
std::string FoldersTaskLine(const std::string& task, int method, int passes, int folderRule,
                            int removeRule, const std::vector<std::string>& folders);
std::string DriveTaskLine(const std::string& task, int method, int passes, const std::string& root);
std::string RecycleTaskLine(const std::string& task, int method, int passes);

// What a task keeps besides its parameters.
struct TaskTexts
{
    std::string application, folder, creator;
};

// The longest parameters, in UTF-16 units, that a task with these texts
// keeps in its file and can start its program with.
std::size_t TaskParametersLimit(const TaskTexts& texts);

// How many of `paths`, from the first, the line that `line` makes of them
// carries within `limit` UTF-16 units.
std::size_t PathsThatFit(const std::function<std::string(const std::vector<std::string>&)>& line,
                         const std::vector<std::string>& paths, std::size_t limit);

struct LocalTime
{
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0;
};

class CSchedulingClient : public IScheduling
{
public:
    // `schedule` is the component's Schedule object; `now` the local time
    // a new task's schedule starts from.
    CSchedulingClient(IMainWindowHost& host, ISchedulingWindows& windows,
                      std::shared_ptr<IAutomationObject> schedule, std::function<LocalTime()> now);

    void Run(std::string_view command, SchedulingContext& context) override;

    // Entry k: the position in the Schedule of the task the panel shows at k.
    const std::vector<std::int32_t>& TaskMap() const { return m_map; }

private:
    using TaskLine = std::function<std::string(const std::string& name, int method, int passes)>;
    // Tells and answers true when the task of that name cannot be made.
    using Refusal = std::function<bool(const std::string& name)>;

    void ScheduleList(SchedulingContext& context, bool folders);
    // Asks the name, makes the task of the line unless `refuse` does, tells
    // `made`, then lets the user set its schedule.
    void ScheduleTarget(const TaskLine& line, const std::function<void()>& made = {},
                        const Refusal& refuse = {});
    void FillPanel(IMovie& movie);
    void ActOnSelected(std::string_view command, IMovie& movie);
    void DeleteAll(IMovie& movie);

    std::string AskTaskName();
    bool NameTaken(const std::string& name);
    TaskTexts OwnTexts();
    // True when the task exists as written; otherwise the half-made task is
    // removed.
    bool CreateTask(const std::string& name, const std::string& line);
    enum class Kept
    {
        AsWritten,
        Differently,
        Unreadable,
    };
    Kept ReadBack(const std::string& name, const TaskTexts& texts, const std::string& line);
    // The position of the task of that name after a Refresh, or 0.
    std::int32_t Find(const std::string& name);
    void Discard(const std::string& name, IAutomationObject& made);
    void RemoveHalfMade(const std::string& name, IAutomationObject& made);
    void EditSchedule(const std::string& name, bool existing);
    TaskTrigger ReadTrigger(IAutomationObject& trigger);
    void WriteTrigger(IAutomationObject& triggers, const TaskTrigger& trigger);
    std::shared_ptr<IAutomationObject> FetchJob(std::int32_t position);
    void ReportFailure(const AutomationError& error);
    void Tell(int key);

    IMainWindowHost& m_host;
    ISchedulingWindows& m_windows;
    std::shared_ptr<IAutomationObject> m_schedule;
    // The job driver: attached in turn to each job worked on.
    std::shared_ptr<IAutomationObject> m_job;
    std::function<LocalTime()> m_now;
    std::vector<std::int32_t> m_map;
    // Entry k: the text the panel shows at k and the task's name.
    std::vector<std::string> m_shown;
    std::vector<std::string> m_names;
};

} // namespace qw
