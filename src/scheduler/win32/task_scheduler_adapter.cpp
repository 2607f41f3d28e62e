#include "scheduler/win32/task_scheduler_adapter.h"

#include "platform/win32/com_ptr.h"

#include <windows.h>

#include <mstask.h>

#include <cstring>

namespace qw::sched
{

namespace
{

const wchar_t* W(const std::u16string& s)
{
    return reinterpret_cast<const wchar_t*>(s.c_str());
}

// Takes over a string the scheduler allocated for the caller.
std::u16string Adopt(LPWSTR text)
{
    std::u16string result;
    if (text)
    {
        result.assign(reinterpret_cast<const char16_t*>(text), lstrlenW(text));
        CoTaskMemFree(text);
    }
    return result;
}

void Copy(const SYSTEMTIME& from, SystemTime& to)
{
    to = {from.wYear, from.wMonth,  from.wDayOfWeek, from.wDay,
          from.wHour, from.wMinute, from.wSecond,    from.wMilliseconds};
}

// The record's type-dependent part is a union; it is carried as its words.
static_assert(sizeof(TRIGGER_TYPE_UNION) == sizeof(TriggerRecord::typeWords));

void ToRecord(const TASK_TRIGGER& t, TriggerRecord& r)
{
    r.beginYear = t.wBeginYear, r.beginMonth = t.wBeginMonth, r.beginDay = t.wBeginDay;
    r.endYear = t.wEndYear, r.endMonth = t.wEndMonth, r.endDay = t.wEndDay;
    r.startHour = t.wStartHour, r.startMinute = t.wStartMinute;
    r.minutesDuration = t.MinutesDuration, r.minutesInterval = t.MinutesInterval;
    r.flags = t.rgFlags;
    r.triggerType = static_cast<std::int32_t>(t.TriggerType);
    std::memcpy(r.typeWords, &t.Type, sizeof r.typeWords);
    r.randomMinutesInterval = t.wRandomMinutesInterval;
}

void FromRecord(const TriggerRecord& r, TASK_TRIGGER& t)
{
    t = {};
    t.cbTriggerSize = sizeof t;
    t.wBeginYear = r.beginYear, t.wBeginMonth = r.beginMonth, t.wBeginDay = r.beginDay;
    t.wEndYear = r.endYear, t.wEndMonth = r.endMonth, t.wEndDay = r.endDay;
    t.wStartHour = r.startHour, t.wStartMinute = r.startMinute;
    t.MinutesDuration = r.minutesDuration, t.MinutesInterval = r.minutesInterval;
    t.rgFlags = r.flags;
    t.TriggerType = static_cast<TASK_TRIGGER_TYPE>(r.triggerType);
    std::memcpy(&t.Type, r.typeWords, sizeof r.typeWords);
    t.wRandomMinutesInterval = r.randomMinutesInterval;
}

class CTriggerAdapter : public ITriggerHandle
{
public:
    explicit CTriggerAdapter(CComPtr<ITaskTrigger> trigger) : m_trigger(std::move(trigger)) {}
    Hr SetTrigger(const TriggerRecord& record) override
    {
        TASK_TRIGGER t;
        FromRecord(record, t);
        return m_trigger->SetTrigger(&t);
    }
    Hr GetTrigger(TriggerRecord& record) override
    {
        TASK_TRIGGER t{};
        t.cbTriggerSize = sizeof t;
        const HRESULT hr = m_trigger->GetTrigger(&t);
        if (SUCCEEDED(hr))
            ToRecord(t, record);
        return hr;
    }

private:
    CComPtr<ITaskTrigger> m_trigger;
};

class CTaskAdapter : public ITaskHandle
{
public:
    explicit CTaskAdapter(CComPtr<ITask> task) : m_task(std::move(task)) {}

    Hr CreateTrigger(std::uint16_t& index, std::shared_ptr<ITriggerHandle>& trigger) override
    {
        CComPtr<ITaskTrigger> made;
        WORD i = 0;
        const HRESULT hr = m_task->CreateTrigger(&i, made.Put());
        if (SUCCEEDED(hr))
        {
            index = i;
            trigger = std::make_shared<CTriggerAdapter>(std::move(made));
        }
        return hr;
    }
    Hr DeleteTrigger(std::uint16_t index) override { return m_task->DeleteTrigger(index); }
    Hr GetTriggerCount(std::uint16_t& count) override
    {
        WORD n = 0;
        const HRESULT hr = m_task->GetTriggerCount(&n);
        count = n;
        return hr;
    }
    Hr GetTrigger(std::uint16_t index, std::shared_ptr<ITriggerHandle>& trigger) override
    {
        CComPtr<ITaskTrigger> got;
        const HRESULT hr = m_task->GetTrigger(index, got.Put());
        if (SUCCEEDED(hr))
            trigger = std::make_shared<CTriggerAdapter>(std::move(got));
        return hr;
    }
    Hr GetTriggerString(std::uint16_t index, std::u16string& text) override
    {
        LPWSTR s = nullptr;
        const HRESULT hr = m_task->GetTriggerString(index, &s);
        text = Adopt(s);
        return hr;
    }
    Hr GetNextRunTime(SystemTime& time) override
    {
        SYSTEMTIME st{};
        const HRESULT hr = m_task->GetNextRunTime(&st);
        Copy(st, time);
        return hr;
    }
    Hr GetMostRecentRunTime(SystemTime& time) override
    {
        SYSTEMTIME st{};
        const HRESULT hr = m_task->GetMostRecentRunTime(&st);
        Copy(st, time);
        return hr;
    }
    Hr GetIdleWait(std::uint16_t& idle, std::uint16_t& deadline) override
    {
        WORD i = 0, d = 0;
        const HRESULT hr = m_task->GetIdleWait(&i, &d);
        idle = i, deadline = d;
        return hr;
    }
    Hr SetIdleWait(std::uint16_t idle, std::uint16_t deadline) override
    {
        return m_task->SetIdleWait(idle, deadline);
    }
    Hr Run() override { return m_task->Run(); }
    Hr Terminate() override { return m_task->Terminate(); }
    Hr EditWorkItem() override { return m_task->EditWorkItem(nullptr, 0); }
    Hr GetStatus(std::int32_t& status) override
    {
        HRESULT s = 0;
        const HRESULT hr = m_task->GetStatus(&s);
        status = s;
        return hr;
    }
    Hr GetExitCode(std::uint32_t& code) override
    {
        DWORD c = 0;
        const HRESULT hr = m_task->GetExitCode(&c);
        code = c;
        return hr;
    }
    Hr GetText(TaskText which, std::u16string& text) override
    {
        LPWSTR s = nullptr;
        HRESULT hr = E_INVALIDARG;
        switch (which)
        {
        case TaskText::Comment:
            hr = m_task->GetComment(&s);
            break;
        case TaskText::Creator:
            hr = m_task->GetCreator(&s);
            break;
        case TaskText::ApplicationName:
            hr = m_task->GetApplicationName(&s);
            break;
        case TaskText::Parameters:
            hr = m_task->GetParameters(&s);
            break;
        case TaskText::WorkingDirectory:
            hr = m_task->GetWorkingDirectory(&s);
            break;
        }
        text = Adopt(s);
        return hr;
    }
    Hr SetText(TaskText which, const std::u16string& text) override
    {
        switch (which)
        {
        case TaskText::Comment:
            return m_task->SetComment(W(text));
        case TaskText::Creator:
            return m_task->SetCreator(W(text));
        case TaskText::ApplicationName:
            return m_task->SetApplicationName(W(text));
        case TaskText::Parameters:
            return m_task->SetParameters(W(text));
        case TaskText::WorkingDirectory:
            return m_task->SetWorkingDirectory(W(text));
        }
        return E_INVALIDARG;
    }
    Hr GetNumber(TaskNumber which, std::uint32_t& value) override
    {
        WORD w = 0;
        DWORD d = 0;
        HRESULT hr = E_INVALIDARG;
        switch (which)
        {
        case TaskNumber::ErrorRetryCount:
            hr = m_task->GetErrorRetryCount(&w);
            d = w;
            break;
        case TaskNumber::ErrorRetryInterval:
            hr = m_task->GetErrorRetryInterval(&w);
            d = w;
            break;
        case TaskNumber::Flags:
            hr = m_task->GetFlags(&d);
            break;
        case TaskNumber::Priority:
            hr = m_task->GetPriority(&d);
            break;
        case TaskNumber::MaxRunTime:
            hr = m_task->GetMaxRunTime(&d);
            break;
        }
        value = d;
        return hr;
    }
    Hr SetNumber(TaskNumber which, std::uint32_t value) override
    {
        switch (which)
        {
        case TaskNumber::ErrorRetryCount:
            return m_task->SetErrorRetryCount(static_cast<WORD>(value));
        case TaskNumber::ErrorRetryInterval:
            return m_task->SetErrorRetryInterval(static_cast<WORD>(value));
        case TaskNumber::Flags:
            return m_task->SetFlags(value);
        case TaskNumber::Priority:
            return m_task->SetPriority(value);
        case TaskNumber::MaxRunTime:
            return m_task->SetMaxRunTime(value);
        }
        return E_INVALIDARG;
    }
    Hr Save(const std::u16string* fileName) override
    {
        CComPtr<IPersistFile> file;
        const HRESULT hr = m_task->QueryInterface(IID_IPersistFile, file.PutVoid());
        if (FAILED(hr))
            return hr;
        return file->Save(fileName ? W(*fileName) : nullptr, FALSE);
    }
    Hr GetCurFile(std::u16string& fileName) override
    {
        CComPtr<IPersistFile> file;
        HRESULT hr = m_task->QueryInterface(IID_IPersistFile, file.PutVoid());
        if (FAILED(hr))
            return hr;
        LPOLESTR s = nullptr;
        hr = file->GetCurFile(&s);
        fileName = Adopt(s);
        return hr;
    }

private:
    CComPtr<ITask> m_task;
};

class CNamesAdapter : public IWorkItemNames
{
public:
    explicit CNamesAdapter(CComPtr<IEnumWorkItems> names) : m_names(std::move(names)) {}
    Hr Next(std::optional<std::u16string>& name) override
    {
        LPWSTR* names = nullptr;
        ULONG fetched = 0;
        const HRESULT hr = m_names->Next(1, &names, &fetched);
        name.reset();
        if (names)
        {
            if (hr == S_OK && fetched == 1 && names[0])
                name = Adopt(names[0]);
            else if (fetched == 1)
                CoTaskMemFree(names[0]);
            CoTaskMemFree(names);
        }
        return hr;
    }

private:
    CComPtr<IEnumWorkItems> m_names;
};

class CSchedulerAdapter : public ITaskSchedulerHandle
{
public:
    explicit CSchedulerAdapter(CComPtr<ITaskScheduler> scheduler)
        : m_scheduler(std::move(scheduler))
    {
    }
    Hr SetTargetComputer(const std::u16string& computer) override
    {
        return m_scheduler->SetTargetComputer(computer.empty() ? nullptr : W(computer));
    }
    Hr GetTargetComputer(std::u16string& computer) override
    {
        LPWSTR s = nullptr;
        const HRESULT hr = m_scheduler->GetTargetComputer(&s);
        computer = Adopt(s);
        return hr;
    }
    Hr Enum(std::unique_ptr<IWorkItemNames>& names) override
    {
        CComPtr<IEnumWorkItems> e;
        const HRESULT hr = m_scheduler->Enum(e.Put());
        if (SUCCEEDED(hr) && e)
            names = std::make_unique<CNamesAdapter>(std::move(e));
        return hr;
    }
    Hr Activate(const std::u16string& name, std::shared_ptr<ITaskHandle>& task) override
    {
        return ByEitherName(name,
                            [&](const std::u16string& n)
                            {
                                CComPtr<ITask> t;
                                const HRESULT hr = m_scheduler->Activate(
                                    W(n), IID_ITask, reinterpret_cast<IUnknown**>(t.Put()));
                                if (SUCCEEDED(hr) && t)
                                    task = std::make_shared<CTaskAdapter>(std::move(t));
                                return SUCCEEDED(hr) && !task ? E_POINTER : hr;
                            });
    }
    Hr Delete(const std::u16string& fileName) override
    {
        return ByEitherName(fileName,
                            [&](const std::u16string& n) { return m_scheduler->Delete(W(n)); });
    }
    Hr NewWorkItem(const std::u16string& name, std::shared_ptr<ITaskHandle>& task) override
    {
        // Wine 8's NewWorkItem hands out a task of an existing name, whose
        // Save then replaces the user's task. Refuse as Windows does.
        std::shared_ptr<ITaskHandle> existing;
        if (SUCCEEDED(Activate(name + u".job", existing)))
            return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
        CComPtr<ITask> t;
        const HRESULT hr = m_scheduler->NewWorkItem(W(name), CLSID_CTask, IID_ITask,
                                                    reinterpret_cast<IUnknown**>(t.Put()));
        if (SUCCEEDED(hr) && t)
            task = std::make_shared<CTaskAdapter>(std::move(t));
        return SUCCEEDED(hr) && !task ? E_POINTER : hr;
    }

private:
    // Windows takes a task's name with or without the ".job" it enumerates;
    // wine 8 appends ".job" itself, so an enumerated name is found only
    // without it.
    template <class F> static HRESULT ByEitherName(const std::u16string& name, F&& call)
    {
        const HRESULT hr = call(name);
        const size_t n = name.size();
        if (SUCCEEDED(hr) || n < 4 ||
            CompareStringOrdinal(W(name) + n - 4, 4, L".job", 4, TRUE) != CSTR_EQUAL)
            return hr;
        return call(name.substr(0, n - 4));
    }

    CComPtr<ITaskScheduler> m_scheduler;
};

} // namespace

Hr ConnectTaskScheduler(std::shared_ptr<ITaskSchedulerHandle>& scheduler)
{
    CComPtr<ITaskScheduler> ts;
    const HRESULT hr = CoCreateInstance(CLSID_CTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_ITaskScheduler, ts.PutVoid());
    if (FAILED(hr))
        return hr;
    scheduler = std::make_shared<CSchedulerAdapter>(std::move(ts));
    return S_OK;
}

} // namespace qw::sched
