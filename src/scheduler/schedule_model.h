#pragma once

// Taskloom's object model over the Task Scheduler: the job and trigger
// collections, the job counter, the trigger cache with its type rules and the
// conversions. The COM classes only wrap these objects.

#include "scheduler/task_service.h"

#include <memory>
#include <string>
#include <vector>

namespace qw::sched
{

// Trigger types of the scheduler's record.
enum TriggerType : std::int32_t
{
    kOnce = 0,
    kDaily = 1,
    kWeekly = 2,
    kMonthlyDate = 3,
    kMonthlyWeekDay = 4,
};

// The properties that exist only for some trigger types.
enum class TypedField
{
    DaysInterval,
    Day,
    Months,
    DaysOfTheWeek,
    Week,
    WeeksInterval,
};

// The properties every trigger has, stored in the record as they are given.
enum class CommonField
{
    TriggerType,
    Duration,
    Interval,
    Flags,
    RandomInterval, // 16 bits
};

enum class DateField
{
    BeginDay,
    EndDay,
    StartTime,
};

class CTriggerModel
{
public:
    CTriggerModel(std::shared_ptr<ITriggerHandle> trigger, std::shared_ptr<ITaskHandle> task,
                  std::uint16_t index);

    // Every member answers kTriggerRemoved once the trigger has left its task.
    Hr Refresh();
    Hr Update();
    Hr Text(std::u16string& text);

    Hr GetTyped(TypedField field, std::int32_t& value) const;
    Hr SetTyped(TypedField field, std::int32_t value);
    Hr GetCommon(CommonField field, std::int32_t& value) const;
    Hr SetCommon(CommonField field, std::int32_t value);
    // A date without a value (year, month and day all 0, as a new trigger's
    // end) is the zero date, and the zero date writes back as none.
    Hr GetDate(DateField field, double& value) const;
    Hr SetDate(DateField field, double value);

    std::uint16_t Index() const { return m_index; }
    const TriggerRecord& Cache() const { return m_cache; }

private:
    friend class CTriggersModel;
    // The scheduler's trigger objects address a position, not a trigger: when
    // the task closes a gap, an object must be fetched again for the new
    // position, and the removed trigger's object must not be used at all.
    void Renumber(std::uint16_t index);
    void Detach(Hr reason);

    std::shared_ptr<ITriggerHandle> m_trigger;
    std::shared_ptr<ITaskHandle> m_task;
    std::uint16_t m_index;
    TriggerRecord m_cache;
    Hr m_detached = kOk; // why the object no longer reaches a trigger
};

class CTriggersModel
{
public:
    explicit CTriggersModel(std::shared_ptr<ITaskHandle> task);

    Hr Add(std::shared_ptr<CTriggerModel>& trigger);
    Hr Remove(std::int32_t position);
    Hr Update();
    std::int32_t Count() const { return static_cast<std::int32_t>(m_items.size()); }
    Hr Item(std::int32_t position, std::shared_ptr<CTriggerModel>& trigger) const;
    const std::vector<std::shared_ptr<CTriggerModel>>& Items() const { return m_items; }

private:
    Hr Make(std::shared_ptr<ITriggerHandle> handle, std::uint16_t index,
            std::shared_ptr<CTriggerModel>& trigger);

    std::shared_ptr<ITaskHandle> m_task;
    std::vector<std::shared_ptr<CTriggerModel>> m_items;
    // Every trigger object made on this task that a client may still hold,
    // also those an Update has dropped from the collection.
    std::vector<std::weak_ptr<CTriggerModel>> m_made;
};

class CJobModel
{
public:
    // A job on the task with its triggers read.
    static Hr Make(std::shared_ptr<ITaskHandle> task, std::shared_ptr<CJobModel>& job);

    ITaskHandle& Task() { return *m_task; }
    const std::shared_ptr<CTriggersModel>& Triggers() const { return m_triggers; }
    const std::u16string& Name() const { return m_name; }
    void SetName(std::u16string name) { m_name = std::move(name); }

    // Every trigger is written before the task; no name or an empty one
    // saves to the task's own file.
    Hr Save(const std::u16string* fileName);
    Hr GetIdleWait(std::int16_t& minutes);
    Hr SetIdleWait(std::int16_t minutes);
    Hr LastRunTime(double& date);
    Hr NextRunTime(double& date);

private:
    explicit CJobModel(std::shared_ptr<ITaskHandle> task);

    std::shared_ptr<ITaskHandle> m_task;
    std::u16string m_name;
    std::shared_ptr<CTriggersModel> m_triggers;
};

// Text keys compare without regard to case.
bool SameKey(const std::u16string& a, const std::u16string& b);

class CScheduleModel
{
public:
    static constexpr char16_t kCreator[] = u"Taskloom";

    explicit CScheduleModel(std::shared_ptr<ITaskSchedulerHandle> scheduler);

    ITaskSchedulerHandle& Scheduler() { return *m_scheduler; }
    Hr CreateTask(const std::u16string& name, std::shared_ptr<CJobModel>& job);
    // Rebuilds the collection from the tasks there are now. Never fails:
    // a name that cannot be made into a job is left out and not counted.
    void Refresh();
    Hr Delete(std::int32_t position);
    Hr Job(std::int32_t position, std::shared_ptr<CJobModel>& job) const;
    std::int32_t Count() const { return m_count; }
    std::vector<std::shared_ptr<CJobModel>> Jobs() const;

private:
    struct Entry
    {
        std::u16string key; // empty: filed without a key
        std::shared_ptr<CJobModel> job;
    };

    std::shared_ptr<ITaskSchedulerHandle> m_scheduler;
    std::vector<Entry> m_jobs;
    std::int32_t m_count = 0;
};

} // namespace qw::sched
