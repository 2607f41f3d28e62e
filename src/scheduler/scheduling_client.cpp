#include "scheduler/scheduling_client.h"

#include "engine/shred_host.h"
#include "lang/ini_file.h"
#include "lang/message_window.h"
#include "lang/placeholders.h"
#include "lang/utf16_length.h"
#include "platform/setting_names.h"
#include "platform/settings_store.h"
#include "scheduler/automation_date.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace qw
{
namespace
{

// The component's dispatch identifiers: the contract it is driven by.
constexpr std::int32_t kScheduleCreateTask = 0x60030002;
constexpr std::int32_t kScheduleRefresh = 0x60030003;
constexpr std::int32_t kScheduleDelete = 0x60030004;
constexpr std::int32_t kScheduleJob = 0;
constexpr std::int32_t kScheduleCount = 0x68030000;
constexpr std::int32_t kJobApplicationName = 0x68030012;
constexpr std::int32_t kJobCommandLine = 0x68030011;
constexpr std::int32_t kJobCreator = 0x6803000F;
constexpr std::int32_t kJobRun = 0x60030014;
constexpr std::int32_t kJobName = 0x68030003;
constexpr std::int32_t kJobSave = 0x60030016;
constexpr std::int32_t kJobShowProperties = 0x60030017;
constexpr std::int32_t kJobWorkingDirectory = 0x68030001;
constexpr std::int32_t kJobTriggers = 0x68030000;
constexpr std::int32_t kTriggersAdd = 0x60030002;
constexpr std::int32_t kTriggersCount = 0x68030001;
constexpr std::int32_t kTriggersItem = 0;
constexpr std::int32_t kTriggerDaysInterval = 0x6803000E;
constexpr std::int32_t kTriggerDay = 0x6803000D;
constexpr std::int32_t kTriggerMonths = 0x6803000C;
constexpr std::int32_t kTriggerDaysOfTheWeek = 0x6803000B;
constexpr std::int32_t kTriggerWeeksInterval = 0x68030009;
constexpr std::int32_t kTriggerType = 0x68030007;
constexpr std::int32_t kTriggerFlags = 0x68030004;
constexpr std::int32_t kTriggerDisabled = 4;
constexpr std::int32_t kTriggerBeginDay = 0x68030003;
constexpr std::int32_t kTriggerStartTime = 0x68030000;
constexpr std::int32_t kAllMonths = 0xFFF;

constexpr int kKeyEmptyName = 1002;
constexpr int kKeyNoTasks = 1004;
constexpr int kKeyNameTaken = 9016;
constexpr int kKeyNoFiles = 9019;
constexpr int kKeyNoTaskSelected = 9028;
constexpr int kKeyConfirmDeleteAll = 9029;
constexpr int kKeyNoFolders = 9030;
constexpr int kKeySchedulerFailed = 9080;
constexpr int kKeyTooManyFiles = 9096;
constexpr int kKeyTooManyFolders = 9097;
constexpr int kKeyTaskUnreadable = 9098;
constexpr int kKeyTaskChanged = 9099;

// The scheduler's own "the task cannot be opened" (SCHED_E_CANNOT_OPEN_TASK).
constexpr std::uint32_t kCannotOpenTask = 0x8004130Du;

// A task file finds its triggers through a 16-bit offset, so everything
// before them must lie within its first 65,535 bytes: a 68-byte header, the
// instance count, five counted texts (application, parameters, working
// folder, creator, comment: each a 16-bit count and the UTF-16 text with its
// null), the user data's count and 10 reserved bytes. That leaves less than
// the 32,767 units CreateProcess takes for the whole command line. Seen on
// wine 8.0: a longer task is saved without an error, with a wrapped offset
// or its parameters cut to what their byte count keeps in 16 bits, and then
// reads back wrong or not at all.
constexpr std::size_t kTaskFileHead = 65535;
constexpr std::size_t kTaskFileFixed = 68 + 2 + 2 + 10;

std::size_t CountedText(std::size_t units)
{
    return 2 + 2 * (units + 1);
}

constexpr std::string_view kRemoveVar = "_root.Remove";

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// "/s" "<task>" "/O<m>" "/T<p>": how every task's line begins.
std::string LineStart(const std::string& task, int method, int passes)
{
    return Quoted("/s") + " " + Quoted(task) + " " + Quoted("/O" + std::to_string(method)) + " " +
           Quoted("/T" + std::to_string(passes));
}

std::string QuotedList(const std::vector<std::string>& paths)
{
    std::string list;
    for (const std::string& path : paths)
    {
        list += (list.empty() ? "" : " ") + Quoted(path);
    }
    return list;
}

std::string Text(const AutomationValue& value)
{
    if (const auto* text = std::get_if<std::string>(&value))
    {
        return *text;
    }
    return {};
}

std::int32_t Long(const AutomationValue& value)
{
    if (const auto* i4 = std::get_if<std::int32_t>(&value))
    {
        return *i4;
    }
    if (const auto* i2 = std::get_if<std::int16_t>(&value))
    {
        return *i2;
    }
    return 0;
}

double Date(const AutomationValue& value)
{
    if (const auto* date = std::get_if<AutomationDate>(&value))
    {
        return date->days;
    }
    return 0.0;
}

// The object a member returned; a member that returns none is a failure.
std::shared_ptr<IAutomationObject> Object(const AutomationValue& value)
{
    const auto* object = std::get_if<std::shared_ptr<IAutomationObject>>(&value);
    if (!object || !*object)
    {
        throw AutomationError(0x80004003u, "The scheduler component returned no object.");
    }
    return *object;
}

AutomationValue Get(IAutomationObject& object, std::int32_t dispid,
                    std::vector<AutomationValue> arguments = {})
{
    return object.Invoke(dispid, InvokeKind::Get, arguments);
}

void Put(IAutomationObject& object, std::int32_t dispid, AutomationValue value)
{
    object.Invoke(dispid, InvokeKind::Put, {std::move(value)});
}

AutomationValue Call(IAutomationObject& object, std::int32_t dispid,
                     std::vector<AutomationValue> arguments = {})
{
    return object.Invoke(dispid, InvokeKind::Method, arguments);
}

std::int16_t Position(std::int32_t position)
{
    return static_cast<std::int16_t>(position);
}

constexpr std::uint32_t kSharingViolation = 0x80070020u;

// The Task Scheduler service reads a task file for a moment after each
// change; a delete meanwhile is refused as a sharing violation and is
// asked again, as a person would, for up to five seconds.
void DeleteTask(IAutomationObject& schedule, std::int32_t position)
{
    for (int attempt = 1;; ++attempt)
    {
        try
        {
            Call(schedule, kScheduleDelete, {Position(position)});
            return;
        }
        catch (const AutomationError& error)
        {
            if (error.Code() != kSharingViolation || attempt == 20)
            {
                throw;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

int ToInt(const std::string& text)
{
    return std::atoi(text.c_str());
}

} // namespace

std::string FilesTaskLine(const std::string& task, int method, int passes,
                          const std::vector<std::string>& files)
{
    return LineStart(task, method, passes) + " " + QuotedList(files);
}

std::string FoldersTaskLine(const std::string& task, int method, int passes, int folderRule,
                            int removeRule, const std::vector<std::string>& folders)
{
    return LineStart(task, method, passes) + " " + Quoted("/F" + std::to_string(folderRule)) + " " +
           Quoted("/R" + std::to_string(removeRule)) + " " + QuotedList(folders);
}

std::string DriveTaskLine(const std::string& task, int method, int passes, const std::string& root)
{
    return LineStart(task, method, passes) + " " + Quoted(root);
}

std::string RecycleTaskLine(const std::string& task, int method, int passes)
{
    return LineStart(task, method, passes) + " " + Quoted("recycle");
}

std::size_t TaskParametersLimit(const TaskTexts& texts)
{
    const std::size_t taken = kTaskFileFixed + CountedText(Utf16Length(texts.application)) +
                              CountedText(Utf16Length(texts.folder)) +
                              CountedText(Utf16Length(texts.creator)) +
                              CountedText(0); // no comment
    // The parameters' own count and null come out of the same room.
    const std::size_t needed = taken + CountedText(0);
    return needed > kTaskFileHead ? 0 : (kTaskFileHead - needed) / 2;
}

std::size_t PathsThatFit(const std::function<std::string(const std::vector<std::string>&)>& line,
                         const std::vector<std::string>& paths, std::size_t limit)
{
    // The line grows with every path: the most that fit, by halving.
    std::size_t fit = 0, over = paths.size() + 1;
    while (over - fit > 1)
    {
        const std::size_t count = fit + (over - fit) / 2;
        const std::vector<std::string> first(paths.begin(), paths.begin() + count);
        (Utf16Length(line(first)) <= limit ? fit : over) = count;
    }
    return fit;
}

CSchedulingClient::CSchedulingClient(IMainWindowHost& host, ISchedulingWindows& windows,
                                     std::shared_ptr<IAutomationObject> schedule,
                                     std::function<LocalTime()> now)
    : m_host(host), m_windows(windows), m_schedule(std::move(schedule)), m_now(std::move(now))
{
}

void CSchedulingClient::Run(std::string_view command, SchedulingContext& context)
{
    // A failing call into the component is told and ends only the command.
    try
    {
        if (command == "IDC_FS_FileSchedule" || command == "IDC_FS_FolderSchedule")
        {
            ScheduleList(context, command == "IDC_FS_FolderSchedule");
        }
        else if (command == "IDC_FS_DriveSchedule")
        {
            const std::string root = context.movie.GetVariable("_root.SelectedDriveName") + "\\";
            ScheduleTarget([&root](const std::string& name, int method, int passes)
                           { return DriveTaskLine(name, method, passes, root); });
        }
        else if (command == "IDC_FS_RecycleSchedule")
        {
            ScheduleTarget(RecycleTaskLine);
        }
        else if (command == "IDC_FS_Scheduler")
        {
            FillPanel(context.movie);
        }
        else if (command == "IDC_FS_DeleteAll")
        {
            DeleteAll(context.movie);
        }
        else
        {
            ActOnSelected(command, context.movie);
        }
    }
    catch (const AutomationError& error)
    {
        ReportFailure(error);
    }
}

void CSchedulingClient::ReportFailure(const AutomationError& error)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(error.Code()));
    m_host.ShowSmall(
        1, "warning",
        Substitute(m_host.Text(kKeySchedulerFailed), {{"%s", error.Description()}, {"%u", code}}));
}

void CSchedulingClient::Tell(int key)
{
    m_host.ShowSmall(1, "info", m_host.Text(key));
}

void CSchedulingClient::ScheduleList(SchedulingContext& context, bool folders)
{
    std::vector<std::string>& list = folders ? context.folders : context.files;
    const auto emptyList = [&context, &list, folders]
    {
        context.movie.SetVariable(std::string(kRemoveVar), folders ? "RAFD" : "RAFL");
        list.clear();
    };
    if (list.empty())
    {
        Tell(folders ? kKeyNoFolders : kKeyNoFiles);
        return;
    }
    std::vector<std::string> accepted;
    for (const std::string& path : list)
    {
        const ScheduleCheck check =
            folders ? m_host.CheckScheduledFolder(path) : m_host.CheckScheduledFile(path);
        if (check == ScheduleCheck::Abort)
        {
            accepted.clear();
            break;
        }
        if (check == ScheduleCheck::Include)
        {
            accepted.push_back(path);
        }
    }
    // A task that shreds nothing would mislead its owner.
    if (accepted.empty())
    {
        emptyList();
        return;
    }
    const auto listLine =
        [&](const std::string& name, int method, int passes, const std::vector<std::string>& paths)
    {
        // Read after the checks, which may have stored the answers just
        // given.
        ISettingsStore& settings = m_host.Settings();
        return folders ? FoldersTaskLine(name, method, passes,
                                         CorrectedRule(settings.ReadInt(kFolder, kDefaultRule)),
                                         CorrectedRule(settings.ReadInt(kRemove, kDefaultRule)),
                                         paths)
                       : FilesTaskLine(name, method, passes, paths);
    };
    // A line longer than a task keeps would make a task that shreds only
    // part of the list, or none: refused before anything is made, with the
    // list as it is.
    const auto tooLong = [&](const std::string& name)
    {
        ISettingsStore& settings = m_host.Settings();
        const int method = CorrectedMethod(settings.ReadInt(kMethod, kDefaultMethod));
        const int passes = CorrectedPasses(settings.ReadInt(kPassCount, kDefaultPassCount));
        const auto line = [&](const std::vector<std::string>& paths)
        { return listLine(name, method, passes, paths); };
        const std::size_t limit = TaskParametersLimit(OwnTexts());
        if (Utf16Length(line(accepted)) <= limit)
        {
            return false;
        }
        const std::string fit = std::to_string(PathsThatFit(line, accepted, limit));
        const std::string count = std::to_string(accepted.size());
        const std::string most = std::to_string(limit);
        m_host.ShowSmall(1, "warning",
                         Substitute(m_host.Text(folders ? kKeyTooManyFolders : kKeyTooManyFiles),
                                    {{"%u", fit}, {"%t", count}, {"%m", most}}));
        return true;
    };
    ScheduleTarget([&](const std::string& name, int method, int passes)
                   { return listLine(name, method, passes, accepted); },
                   emptyList, tooLong);
}

void CSchedulingClient::ScheduleTarget(const TaskLine& line, const std::function<void()>& made,
                                       const Refusal& refuse)
{
    const std::string name = AskTaskName();
    if (name.empty() || (refuse && refuse(name)))
    {
        return;
    }
    ISettingsStore& settings = m_host.Settings();
    if (!CreateTask(name, line(name, CorrectedMethod(settings.ReadInt(kMethod, kDefaultMethod)),
                               CorrectedPasses(settings.ReadInt(kPassCount, kDefaultPassCount)))))
    {
        return;
    }
    if (made)
    {
        made();
    }
    EditSchedule(name, false);
}

std::string CSchedulingClient::AskTaskName()
{
    const ISchedulingWindows::TaskName answer =
        m_windows.AskTaskName([this](const std::string& name) { return NameTaken(name); });
    if (answer.emptyOnOk)
    {
        Tell(kKeyEmptyName);
    }
    return answer.name;
}

bool CSchedulingClient::NameTaken(const std::string& name)
{
    // Called from inside the window: nothing may escape it.
    try
    {
        if (Find(name) == 0)
        {
            return false;
        }
        Tell(kKeyNameTaken);
        return true;
    }
    catch (const AutomationError& error)
    {
        ReportFailure(error);
        return true;
    }
}

std::shared_ptr<IAutomationObject> CSchedulingClient::FetchJob(std::int32_t position)
{
    m_job = Object(Get(*m_schedule, kScheduleJob, {Position(position)}));
    return m_job;
}

TaskTexts CSchedulingClient::OwnTexts()
{
    return {m_host.AppPath() + "\\Quellwipe.exe", m_host.AppPath(), std::string(kTaskCreator)};
}

bool CSchedulingClient::CreateTask(const std::string& name, const std::string& line)
{
    const std::shared_ptr<IAutomationObject> made =
        Object(Call(*m_schedule, kScheduleCreateTask, {name}));
    m_job = made;
    const TaskTexts texts = OwnTexts();
    Kept kept = Kept::AsWritten;
    try
    {
        Put(*made, kJobCreator, texts.creator);
        Put(*made, kJobApplicationName, texts.application);
        Put(*made, kJobCommandLine, line);
        // The task runs where its program is; some schedulers need a folder.
        Put(*made, kJobWorkingDirectory, texts.folder);
        Call(*made, kJobSave, {std::string()});
        kept = ReadBack(name, texts, line);
    }
    catch (const AutomationError& error)
    {
        RemoveHalfMade(name, *made);
        ReportFailure(error);
        return false;
    }
    m_job = made;
    if (kept == Kept::AsWritten)
    {
        return true;
    }
    // Such a task would shred something else than what was chosen, or
    // nothing, and could not be told apart from a sound one.
    m_host.ShowSmall(
        1, "warning",
        Substitute(m_host.Text(kept == Kept::Unreadable ? kKeyTaskUnreadable : kKeyTaskChanged),
                   {{"%s", name}}));
    Discard(name, *made);
    return false;
}

CSchedulingClient::Kept CSchedulingClient::ReadBack(const std::string& name, const TaskTexts& texts,
                                                    const std::string& line)
{
    // Through the Schedule, which reads each task from what the Task
    // Scheduler keeps, not from the job just written.
    const std::int32_t position = Find(name);
    if (position == 0)
    {
        return Kept::Unreadable;
    }
    const std::shared_ptr<IAutomationObject> job = FetchJob(position);
    // Paths name the same file whatever their letter case; the line is
    // compared exactly, since it is what the run will shred.
    const bool same = Text(Get(*job, kJobCommandLine)) == line &&
                      EqualsNoCase(Text(Get(*job, kJobApplicationName)), texts.application) &&
                      EqualsNoCase(Text(Get(*job, kJobWorkingDirectory)), texts.folder) &&
                      Text(Get(*job, kJobCreator)) == texts.creator;
    return same ? Kept::AsWritten : Kept::Differently;
}

std::int32_t CSchedulingClient::Find(const std::string& name)
{
    Call(*m_schedule, kScheduleRefresh);
    const std::int32_t count = Long(Get(*m_schedule, kScheduleCount));
    for (std::int32_t i = count; i >= 1; --i)
    {
        if (Text(Get(*FetchJob(i), kJobName)) == name)
        {
            return i;
        }
    }
    return 0;
}

void CSchedulingClient::Discard(const std::string& name, IAutomationObject& made)
{
    std::int32_t position = Find(name);
    if (position == 0)
    {
        // A task file the Schedule cannot read is not in its collection:
        // written again without the line that broke it, it can be deleted.
        Put(made, kJobCommandLine, std::string());
        Call(made, kJobSave, {std::string()});
        position = Find(name);
    }
    if (position == 0)
    {
        throw AutomationError(kCannotOpenTask,
                              "The task \"" + name + "\" cannot be read, so it cannot be deleted.");
    }
    DeleteTask(*m_schedule, position);
}

void CSchedulingClient::RemoveHalfMade(const std::string& name, IAutomationObject& made)
{
    try
    {
        Discard(name, made);
    }
    catch (const AutomationError&)
    {
        // The failure that brought us here is reported; this one adds nothing.
    }
}

void CSchedulingClient::EditSchedule(const std::string& name, bool existing)
{
    try
    {
        Call(*m_job, kJobShowProperties);
        return;
    }
    catch (const AutomationError&)
    {
        // No property sheet here: our own schedule window stands in.
    }
    const std::shared_ptr<IAutomationObject> triggers = Object(Get(*m_job, kJobTriggers));
    TaskTrigger trigger;
    // A task saved without a schedule comes back with a disabled trigger of
    // the Task Scheduler's making: that is no schedule to show.
    std::shared_ptr<IAutomationObject> first;
    if (existing && Long(Get(*triggers, kTriggersCount)) > 0)
    {
        first = Object(Get(*triggers, kTriggersItem, {std::int32_t{1}}));
    }
    if (first && (Long(Get(*first, kTriggerFlags)) & kTriggerDisabled) == 0)
    {
        trigger = ReadTrigger(*first);
    }
    else
    {
        // The next full hour, once.
        const LocalTime now = m_now();
        double start = 0.0;
        sched::DateFromParts(now.year, now.month, now.day, start);
        start += sched::TimeOfDay(now.hour, 0) + 1.0 / 24.0;
        sched::DateParts parts;
        if (sched::SplitDate(start, parts))
        {
            trigger.year = parts.year;
            trigger.month = parts.month;
            trigger.day = parts.day;
            trigger.hour = parts.hour;
        }
        trigger.monthDay = std::min(trigger.day, kLastMonthDay);
    }
    if (!m_windows.EditSchedule(name, trigger))
    {
        return;
    }
    WriteTrigger(*triggers, trigger);
    Call(*m_job, kJobSave, {std::string()});
}

TaskTrigger CSchedulingClient::ReadTrigger(IAutomationObject& item)
{
    TaskTrigger trigger;
    trigger.kind = Long(Get(item, kTriggerType));
    sched::DateParts begin;
    if (sched::SplitDate(Date(Get(item, kTriggerBeginDay)), begin))
    {
        trigger.year = begin.year;
        trigger.month = begin.month;
        trigger.day = begin.day;
    }
    sched::DateParts time;
    if (sched::SplitDate(Date(Get(item, kTriggerStartTime)), time))
    {
        trigger.hour = time.hour;
        trigger.minute = time.minute;
    }
    if (trigger.kind == TaskTrigger::Weekly)
    {
        trigger.weekDays = Long(Get(item, kTriggerDaysOfTheWeek)) & 0x7F;
    }
    else if (trigger.kind == TaskTrigger::Monthly)
    {
        const int mask = Long(Get(item, kTriggerDay)) & 0xFFFF;
        for (int day = 1; day <= kLastMonthDay; ++day)
        {
            if (mask & (1 << (day - 1)))
            {
                trigger.monthDay = day;
                break;
            }
        }
    }
    else if (trigger.kind != TaskTrigger::Daily && trigger.kind != TaskTrigger::Once)
    {
        // A kind this window does not offer (at log-on, when idle ...): shown
        // as once, and replaced only if the user confirms.
        trigger.kind = TaskTrigger::Once;
    }
    return trigger;
}

void CSchedulingClient::WriteTrigger(IAutomationObject& triggers, const TaskTrigger& trigger)
{
    const bool reuse = Long(Get(triggers, kTriggersCount)) > 0;
    const std::shared_ptr<IAutomationObject> item =
        reuse ? Object(Get(triggers, kTriggersItem, {std::int32_t{1}}))
              : Object(Call(triggers, kTriggersAdd));
    // The type first: the other members are judged by it. The schedule
    // confirmed is the one that runs: no end date, not disabled.
    Put(*item, kTriggerType, std::int32_t{trigger.kind});
    Put(*item, kTriggerFlags, std::int32_t{0});
    double begin = 0.0;
    sched::DateFromParts(trigger.year, trigger.month, trigger.day, begin);
    Put(*item, kTriggerBeginDay, AutomationDate{begin});
    Put(*item, kTriggerStartTime, AutomationDate{sched::TimeOfDay(trigger.hour, trigger.minute)});
    switch (trigger.kind)
    {
    case TaskTrigger::Daily:
        Put(*item, kTriggerDaysInterval, std::int16_t{1});
        break;
    case TaskTrigger::Weekly:
        Put(*item, kTriggerWeeksInterval, std::int16_t{1});
        Put(*item, kTriggerDaysOfTheWeek, std::int32_t{trigger.weekDays});
        break;
    case TaskTrigger::Monthly:
        Put(*item, kTriggerMonths, std::int32_t{kAllMonths});
        Put(*item, kTriggerDay, static_cast<std::int16_t>(1u << (trigger.monthDay - 1)));
        break;
    default:
        break;
    }
}

void CSchedulingClient::FillPanel(IMovie& movie)
{
    Call(*m_schedule, kScheduleRefresh);
    const std::int32_t count = Long(Get(*m_schedule, kScheduleCount));
    m_map.clear();
    m_shown.clear();
    m_names.clear();
    std::string text;
    for (std::int32_t i = 1; i <= count; ++i)
    {
        FetchJob(i);
        if (Text(Get(*m_job, kJobCreator)) != kTaskCreator)
        {
            continue;
        }
        const std::string name = Text(Get(*m_job, kJobName));
        // The movie splits at bars and drops blank entries: such a name
        // would shift every later entry against the map, so it is not
        // shown at all.
        if (name.find('|') != std::string::npos ||
            name.find_first_not_of(" \t") == std::string::npos)
        {
            continue;
        }
        m_map.push_back(i);
        m_shown.push_back(name);
        m_names.push_back(name);
        text += "|" + name;
    }
    if (text.empty())
    {
        // Nothing of ours: what the list still shows is gone.
        movie.SetVariable(std::string(kRemoveVar), "DAT");
        return;
    }
    // The movie takes the closing " |" for a mark, not for a part of the
    // last name.
    movie.SetVariable("_root.SchedulersStr", text + " |");
    movie.SetVariable("_root.bAddScheduler", "1");
}

void CSchedulingClient::ActOnSelected(std::string_view command, IMovie& movie)
{
    const std::string index = movie.GetVariable("_root.SelectedIndex");
    if (ToInt(movie.GetVariable("_root.SchedulersAry.length")) <= 0)
    {
        Tell(kKeyNoTasks);
        return;
    }
    if (index == "undefined")
    {
        Tell(kKeyNoTaskSelected);
        return;
    }
    const int k = ToInt(index);
    if (k < 0 || static_cast<std::size_t>(k) >= m_map.size())
    {
        // The list shows what the map no longer knows: show it afresh.
        FillPanel(movie);
        return;
    }
    // Acts only on the task whose name the person sees selected, and only
    // while that task still holds its place in the Schedule.
    const std::size_t entry = static_cast<std::size_t>(k);
    const std::int32_t position = m_map[entry];
    if (movie.GetVariable("_root.SchedulersAry." + std::to_string(k)) != m_shown[entry] ||
        Text(Get(*FetchJob(position), kJobName)) != m_names[entry])
    {
        FillPanel(movie);
        return;
    }
    if (command == "IDC_FS_TaskProperties")
    {
        FetchJob(position);
        EditSchedule(Text(Get(*m_job, kJobName)), true);
    }
    else if (command == "IDC_FS_RunNow")
    {
        Call(*FetchJob(position), kJobRun);
    }
    else if (command == "IDC_FS_DeleteTask")
    {
        DeleteTask(*m_schedule, position);
        movie.SetVariable(std::string(kRemoveVar), "DT");
        // The later tasks moved up in the Schedule: the map follows.
        FillPanel(movie);
    }
}

void CSchedulingClient::DeleteAll(IMovie& movie)
{
    if (ToInt(movie.GetVariable("_root.SchedulersAry.length")) <= 0)
    {
        Tell(kKeyNoTasks);
        return;
    }
    if (m_host.ShowSmall(3, "info", m_host.Text(kKeyConfirmDeleteAll)) != kAnswerYes)
    {
        return;
    }
    movie.SetVariable(std::string(kRemoveVar), "DAT");
    m_map.clear();
    m_shown.clear();
    m_names.clear();
    // Positions are taken afresh; from the last down, a delete never moves
    // a task still to be looked at.
    Call(*m_schedule, kScheduleRefresh);
    const std::int32_t count = Long(Get(*m_schedule, kScheduleCount));
    for (std::int32_t p = count; p >= 1; --p)
    {
        if (Text(Get(*FetchJob(p), kJobCreator)) == kTaskCreator)
        {
            DeleteTask(*m_schedule, p);
            Call(*m_schedule, kScheduleRefresh);
        }
    }
}

} // namespace qw
