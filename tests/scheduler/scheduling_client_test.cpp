// The scheduling commands of the main window, pressed on the movie we ship,
// over a scheduler component that keeps its tasks in memory the way the
// real one keeps them on the Task Scheduler.
#include "scheduler/scheduling_client.h"

#include "ui/main_window_fixture.h"

#include <set>

namespace qw::test
{
namespace
{

constexpr std::uint32_t kNotImplemented = 0x80004001u;

struct Task
{
    std::string name, creator = "Taskloom", application, line, folder;
    int saves = 0, runs = 0;
    std::vector<std::map<std::int32_t, AutomationValue>> triggers;
};

// The component's objects by dispatch identifier. Calls listed in `fail`
// raise their error; the property sheet cannot be opened, as under wine.
class CFakeComponent
{
public:
    std::vector<std::shared_ptr<Task>> tasks; // the Task Scheduler's own
    // Object and member that refuse, with the error they raise.
    std::map<std::pair<std::string, std::int32_t>, std::uint32_t> fail;

    std::shared_ptr<IAutomationObject> Schedule();

    void Check(std::int32_t dispid, const char* object)
    {
        auto found = fail.find({object, dispid});
        if (found != fail.end())
        {
            throw AutomationError(found->second, std::string("refused by ") + object);
        }
    }
    std::shared_ptr<Task> Add(const std::string& name, const std::string& creator)
    {
        auto task = std::make_shared<Task>();
        task->name = name;
        task->creator = creator;
        tasks.push_back(task);
        return task;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& task : tasks)
            names.push_back(task->name);
        return names;
    }
};

class CObject : public IAutomationObject
{
public:
    explicit CObject(CFakeComponent& c) : m_c(c) {}

protected:
    CFakeComponent& m_c;
};

class CTrigger : public CObject
{
public:
    CTrigger(CFakeComponent& c, std::shared_ptr<Task> task, std::size_t index)
        : CObject(c), m_task(std::move(task)), m_index(index)
    {
    }
    AutomationValue Invoke(std::int32_t dispid, InvokeKind kind,
                           const std::vector<AutomationValue>& args) override
    {
        m_c.Check(dispid, "Trigger");
        auto& fields = m_task->triggers.at(m_index);
        if (kind == InvokeKind::Put)
        {
            fields[dispid] = args.at(0);
            return {};
        }
        return fields[dispid];
    }

private:
    std::shared_ptr<Task> m_task;
    std::size_t m_index;
};

class CTriggers : public CObject
{
public:
    CTriggers(CFakeComponent& c, std::shared_ptr<Task> task) : CObject(c), m_task(std::move(task))
    {
    }
    AutomationValue Invoke(std::int32_t dispid, InvokeKind,
                           const std::vector<AutomationValue>& args) override
    {
        m_c.Check(dispid, "Triggers");
        switch (dispid)
        {
        case 0x60030002: // Add
            m_task->triggers.emplace_back();
            return std::make_shared<CTrigger>(m_c, m_task, m_task->triggers.size() - 1);
        case 0x68030001: // Count
            return static_cast<std::int32_t>(m_task->triggers.size());
        case 0: // Item
            return std::make_shared<CTrigger>(m_c, m_task, std::get<std::int32_t>(args.at(0)) - 1);
        default:
            ADD_FAILURE() << "Triggers member " << dispid;
            return {};
        }
    }

private:
    std::shared_ptr<Task> m_task;
};

class CJob : public CObject
{
public:
    CJob(CFakeComponent& c, std::shared_ptr<Task> task, bool named)
        : CObject(c), m_task(std::move(task)), m_named(named)
    {
    }
    AutomationValue Invoke(std::int32_t dispid, InvokeKind kind,
                           const std::vector<AutomationValue>& args) override
    {
        m_c.Check(dispid, "Job");
        std::string* field = dispid == 0x6803000F   ? &m_task->creator
                             : dispid == 0x68030012 ? &m_task->application
                             : dispid == 0x68030011 ? &m_task->line
                             : dispid == 0x68030001 ? &m_task->folder
                                                    : nullptr;
        if (field && kind == InvokeKind::Put)
        {
            *field = std::get<std::string>(args.at(0));
            return {};
        }
        if (field)
            return *field;
        switch (dispid)
        {
        case 0x68030003: // Name: known once the collection was refreshed
            return m_named ? m_task->name : std::string();
        case 0x60030016: // Save
            ++m_task->saves;
            return {};
        case 0x60030017: // ShowProperties
            throw AutomationError(kNotImplemented, "Not implemented");
        case 0x60030014: // Run
            ++m_task->runs;
            return {};
        case 0x68030000: // Triggers
            return std::make_shared<CTriggers>(m_c, m_task);
        default:
            ADD_FAILURE() << "Job member " << dispid;
            return {};
        }
    }

private:
    std::shared_ptr<Task> m_task;
    bool m_named;
};

class CSchedule : public CObject
{
public:
    using CObject::CObject;
    AutomationValue Invoke(std::int32_t dispid, InvokeKind,
                           const std::vector<AutomationValue>& args) override
    {
        m_c.Check(dispid, "Schedule");
        switch (dispid)
        {
        case 0x60030002: // CreateTask
        {
            auto task = m_c.Add(std::get<std::string>(args.at(0)), "Taskloom");
            m_jobs.push_back(task);
            ++m_count;
            return std::make_shared<CJob>(m_c, task, false);
        }
        case 0x60030003: // Refresh
            m_jobs = m_c.tasks;
            m_count = static_cast<std::int32_t>(m_jobs.size());
            return {};
        case 0x60030004: // Delete
        {
            const auto at = static_cast<std::size_t>(std::get<std::int16_t>(args.at(0)) - 1);
            auto task = m_jobs.at(at);
            std::erase(m_c.tasks, task);
            m_jobs.erase(m_jobs.begin() + static_cast<std::ptrdiff_t>(at));
            --m_count;
            return {};
        }
        case 0: // Job
            return std::make_shared<CJob>(
                m_c, m_jobs.at(static_cast<std::size_t>(std::get<std::int16_t>(args.at(0)) - 1)),
                true);
        case 0x68030000: // Count
            return m_count;
        default:
            ADD_FAILURE() << "Schedule member " << dispid;
            return {};
        }
    }

private:
    std::vector<std::shared_ptr<Task>> m_jobs;
    std::int32_t m_count = 0;
};

std::shared_ptr<IAutomationObject> CFakeComponent::Schedule()
{
    return std::make_shared<CSchedule>(*this);
}

// The task-name and schedule windows: names offered in turn, the schedule
// confirmed or cancelled.
class CFakeWindows : public ISchedulingWindows
{
public:
    std::deque<std::string> names; // "" is Cancel, "<empty>" an empty OK
    std::vector<std::string> refused;
    std::optional<TaskTrigger> schedule; // nothing: Cancel
    std::vector<TaskTrigger> shown;

    TaskName AskTaskName(const std::function<bool(const std::string&)>& refuse) override
    {
        while (!names.empty())
        {
            const std::string name = names.front();
            names.pop_front();
            if (name.empty())
                return {};
            if (name == "<empty>")
                return {"", true};
            if (!refuse(name))
                return {name, false};
            refused.push_back(name);
        }
        return {};
    }
    bool EditSchedule(const std::string&, TaskTrigger& trigger) override
    {
        shown.push_back(trigger);
        if (!schedule)
            return false;
        trigger = *schedule;
        return true;
    }
};

class Scheduling : public MainWindow
{
protected:
    void SetUp() override
    {
        client = std::make_unique<CSchedulingClient>(host, windows, component.Schedule(),
                                                     [] {
                                                         return LocalTime{2026, 12, 8, 23, 40};
                                                     });
        scheduling = client.get();
        Start();
    }
    void AddFiles(std::vector<std::string> paths)
    {
        services.chosenFiles = std::move(paths);
        movie.Press("addFiles");
    }
    std::vector<std::string> Messages()
    {
        std::vector<std::string> texts;
        for (const Message& m : host.messages)
            texts.push_back(m.text);
        host.messages.clear();
        return texts;
    }
    void ShowTasks() { movie.Pick("panels", 4); }

    CFakeComponent component;
    CFakeWindows windows;
    std::unique_ptr<CSchedulingClient> client;
};

TEST(TaskLines, EveryArgumentQuotedOneBlankBetween)
{
    EXPECT_EQ(FoldersTaskLine("night", 1, 7, 2, 0, {"C:\\a", "D:\\b"}),
              R"("/s" "night" "/O1" "/T7" "/F2" "/R0" "C:\a" "D:\b")");
    EXPECT_EQ(FilesTaskLine("t", 0, 3, {"C:\\x y.txt"}), R"("/s" "t" "/O0" "/T3" "C:\x y.txt")");
    EXPECT_EQ(DriveTaskLine("d", 0, 1, "E:\\"), R"("/s" "d" "/O0" "/T1" "E:\")");
    EXPECT_EQ(RecycleTaskLine("r", 1, 2), R"("/s" "r" "/O1" "/T2" "recycle")");
}

TEST_F(Scheduling, FileTaskCarriesTheAcceptedFilesAndItsOwnSchedule)
{
    host.settings.WriteInt(kMethod, 1);
    host.settings.WriteInt(kPassCount, 7);
    AddFiles({"C:\\a.txt", "C:\\gone.txt", "C:\\b c.txt"});
    host.checks["C:\\gone.txt"] = ScheduleCheck::Skip;
    component.Add("taken", "Quellwipe");
    windows.names = {"taken", "night"};
    TaskTrigger weekly;
    weekly.kind = TaskTrigger::Weekly;
    weekly.year = 2027, weekly.month = 1, weekly.day = 4, weekly.hour = 2, weekly.minute = 30;
    weekly.weekDays = 2 | 32;
    windows.schedule = weekly;
    movie.Press("scheduleFiles");

    EXPECT_EQ(windows.refused, (std::vector<std::string>{"taken"}));
    EXPECT_EQ(Messages(), (std::vector<std::string>{"English:9016"}));
    ASSERT_EQ(component.tasks.size(), 2u);
    const Task& task = *component.tasks[1];
    EXPECT_EQ(task.name, "night");
    EXPECT_EQ(task.creator, "Quellwipe");
    EXPECT_EQ(task.application, "C:\\Q\\Quellwipe.exe");
    EXPECT_EQ(task.folder, "C:\\Q");
    EXPECT_EQ(task.line, R"("/s" "night" "/O1" "/T7" "C:\a.txt" "C:\b c.txt")");
    // Saved when made and again with its schedule.
    EXPECT_EQ(task.saves, 2);
    ASSERT_EQ(task.triggers.size(), 1u);
    auto trigger = task.triggers[0];
    EXPECT_EQ(std::get<std::int32_t>(trigger[0x68030007]), TaskTrigger::Weekly);
    EXPECT_EQ(std::get<std::int32_t>(trigger[0x6803000B]), 34);
    EXPECT_EQ(std::get<std::int16_t>(trigger[0x68030009]), 1);
    EXPECT_DOUBLE_EQ(std::get<AutomationDate>(trigger[0x68030003]).days, 46391.0); // 2027-01-04
    EXPECT_DOUBLE_EQ(std::get<AutomationDate>(trigger[0x68030000]).days, 2.5 / 24);
    // The window offered the next full hour, once, before the user changed it.
    ASSERT_EQ(windows.shown.size(), 1u);
    EXPECT_EQ(windows.shown[0].kind, TaskTrigger::Once);
    EXPECT_EQ(std::tie(windows.shown[0].year, windows.shown[0].month, windows.shown[0].day,
                       windows.shown[0].hour),
              std::make_tuple(2026, 12, 9, 0));
    ExpectFiles({});
    EXPECT_TRUE(movie.Items("files").empty());

    // Properties show the trigger as stored; a monthly one on the 16th.
    ShowTasks();
    EXPECT_EQ(movie.Items("tasks"), (std::vector<std::string>{"taken", "night "}));
    movie.Pick("tasks", 1);
    TaskTrigger monthly = weekly;
    monthly.kind = TaskTrigger::Monthly;
    monthly.monthDay = 16;
    windows.schedule = monthly;
    movie.Press("properties");
    ASSERT_EQ(windows.shown.size(), 2u);
    EXPECT_EQ(windows.shown[1].kind, TaskTrigger::Weekly);
    EXPECT_EQ(windows.shown[1].weekDays, 34);
    EXPECT_EQ(windows.shown[1].hour * 60 + windows.shown[1].minute, 150);
    trigger = component.tasks[1]->triggers.at(0);
    EXPECT_EQ(component.tasks[1]->triggers.size(), 1u);
    EXPECT_EQ(std::get<std::int16_t>(trigger[0x6803000D]), static_cast<std::int16_t>(0x8000));
    EXPECT_EQ(std::get<std::int32_t>(trigger[0x6803000C]), 0xFFF);
}

TEST_F(Scheduling, ListsThatYieldNoTaskAndWindowsThatAreCancelled)
{
    struct Case
    {
        const char* what;
        bool folders;
        std::map<std::string, ScheduleCheck> checks;
        std::deque<std::string> names;
        bool listEmptied;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"every file skipped",
         false,
         {{"C:\\1", ScheduleCheck::Skip}, {"C:\\2", ScheduleCheck::Skip}},
         {"x"},
         true,
         {}},
        {"every folder skipped",
         true,
         {{"C:\\1", ScheduleCheck::Skip}, {"C:\\2", ScheduleCheck::Skip}},
         {"x"},
         true,
         {}},
        {"a file check cancelled", false, {{"C:\\2", ScheduleCheck::Abort}}, {"x"}, true, {}},
        {"name window cancelled", false, {}, {""}, false, {}},
        {"folder name window cancelled", true, {}, {""}, false, {}},
        {"OK without a name", false, {}, {"<empty>"}, false, {"English:1002"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        host.checks = c.checks;
        windows.names = c.names;
        movie.Pick("panels", c.folders ? 1 : 0);
        for (const char* path : {"C:\\1", "C:\\2"})
        {
            if (c.folders)
            {
                services.chosenFolder = path;
                movie.Press("addFolder");
            }
            else
                AddFiles({path});
        }
        movie.Press(c.folders ? "scheduleFolders" : "scheduleFiles");
        EXPECT_TRUE(component.tasks.empty());
        EXPECT_EQ(Messages(), c.messages);
        const auto& list = c.folders ? window->Folders() : window->Files();
        EXPECT_EQ(list.empty(), c.listEmptied);
        EXPECT_EQ(movie.Items(c.folders ? "folders" : "files").empty(), c.listEmptied);
        host.answers = {"Yes"};
        movie.Press(c.folders ? "removeFolders" : "removeFiles");
        host.answers.clear();
        host.messages.clear();
    }
    // Empty lists are told, and nothing is asked.
    movie.Pick("panels", 0);
    movie.Press("scheduleFiles");
    movie.Pick("panels", 1);
    movie.Press("scheduleFolders");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"English:9019", "English:9030"}));
    EXPECT_TRUE(component.tasks.empty());
}

TEST_F(Scheduling, PanelShowsOnlyOwnTasksAndActsOnTheOneSelected)
{
    component.Add("a", "Quellwipe");
    component.Add("foreign", "Someone");
    component.Add("c", "Quellwipe");
    component.Add("d", "quellwipe");
    component.Add("e", "Quellwipe");
    ShowTasks();
    EXPECT_EQ(Var("_root.SchedulersStr"), "|a|c|e |");
    EXPECT_EQ(movie.Items("tasks"), (std::vector<std::string>{"a", "c", "e "}));
    EXPECT_EQ(client->TaskMap(), (std::vector<std::int32_t>{1, 3, 5}));

    movie.Press("runNow");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"English:9028"}));
    movie.Pick("tasks", 1);
    movie.Press("runNow");
    EXPECT_EQ(component.tasks[2]->runs, 1);

    // After a delete the map follows the tasks that moved up.
    movie.Press("deleteTask");
    EXPECT_EQ(component.Names(), (std::vector<std::string>{"a", "foreign", "d", "e"}));
    EXPECT_EQ(movie.Items("tasks"), (std::vector<std::string>{"a", "e "}));
    EXPECT_EQ(client->TaskMap(), (std::vector<std::int32_t>{1, 4}));
    movie.Pick("tasks", 1);
    movie.Press("runNow");
    EXPECT_EQ(component.tasks[3]->runs, 1);

    // Delete all asks, spares the others' tasks, and a No keeps everything.
    host.answers = {"No"};
    movie.Press("deleteTasks");
    EXPECT_EQ(component.tasks.size(), 4u);
    host.answers = {"Yes"};
    movie.Press("deleteTasks");
    EXPECT_EQ(host.messages.back().text, "English:9029");
    EXPECT_EQ(host.messages.back().frame, 3);
    EXPECT_EQ(component.Names(), (std::vector<std::string>{"foreign", "d"}));
    EXPECT_TRUE(movie.Items("tasks").empty());
    Messages();
    for (const char* button : {"runNow", "deleteTask", "deleteTasks", "properties"})
        movie.Press(button);
    EXPECT_EQ(Messages(), std::vector<std::string>(4, "English:1004"));

    // A task that vanished elsewhere leaves the list at the next showing.
    component.Add("x", "Quellwipe");
    movie.Press("refreshTasks");
    EXPECT_EQ(movie.Items("tasks"), (std::vector<std::string>{"x "}));
    component.tasks.pop_back();
    movie.Press("refreshTasks");
    EXPECT_TRUE(movie.Items("tasks").empty());
}

TEST_F(Scheduling, EveryComponentFailureIsToldAndLeavesNoHalfMadeTask)
{
    struct Case
    {
        const char* what;
        const char* object;
        std::int32_t dispid;
        const char* button;
        std::size_t tasksLeft;
    };
    const Case cases[] = {
        {"CreateTask", "Schedule", 0x60030002, "scheduleBin", 0},
        {"setting the creator", "Job", 0x6803000F, "scheduleBin", 0},
        {"saving", "Job", 0x60030016, "scheduleBin", 0},
        {"adding the trigger", "Triggers", 0x60030002, "scheduleBin", 1},
        {"Refresh while naming", "Schedule", 0x60030003, "scheduleBin", 0},
        {"Refresh of the panel", "Schedule", 0x60030003, "refreshTasks", 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        component.tasks.clear();
        if (std::string(c.button) == "refreshTasks")
            component.Add("mine", "Quellwipe");
        component.fail.clear();
        component.fail[{c.object, c.dispid}] = 0x80070422u;
        windows.names = {"bin", ""};
        windows.schedule = TaskTrigger{};
        movie.Pick("panels", std::string(c.button) == "refreshTasks" ? 4 : 3);
        movie.Press(c.button);
        component.fail.clear();
        ASSERT_FALSE(host.messages.empty());
        EXPECT_EQ(host.messages.front().type, "warning");
        EXPECT_EQ(host.messages.front().text, "English:9080");
        host.messages.clear();
        EXPECT_EQ(component.tasks.size(), c.tasksLeft);
    }
}

} // namespace
} // namespace qw::test
