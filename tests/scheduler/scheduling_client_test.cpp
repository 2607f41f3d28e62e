// The scheduling commands of the main window, pressed on the movie we ship,
// over a scheduler component that keeps its tasks in memory the way the
// real one keeps them on the Task Scheduler.
#include "scheduler/scheduling_client.h"

#include "lang/utf16_length.h"
#include "ui/main_window_fixture.h"

#include <algorithm>
#include <iterator>
#include <set>

namespace qw::test
{
namespace
{

using Props = std::map<std::int32_t, AutomationValue>;
constexpr std::int32_t kName = 0x68030003, kCreator = 0x6803000F, kApplication = 0x68030012,
                       kLine = 0x68030011, kFolder = 0x68030001, kSave = 0x60030016,
                       kRun = 0x60030014, kTriggers = 0x68030000, kType = 0x68030007;
using Refusals = std::map<std::pair<std::string, std::int32_t>, std::uint32_t>;

// One object of the component: properties kept by dispatch identifier and
// the methods of its kind, each call counted. A call listed in the
// refusals raises its error.
class CFake : public IAutomationObject
{
public:
    using Method = std::function<AutomationValue(const std::vector<AutomationValue>&)>;
    CFake(std::string kind, Refusals& refusals) : m_kind(std::move(kind)), m_refusals(refusals) {}
    AutomationValue Invoke(std::int32_t dispid, InvokeKind kind,
                           const std::vector<AutomationValue>& args) override
    {
        if (auto refused = m_refusals.find({m_kind, dispid}); refused != m_refusals.end())
            throw AutomationError(refused->second, "refused by " + m_kind);
        ++calls[dispid];
        if (kind == InvokeKind::Put)
            props[dispid] = args.at(0);
        else if (auto method = methods.find(dispid); method != methods.end())
            return method->second(args);
        return kind == InvokeKind::Put ? AutomationValue{} : props[dispid];
    }
    std::string Text(std::int32_t dispid) { return std::get<std::string>(props[dispid]); }

    Props props;
    std::map<std::int32_t, Method> methods;
    std::map<std::int32_t, int> calls;

private:
    std::string m_kind;
    Refusals& m_refusals;
};

// The Task Scheduler's tasks in memory, seen through a Schedule whose
// collection changes only at Refresh, CreateTask and Delete, as the real
// one's does. The property sheet never opens, as under wine.
class CFakeComponent
{
public:
    Refusals refusals;
    std::vector<std::shared_ptr<CFake>> tasks;
    // A line longer than this is saved cut to it, or, with `breaks`, in a
    // file the Schedule cannot read back, as wine 8 does past its limit.
    std::size_t keeps = std::string::npos;
    bool breaks = false;
    std::set<const CFake*> unreadable;

    std::shared_ptr<CFake> Add(const std::string& name, const std::string& creator)
    {
        auto job = std::make_shared<CFake>("Job", refusals);
        job->props = {{kName, name}, {kCreator, creator}};
        job->methods[0x60030017] = [](auto&) -> AutomationValue
        { throw AutomationError(0x80004001u, "Not implemented"); };
        job->methods[kSave] = [this, self = job.get()](auto&)
        {
            auto line = self->props.find(kLine);
            if (line == self->props.end() || self->Text(kLine).size() <= keeps)
                unreadable.erase(self);
            else if (breaks)
                unreadable.insert(self);
            else
                std::get<std::string>(line->second).resize(keeps);
            return AutomationValue{};
        };
        auto triggers = std::make_shared<CFake>("Triggers", refusals);
        auto items = std::make_shared<std::vector<std::shared_ptr<CFake>>>();
        triggers->methods[0x60030002] = [this, items](auto&)
        {
            return std::shared_ptr<IAutomationObject>(
                items->emplace_back(std::make_shared<CFake>("Trigger", refusals)));
        };
        triggers->methods[0x68030001] = [items](auto&)
        { return static_cast<std::int32_t>(items->size()); };
        triggers->methods[0] = [items](auto& args) {
            return std::shared_ptr<IAutomationObject>(
                items->at(std::get<std::int32_t>(args[0]) - 1));
        };
        job->props[kTriggers] = std::shared_ptr<IAutomationObject>(triggers);
        tasks.push_back(job);
        return job;
    }
    Props& Trigger(std::size_t task)
    {
        auto triggers =
            std::get<std::shared_ptr<IAutomationObject>>(tasks.at(task)->props[kTriggers]);
        auto item = triggers->Invoke(0, InvokeKind::Get, {std::int32_t{1}});
        return static_cast<CFake&>(*std::get<std::shared_ptr<IAutomationObject>>(item)).props;
    }
    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        for (const auto& task : tasks)
            names.push_back(task->Text(kName));
        return names;
    }
    std::shared_ptr<IAutomationObject> Schedule()
    {
        auto schedule = std::make_shared<CFake>("Schedule", refusals);
        auto jobs = std::make_shared<std::vector<std::shared_ptr<CFake>>>();
        auto& m = schedule->methods;
        m[0x60030002] = [this, jobs](auto& args)
        {
            return std::shared_ptr<IAutomationObject>(
                jobs->emplace_back(Add(std::get<std::string>(args[0]), "Taskloom")));
        };
        m[0x60030003] = [this, jobs](auto&)
        {
            jobs->clear();
            std::copy_if(tasks.begin(), tasks.end(), std::back_inserter(*jobs),
                         [this](const auto& task) { return !unreadable.contains(task.get()); });
            return AutomationValue{};
        };
        m[0x60030004] = [this, jobs](auto& args)
        {
            const auto at = jobs->begin() + (std::get<std::int16_t>(args[0]) - 1);
            std::erase(tasks, *at);
            jobs->erase(at);
            return AutomationValue{};
        };
        m[0] = [jobs](auto& args) {
            return std::shared_ptr<IAutomationObject>(
                jobs->at(std::get<std::int16_t>(args[0]) - 1));
        };
        m[0x68030000] = [jobs](auto&) { return static_cast<std::int32_t>(jobs->size()); };
        return schedule;
    }
};

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
    CFake& task = *component.tasks[1];
    EXPECT_EQ(task.Text(kName), "night");
    EXPECT_EQ(task.Text(kCreator), "Quellwipe");
    EXPECT_EQ(task.Text(kApplication), "C:\\Q\\Quellwipe.exe");
    EXPECT_EQ(task.Text(kFolder), "C:\\Q");
    EXPECT_EQ(task.Text(kLine), R"("/s" "night" "/O1" "/T7" "C:\a.txt" "C:\b c.txt")");
    // Saved when made and again with its schedule.
    EXPECT_EQ(task.calls[kSave], 2);
    Props trigger = component.Trigger(1);
    EXPECT_EQ(std::get<std::int32_t>(trigger[kType]), TaskTrigger::Weekly);
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
    EXPECT_EQ(movie.Items("tasks"), (std::vector<std::string>{"taken", "night"}));
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
    trigger = component.Trigger(1);
    EXPECT_EQ(std::get<std::int16_t>(trigger[0x6803000D]), static_cast<std::int16_t>(0x8000));
    EXPECT_EQ(std::get<std::int32_t>(trigger[0x6803000C]), 0xFFF);
    EXPECT_EQ(std::get<std::int32_t>(trigger[0x68030004]), 0) << "enabled, without an end";
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
    EXPECT_EQ(movie.Items("tasks"), (std::vector<std::string>{"a", "c", "e"}));
    EXPECT_EQ(client->TaskMap(), (std::vector<std::int32_t>{1, 3, 5}));

    movie.Press("runNow");
    EXPECT_EQ(Messages(), (std::vector<std::string>{"English:9028"}));
    movie.Pick("tasks", 1);
    movie.Press("runNow");
    EXPECT_EQ(component.tasks[2]->calls[kRun], 1);

    // After a delete the map follows the tasks that moved up.
    movie.Press("deleteTask");
    EXPECT_EQ(component.Names(), (std::vector<std::string>{"a", "foreign", "d", "e"}));
    EXPECT_EQ(movie.Items("tasks"), (std::vector<std::string>{"a", "e"}));
    EXPECT_EQ(client->TaskMap(), (std::vector<std::int32_t>{1, 4}));
    movie.Pick("tasks", 1);
    movie.Press("runNow");
    EXPECT_EQ(component.tasks[3]->calls[kRun], 1);

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
    EXPECT_EQ(Var("_root.SchedulersStr"), "|x |");
    EXPECT_EQ(movie.Items("tasks"), (std::vector<std::string>{"x"}));
    component.tasks.pop_back();
    movie.Press("refreshTasks");
    EXPECT_TRUE(movie.Items("tasks").empty());
}

TEST_F(Scheduling, PanelActsOnTheNameShownWhateverTheOtherNamesHold)
{
    component.Add(" ", "Quellwipe");
    component.Add("a|b", "Quellwipe");
    component.Add("visible", "Quellwipe");
    component.Add("last", "Quellwipe");
    ShowTasks();
    // Names the movie would drop or split are not shown, and not mapped.
    EXPECT_EQ(movie.Items("tasks"), (std::vector<std::string>{"visible", "last"}));
    movie.Pick("tasks", 0);
    movie.Press("runNow");
    movie.Pick("tasks", 1);
    movie.Press("runNow");
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(component.tasks[i]->calls[kRun], i >= 2 ? 1 : 0) << i;

    // The task at the mapped place is no longer the one shown: nothing
    // runs, and the panel shows the tasks afresh.
    component.tasks[2]->props[kName] = std::string("renamed");
    movie.Pick("tasks", 0);
    movie.Press("runNow");
    EXPECT_EQ(component.tasks[2]->calls[kRun], 1);
    EXPECT_EQ(movie.Items("tasks"), (std::vector<std::string>{"renamed", "last"}));
    movie.Pick("tasks", 0);
    movie.Press("deleteTask");
    EXPECT_EQ(component.Names(), (std::vector<std::string>{" ", "a|b", "last"}));
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
        component.refusals = {{{c.object, c.dispid}, 0x80070422u}};
        windows.names = {"bin", ""};
        windows.schedule = TaskTrigger{};
        movie.Pick("panels", std::string(c.button) == "refreshTasks" ? 4 : 3);
        movie.Press(c.button);
        component.refusals.clear();
        ASSERT_FALSE(host.messages.empty());
        EXPECT_EQ(host.messages.front().type, "warning");
        EXPECT_EQ(host.messages.front().text, "English:9080");
        host.messages.clear();
        EXPECT_EQ(component.tasks.size(), c.tasksLeft);
    }
}

TEST(TaskLimits, WhatATaskFileKeepsBesidesItsOtherTexts)
{
    const std::string app = "C:\\Program Files\\Quellwipe";
    struct Case
    {
        const char* what;
        TaskTexts texts;
        std::size_t limit;
    };
    const Case cases[] = {
        // Measured on wine 8.0: 32,641 characters read back, 32,642 do not.
        {"installed", {app + "\\Quellwipe.exe", app, "Quellwipe"}, 32641},
        {"each character of the program costs one",
         {app + "0123456789\\Quellwipe.exe", app, "Quellwipe"},
         32631},
        {"so does each of the folder", {app + "\\Quellwipe.exe", app + "\\x", "Quellwipe"}, 32639},
        {"a letter outside ASCII is one unit",
         {app + "\\Quellwipe.exe", app + "\\\xC3\xBC", "Quellwipe"},
         32639},
        {"one outside the basic plane is two",
         {app + "\\Quellwipe.exe", app + "\\\xF0\x9F\x98\x80", "Quellwipe"},
         32638},
        {"the creator counts as well", {app + "\\Quellwipe.exe", app, ""}, 32650},
        {"texts that fill the file leave nothing", {std::string(40000, 'a'), app, "Quellwipe"}, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TaskParametersLimit(c.texts), c.limit) << c.what;
}

TEST(TaskLimits, PathsThatFitCountUtf16UnitsOfTheWholeLine)
{
    // The line starts with 21 units; the paths add 12, 11 and 12 units:
    // blank, quotes, and "ü" as one unit, the emoji as two.
    const std::vector<std::string> paths = {"C:\\a b.txt", "C:\\\xC3\xBC.txt",
                                            "C:\\\xF0\x9F\x98\x80.txt"};
    const auto line = [](const std::vector<std::string>& some)
    { return FilesTaskLine("t", 0, 3, some); };
    const std::pair<std::size_t, std::size_t> limits[] = {{20, 0}, {32, 0}, {33, 1}, {43, 1},
                                                          {44, 2}, {55, 2}, {56, 3}, {1000, 3}};
    for (const auto& [limit, fit] : limits)
        EXPECT_EQ(PathsThatFit(line, paths, limit), fit) << limit;
    EXPECT_EQ(PathsThatFit(line, {}, 1000), 0u);
}

// Paths of 120 characters, as in a deep folder tree.
std::vector<std::string> LongPaths(std::size_t count)
{
    std::vector<std::string> paths;
    for (std::size_t i = 0; i < count; ++i)
    {
        const std::string name = "\\" + std::to_string(1000 + i) + ".txt";
        paths.push_back("C:\\" + std::string(120 - 3 - name.size(), 'd') + name);
    }
    return paths;
}

TEST_F(Scheduling, ListsTooLongForATaskAreRefusedWithWhatWouldFit)
{
    // Task "longlist" at C:\Q keeps 32,685 units. The files' line begins
    // with 28 units, the folders' with 40; each path adds 123.
    host.texts[9096] = "files %u of %t within %m";
    host.texts[9097] = "folders %u of %t within %m";
    struct Case
    {
        bool folders;
        std::size_t count;
        const char* told; // nothing: the task is made
    };
    const Case cases[] = {
        {false, 300, "files 265 of 300 within 32685"},
        {false, 266, "files 265 of 266 within 32685"},
        {false, 265, nullptr},
        {true, 300, "folders 265 of 300 within 32685"},
        {true, 265, nullptr},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(std::to_string(c.count) + (c.folders ? " folders" : " files"));
        component.tasks.clear();
        const std::vector<std::string> paths = LongPaths(c.count);
        movie.Pick("panels", c.folders ? 1 : 0);
        if (c.folders)
            for (const std::string& path : paths)
            {
                services.chosenFolder = path;
                movie.Press("addFolder");
            }
        else
            AddFiles(paths);
        windows.names = {"longlist"};
        movie.Press(c.folders ? "scheduleFolders" : "scheduleFiles");
        const auto& list = c.folders ? window->Folders() : window->Files();
        if (c.told)
        {
            EXPECT_EQ(Messages(), (std::vector<std::string>{c.told}));
            EXPECT_TRUE(component.tasks.empty());
            EXPECT_EQ(list.size(), c.count) << "the list is kept";
            EXPECT_EQ(movie.Items(c.folders ? "folders" : "files").size(), c.count);
            host.answers = {"Yes"};
            movie.Press(c.folders ? "removeFolders" : "removeFiles");
            host.answers.clear();
        }
        else
        {
            EXPECT_EQ(Messages(), std::vector<std::string>{});
            ASSERT_EQ(component.tasks.size(), 1u);
            EXPECT_EQ(Utf16Length(component.tasks[0]->Text(kLine)), c.folders ? 32634u : 32622u);
            EXPECT_TRUE(list.empty());
        }
        host.messages.clear();
    }
}

TEST_F(Scheduling, ATaskThatDoesNotReadBackAsWrittenIsDeletedAndTheListKept)
{
    struct Case
    {
        const char* what;
        bool breaks;
        bool deleteRefused;
        std::vector<std::string> told;
        std::size_t tasksLeft;
    };
    const Case cases[] = {
        {"cut short", false, false, {"English:9099"}, 0},
        {"unreadable", true, false, {"English:9098"}, 0},
        {"cut short, and the delete refused", false, true, {"English:9099", "English:9080"}, 1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        component.tasks.clear();
        component.unreadable.clear();
        component.keeps = 60;
        component.breaks = c.breaks;
        if (c.deleteRefused)
            component.refusals = {{{"Schedule", 0x60030004}, 0x80070005u}};
        AddFiles({"C:\\first file.txt", "C:\\second file.txt", "C:\\third file.txt"});
        windows.names = {"cut"};
        windows.schedule = TaskTrigger{};
        windows.shown.clear();
        movie.Press("scheduleFiles");
        component.refusals.clear();

        EXPECT_EQ(Messages(), c.told);
        EXPECT_EQ(component.tasks.size(), c.tasksLeft);
        EXPECT_TRUE(windows.shown.empty()) << "no schedule for a task that is not kept";
        EXPECT_EQ(window->Files().size(), 3u) << "the list is kept";
        EXPECT_EQ(movie.Items("files").size(), 3u);
        host.answers = {"Yes"};
        movie.Press("removeFiles");
        host.answers.clear();
        host.messages.clear();
    }
    // A line the Task Scheduler keeps makes the task as before.
    component.tasks.clear();
    component.keeps = 200;
    AddFiles({"C:\\first file.txt"});
    windows.names = {"kept"};
    movie.Press("scheduleFiles");
    EXPECT_EQ(Messages(), std::vector<std::string>{});
    EXPECT_EQ(component.Names(), (std::vector<std::string>{"kept"}));
    EXPECT_TRUE(window->Files().empty());
}

} // namespace
} // namespace qw::test
