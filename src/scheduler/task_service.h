#pragma once

// The operations Taskloom needs from the Task Scheduler 1.0, in its own terms.
// The Win32 adapter maps them one to one onto ITaskScheduler, ITask,
// ITaskTrigger and IPersistFile; tests use a fake. Results are the
// scheduler's own status codes, passed on unchanged.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace qw::sched
{

using Hr = std::int32_t;

constexpr Hr kOk = 0;
constexpr Hr kFalse = 1;
constexpr Hr kInvalidTriggerType = static_cast<Hr>(0x80040001u);
constexpr Hr kOverflow = static_cast<Hr>(0x8002000Au); // DISP_E_OVERFLOW
constexpr Hr kBadIndex = static_cast<Hr>(0x8002000Bu); // DISP_E_BADINDEX
constexpr Hr kOutOfMemory = static_cast<Hr>(0x8007000Eu);
constexpr Hr kUnexpected = static_cast<Hr>(0x8000FFFFu);
// The scheduler's own "trigger not found" (SCHED_E_TRIGGER_NOT_FOUND).
constexpr Hr kTriggerNotFound = static_cast<Hr>(0x80041309u);
// What a trigger object answers once its trigger was removed.
constexpr Hr kTriggerRemoved = kTriggerNotFound;

inline bool Failed(Hr hr)
{
    return hr < 0;
}

// The component's own description of a code it raises itself; empty for the
// system's codes, whose text the system gives.
const char* OwnDescription(Hr hr);

struct SystemTime
{
    std::uint16_t year = 0, month = 0, dayOfWeek = 0, day = 0;
    std::uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

// The trigger record as the scheduler lays it out. The type-dependent part is
// a union in the scheduler's record; it is kept as its four 16-bit words so
// that each property reads and writes exactly the bits the record shares.
struct TriggerRecord
{
    std::uint16_t beginYear = 0, beginMonth = 0, beginDay = 0;
    std::uint16_t endYear = 0, endMonth = 0, endDay = 0;
    std::uint16_t startHour = 0, startMinute = 0;
    std::uint32_t minutesDuration = 0, minutesInterval = 0, flags = 0;
    std::int32_t triggerType = 0;
    std::uint16_t typeWords[4] = {};
    std::uint16_t randomMinutesInterval = 0;
};

class ITriggerHandle
{
public:
    virtual ~ITriggerHandle() = default;
    virtual Hr SetTrigger(const TriggerRecord& record) = 0;
    virtual Hr GetTrigger(TriggerRecord& record) = 0;
};

enum class TaskText
{
    Comment,
    Creator,
    ApplicationName,
    Parameters,
    WorkingDirectory,
};

enum class TaskNumber
{
    ErrorRetryCount,    // 16 bits
    ErrorRetryInterval, // 16 bits
    Flags,
    Priority,
    MaxRunTime,
};

class ITaskHandle
{
public:
    virtual ~ITaskHandle() = default;
    virtual Hr CreateTrigger(std::uint16_t& index, std::shared_ptr<ITriggerHandle>& trigger) = 0;
    virtual Hr DeleteTrigger(std::uint16_t index) = 0;
    virtual Hr GetTriggerCount(std::uint16_t& count) = 0;
    virtual Hr GetTrigger(std::uint16_t index, std::shared_ptr<ITriggerHandle>& trigger) = 0;
    virtual Hr GetTriggerString(std::uint16_t index, std::u16string& text) = 0;
    virtual Hr GetNextRunTime(SystemTime& time) = 0;
    virtual Hr GetMostRecentRunTime(SystemTime& time) = 0;
    virtual Hr GetIdleWait(std::uint16_t& idleMinutes, std::uint16_t& deadlineMinutes) = 0;
    virtual Hr SetIdleWait(std::uint16_t idleMinutes, std::uint16_t deadlineMinutes) = 0;
    virtual Hr Run() = 0;
    virtual Hr Terminate() = 0;
    virtual Hr EditWorkItem() = 0;
    virtual Hr GetStatus(std::int32_t& status) = 0;
    virtual Hr GetExitCode(std::uint32_t& code) = 0;
    virtual Hr GetText(TaskText which, std::u16string& text) = 0;
    virtual Hr SetText(TaskText which, const std::u16string& text) = 0;
    virtual Hr GetNumber(TaskNumber which, std::uint32_t& value) = 0;
    virtual Hr SetNumber(TaskNumber which, std::uint32_t value) = 0;
    // No name saves to the task's own file.
    virtual Hr Save(const std::u16string* fileName) = 0;
    virtual Hr GetCurFile(std::u16string& fileName) = 0;
};

class IWorkItemNames
{
public:
    virtual ~IWorkItemNames() = default;
    // kOk with the next name (nullopt when the scheduler handed out a null
    // name), kFalse at the end, or the scheduler's failure.
    virtual Hr Next(std::optional<std::u16string>& name) = 0;
};

class ITaskSchedulerHandle
{
public:
    virtual ~ITaskSchedulerHandle() = default;
    virtual Hr SetTargetComputer(const std::u16string& computer) = 0;
    virtual Hr GetTargetComputer(std::u16string& computer) = 0;
    virtual Hr Enum(std::unique_ptr<IWorkItemNames>& names) = 0;
    virtual Hr Activate(const std::u16string& name, std::shared_ptr<ITaskHandle>& task) = 0;
    virtual Hr Delete(const std::u16string& fileName) = 0;
    virtual Hr NewWorkItem(const std::u16string& name, std::shared_ptr<ITaskHandle>& task) = 0;
};

} // namespace qw::sched
