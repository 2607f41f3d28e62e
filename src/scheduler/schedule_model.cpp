#include "scheduler/schedule_model.h"

#include "scheduler/automation_date.h"

#include <algorithm>
#include <limits>

namespace qw::sched
{

const char* OwnDescription(Hr hr)
{
    if (hr == kInvalidTriggerType)
        return "Invalid trigger type";
    // The system has no text for the scheduler's codes (wine 8).
    if (hr == kTriggerRemoved)
        return "The trigger was removed from its task";
    return "";
}

namespace
{

struct TypedRule
{
    int word;              // which 16-bit word of the type-dependent part
    unsigned typesAllowed; // bit per trigger type
};

constexpr unsigned Bit(TriggerType t)
{
    return 1u << t;
}

// The scheduler's record overlays its per-type fields, so one word serves
// several properties: the week interval and the days interval share word 0.
TypedRule RuleOf(TypedField field)
{
    switch (field)
    {
    case TypedField::DaysInterval:
        return {0, Bit(kDaily)};
    case TypedField::Day:
        return {0, Bit(kMonthlyDate)}; // the low half of the day mask
    case TypedField::Months:
        return {2, Bit(kMonthlyDate) | Bit(kMonthlyWeekDay)};
    case TypedField::DaysOfTheWeek:
        return {1, Bit(kWeekly) | Bit(kMonthlyWeekDay)};
    case TypedField::Week:
        return {0, Bit(kMonthlyWeekDay)};
    case TypedField::WeeksInterval:
        return {0, Bit(kWeekly)};
    }
    return {0, 0};
}

bool TypeAllows(const TriggerRecord& record, unsigned types)
{
    return record.triggerType >= 0 && record.triggerType < 32 &&
           (types & (1u << record.triggerType)) != 0;
}

bool Fits16(std::int32_t value)
{
    return value >= std::numeric_limits<std::int16_t>::min() &&
           value <= std::numeric_limits<std::int16_t>::max();
}

std::int32_t Signed16(std::uint16_t word)
{
    return static_cast<std::int16_t>(word);
}

char16_t Fold(char16_t c)
{
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
        return static_cast<char16_t>(c - 0x20);
    if (c >= 0x450 && c <= 0x45F)
        return static_cast<char16_t>(c - 0x50);
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 &&
        c != 0x17F)
    {
        // Latin Extended-A pairs capitals and small letters; the two runs
        // 0x139-0x148 and 0x179-0x17E start on odd capitals.
        const bool oddRun = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (oddRun ? (c % 2 == 0) : (c % 2 == 1))
            return static_cast<char16_t>(c - 1);
    }
    return c;
}

} // namespace

bool SameKey(const std::u16string& a, const std::u16string& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(),
                      [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

// --- Trigger -----------------------------------------------------------------

CTriggerModel::CTriggerModel(std::shared_ptr<ITriggerHandle> trigger,
                             std::shared_ptr<ITaskHandle> task, std::uint16_t index)
    : m_trigger(std::move(trigger)), m_task(std::move(task)), m_index(index)
{
}

Hr CTriggerModel::Refresh()
{
    return Failed(m_detached) ? m_detached : m_trigger->GetTrigger(m_cache);
}

Hr CTriggerModel::Update()
{
    if (Failed(m_detached))
        return m_detached;
    const Hr hr = m_trigger->SetTrigger(m_cache);
    return Failed(hr) ? hr : m_trigger->GetTrigger(m_cache);
}

Hr CTriggerModel::Text(std::u16string& text)
{
    return Failed(m_detached) ? m_detached : m_task->GetTriggerString(m_index, text);
}

void CTriggerModel::Renumber(std::uint16_t index)
{
    std::shared_ptr<ITriggerHandle> handle;
    const Hr hr = m_task->GetTrigger(index, handle);
    if (Failed(hr))
    {
        // The old object would now reach the trigger after this one.
        Detach(hr);
        return;
    }
    m_index = index;
    m_trigger = std::move(handle);
}

void CTriggerModel::Detach(Hr reason)
{
    m_trigger.reset();
    m_detached = reason;
}

Hr CTriggerModel::GetTyped(TypedField field, std::int32_t& value) const
{
    if (Failed(m_detached))
        return m_detached;
    const TypedRule rule = RuleOf(field);
    if (!TypeAllows(m_cache, rule.typesAllowed))
        return kInvalidTriggerType;
    value = Signed16(m_cache.typeWords[rule.word]);
    return kOk;
}

Hr CTriggerModel::SetTyped(TypedField field, std::int32_t value)
{
    if (Failed(m_detached))
        return m_detached;
    const TypedRule rule = RuleOf(field);
    if (!TypeAllows(m_cache, rule.typesAllowed))
        return kInvalidTriggerType;
    if (!Fits16(value))
        return kOverflow;
    m_cache.typeWords[rule.word] = static_cast<std::uint16_t>(value);
    return kOk;
}

Hr CTriggerModel::GetCommon(CommonField field, std::int32_t& value) const
{
    if (Failed(m_detached))
        return m_detached;
    switch (field)
    {
    case CommonField::TriggerType:
        value = m_cache.triggerType;
        break;
    case CommonField::Duration:
        value = static_cast<std::int32_t>(m_cache.minutesDuration);
        break;
    case CommonField::Interval:
        value = static_cast<std::int32_t>(m_cache.minutesInterval);
        break;
    case CommonField::Flags:
        value = static_cast<std::int32_t>(m_cache.flags);
        break;
    case CommonField::RandomInterval:
        value = Signed16(m_cache.randomMinutesInterval);
        break;
    }
    return kOk;
}

Hr CTriggerModel::SetCommon(CommonField field, std::int32_t value)
{
    if (Failed(m_detached))
        return m_detached;
    const auto bits = static_cast<std::uint32_t>(value);
    switch (field)
    {
    case CommonField::TriggerType:
        m_cache.triggerType = value;
        break;
    case CommonField::Duration:
        m_cache.minutesDuration = bits;
        break;
    case CommonField::Interval:
        m_cache.minutesInterval = bits;
        break;
    case CommonField::Flags:
        m_cache.flags = bits;
        break;
    case CommonField::RandomInterval:
        m_cache.randomMinutesInterval = static_cast<std::uint16_t>(bits);
        break;
    }
    return kOk;
}

namespace
{

Hr DayOf(std::uint16_t year, std::uint16_t month, std::uint16_t day, double& value)
{
    if (year == 0 && month == 0 && day == 0)
    {
        value = 0.0;
        return kOk;
    }
    return DateFromParts(year, month, day, value);
}

} // namespace

Hr CTriggerModel::GetDate(DateField field, double& value) const
{
    if (Failed(m_detached))
        return m_detached;
    switch (field)
    {
    case DateField::BeginDay:
        return DayOf(m_cache.beginYear, m_cache.beginMonth, m_cache.beginDay, value);
    case DateField::EndDay:
        return DayOf(m_cache.endYear, m_cache.endMonth, m_cache.endDay, value);
    case DateField::StartTime:
        value = TimeOfDay(m_cache.startHour, m_cache.startMinute);
        return kOk;
    }
    return kUnexpected;
}

Hr CTriggerModel::SetDate(DateField field, double value)
{
    if (Failed(m_detached))
        return m_detached;
    DateParts parts;
    if (field != DateField::StartTime && value == 0.0)
        parts = {}; // no date: what a new trigger's end holds
    else if (!SplitDate(value, parts))
        return kOverflow;
    auto w = [](int part) { return static_cast<std::uint16_t>(part); };
    switch (field)
    {
    case DateField::BeginDay:
        m_cache.beginYear = w(parts.year);
        m_cache.beginMonth = w(parts.month);
        m_cache.beginDay = w(parts.day);
        break;
    case DateField::EndDay:
        m_cache.endYear = w(parts.year);
        m_cache.endMonth = w(parts.month);
        m_cache.endDay = w(parts.day);
        break;
    case DateField::StartTime:
        m_cache.startHour = w(parts.hour);
        m_cache.startMinute = w(parts.minute);
        break;
    }
    return kOk;
}

// --- Triggers ----------------------------------------------------------------

CTriggersModel::CTriggersModel(std::shared_ptr<ITaskHandle> task) : m_task(std::move(task)) {}

Hr CTriggersModel::Make(std::shared_ptr<ITriggerHandle> handle, std::uint16_t index,
                        std::shared_ptr<CTriggerModel>& trigger)
{
    auto made = std::make_shared<CTriggerModel>(std::move(handle), m_task, index);
    const Hr hr = made->Refresh();
    if (Failed(hr))
        return hr;
    std::erase_if(m_made, [](const std::weak_ptr<CTriggerModel>& t) { return t.expired(); });
    m_made.push_back(made);
    trigger = std::move(made);
    return kOk;
}

Hr CTriggersModel::Add(std::shared_ptr<CTriggerModel>& trigger)
{
    std::uint16_t index = 0;
    std::shared_ptr<ITriggerHandle> handle;
    Hr hr = m_task->CreateTrigger(index, handle);
    if (Failed(hr))
        return hr;
    std::shared_ptr<CTriggerModel> made;
    hr = Make(std::move(handle), index, made);
    if (Failed(hr))
        return hr;
    made->m_cache.flags = 0;
    m_items.push_back(made);
    trigger = std::move(made);
    return kOk;
}

Hr CTriggersModel::Remove(std::int32_t position)
{
    if (position < 1 || position > Count())
        return kBadIndex;
    const std::shared_ptr<CTriggerModel> removed = m_items[position - 1];
    m_items.erase(m_items.begin() + (position - 1));
    if (Failed(removed->m_detached))
        return removed->m_detached;
    // The entry's own place, which is position - 1 unless an earlier failed
    // delete left a trigger in the task that the collection no longer shows.
    const std::uint16_t index = removed->Index();
    const Hr hr = m_task->DeleteTrigger(index);
    if (Failed(hr))
        return hr;
    // The scheduler closes the gap: every object on the removed place is
    // done, and the later ones follow their triggers. A later one that
    // cannot follow is detached rather than left on a neighbour's place.
    for (const auto& weak : m_made)
        if (const auto made = weak.lock(); made && !Failed(made->m_detached))
        {
            if (made->Index() == index)
                made->Detach(kTriggerRemoved);
            else if (made->Index() > index)
                made->Renumber(static_cast<std::uint16_t>(made->Index() - 1));
        }
    return kOk;
}

Hr CTriggersModel::Update()
{
    m_items.clear();
    std::uint16_t count = 0;
    Hr hr = m_task->GetTriggerCount(count);
    if (Failed(hr))
        return hr;
    for (std::uint16_t i = 0; i < count; ++i)
    {
        std::shared_ptr<ITriggerHandle> handle;
        hr = m_task->GetTrigger(i, handle);
        if (Failed(hr))
            return hr;
        std::shared_ptr<CTriggerModel> trigger;
        hr = Make(std::move(handle), i, trigger);
        if (Failed(hr))
            return hr;
        m_items.push_back(std::move(trigger));
    }
    return kOk;
}

Hr CTriggersModel::Item(std::int32_t position, std::shared_ptr<CTriggerModel>& trigger) const
{
    if (position < 1 || position > Count())
        return kBadIndex;
    trigger = m_items[position - 1];
    return kOk;
}

// --- Job -----------------------------------------------------------------------

CJobModel::CJobModel(std::shared_ptr<ITaskHandle> task)
    : m_task(std::move(task)), m_triggers(std::make_shared<CTriggersModel>(m_task))
{
}

Hr CJobModel::Make(std::shared_ptr<ITaskHandle> task, std::shared_ptr<CJobModel>& job)
{
    std::shared_ptr<CJobModel> made(new CJobModel(std::move(task)));
    const Hr hr = made->m_triggers->Update();
    if (Failed(hr))
        return hr;
    job = std::move(made);
    return kOk;
}

Hr CJobModel::Save(const std::u16string* fileName)
{
    for (const auto& trigger : m_triggers->Items())
    {
        const Hr hr = trigger->Update();
        if (Failed(hr))
            return hr;
    }
    return m_task->Save(fileName && !fileName->empty() ? fileName : nullptr);
}

Hr CJobModel::GetIdleWait(std::int16_t& minutes)
{
    std::uint16_t idle = 0, deadline = 0;
    const Hr hr = m_task->GetIdleWait(idle, deadline);
    if (Failed(hr))
        return hr;
    minutes = static_cast<std::int16_t>(idle);
    return kOk;
}

Hr CJobModel::SetIdleWait(std::int16_t minutes)
{
    // The deadline is not part of the property: keep the task's own.
    std::uint16_t idle = 0, deadline = 0;
    const Hr hr = m_task->GetIdleWait(idle, deadline);
    if (Failed(hr))
        return hr;
    return m_task->SetIdleWait(static_cast<std::uint16_t>(minutes), deadline);
}

Hr CJobModel::LastRunTime(double& date)
{
    SystemTime time;
    const Hr hr = m_task->GetMostRecentRunTime(time);
    if (Failed(hr))
        return hr;
    date = DateFromSystemTime(time);
    return kOk;
}

Hr CJobModel::NextRunTime(double& date)
{
    SystemTime time;
    const Hr hr = m_task->GetNextRunTime(time);
    if (Failed(hr))
        return hr;
    date = DateFromSystemTime(time);
    return kOk;
}

// --- Schedule ------------------------------------------------------------------

CScheduleModel::CScheduleModel(std::shared_ptr<ITaskSchedulerHandle> scheduler)
    : m_scheduler(std::move(scheduler))
{
}

Hr CScheduleModel::CreateTask(const std::u16string& name, std::shared_ptr<CJobModel>& job)
{
    // Checked first, so that a full counter leaves no task file behind.
    if (m_count == std::numeric_limits<std::int32_t>::max())
        return kOverflow;
    std::shared_ptr<ITaskHandle> task;
    Hr hr = m_scheduler->NewWorkItem(name, task);
    if (Failed(hr))
        return hr;
    std::shared_ptr<CJobModel> made;
    if (Failed(hr = CJobModel::Make(task, made)) ||
        Failed(hr = task->SetText(TaskText::Creator, kCreator)) || Failed(hr = made->Save(nullptr)))
        return hr;
    m_jobs.push_back({u"", made});
    ++m_count;
    job = std::move(made);
    return kOk;
}

void CScheduleModel::Refresh()
{
    m_jobs.clear();
    m_count = 0;
    std::unique_ptr<IWorkItemNames> names;
    if (Failed(m_scheduler->Enum(names)) || !names)
        return;
    for (;;)
    {
        std::optional<std::u16string> name;
        if (names->Next(name) != kOk)
            break;
        if (!name)
            continue;
        std::shared_ptr<ITaskHandle> task;
        std::shared_ptr<CJobModel> job;
        if (Failed(m_scheduler->Activate(*name, task)) || Failed(CJobModel::Make(task, job)))
            continue;
        std::u16string key = name->substr(0, name->size() >= 4 ? name->size() - 4 : 0);
        const bool taken = std::any_of(m_jobs.begin(), m_jobs.end(),
                                       [&](const Entry& e) { return SameKey(e.key, key); });
        if (taken || m_count == std::numeric_limits<std::int32_t>::max())
            continue;
        job->SetName(key);
        m_jobs.push_back({std::move(key), std::move(job)});
        ++m_count;
    }
}

Hr CScheduleModel::Delete(std::int32_t position)
{
    if (position < 1 || position > static_cast<std::int32_t>(m_jobs.size()))
        return kBadIndex;
    const Hr hr = m_scheduler->Delete(m_jobs[position - 1].job->Name() + u".job");
    if (Failed(hr))
        return hr;
    --m_count;
    m_jobs.erase(m_jobs.begin() + (position - 1));
    return kOk;
}

Hr CScheduleModel::Job(std::int32_t position, std::shared_ptr<CJobModel>& job) const
{
    if (position < 1 || position > static_cast<std::int32_t>(m_jobs.size()))
        return kBadIndex;
    job = m_jobs[position - 1].job;
    return kOk;
}

std::vector<std::shared_ptr<CJobModel>> CScheduleModel::Jobs() const
{
    std::vector<std::shared_ptr<CJobModel>> jobs;
    for (const auto& entry : m_jobs)
        jobs.push_back(entry.job);
    return jobs;
}

} // namespace qw::sched
