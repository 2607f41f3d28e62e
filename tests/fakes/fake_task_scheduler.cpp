#include "fakes/fake_task_scheduler.h"

#include <algorithm>

namespace qw::test
{

std::string Narrow(const std::u16string& s)
{
    return std::string(s.begin(), s.end());
}

namespace
{

class CFakeTask;

// Like the scheduler's own, a trigger object addresses a place in its task,
// not a trigger; a place beyond the task's triggers is not found.
Hr AtPlace(FakeWorld& world, const std::string& op, const FakeTaskState& task, std::uint16_t index)
{
    const Hr hr = world.Call(op, std::to_string(index));
    return Failed(hr) || index < task.triggers.size() ? hr : kTriggerNotFound;
}

class CFakeTrigger : public ITriggerHandle
{
public:
    CFakeTrigger(FakeWorld& world, std::shared_ptr<FakeTaskState> task, std::uint16_t index)
        : m_world(world), m_task(std::move(task)), m_index(index)
    {
    }
    Hr SetTrigger(const TriggerRecord& record) override
    {
        const Hr hr = AtPlace(m_world, "SetTrigger", *m_task, m_index);
        if (Failed(hr))
            return hr;
        m_task->triggers.at(m_index) = record;
        if (m_world.normaliseOnSet && record.startMinute > 59)
            m_task->triggers.at(m_index).startMinute = 59;
        return kOk;
    }
    Hr GetTrigger(TriggerRecord& record) override
    {
        const Hr hr = AtPlace(m_world, "GetTrigger", *m_task, m_index);
        if (!Failed(hr))
            record = m_task->triggers.at(m_index);
        return hr;
    }

private:
    FakeWorld& m_world;
    std::shared_ptr<FakeTaskState> m_task;
    std::uint16_t m_index;
};

class CFakeTask : public ITaskHandle
{
public:
    CFakeTask(FakeWorld& world, std::u16string file, FakeTaskState state)
        : m_world(world), m_file(std::move(file)), m_state(std::make_shared<FakeTaskState>(state))
    {
    }
    Hr CreateTrigger(std::uint16_t& index, std::shared_ptr<ITriggerHandle>& trigger) override
    {
        const Hr hr = m_world.Call("CreateTrigger");
        if (Failed(hr))
            return hr;
        TriggerRecord fresh;
        fresh.beginYear = 2026, fresh.beginMonth = 12, fresh.beginDay = 8;
        fresh.flags = 7; // made with flags the component must clear in its cache
        m_state->triggers.push_back(fresh);
        index = static_cast<std::uint16_t>(m_state->triggers.size() - 1);
        trigger = std::make_shared<CFakeTrigger>(m_world, m_state, index);
        return kOk;
    }
    Hr DeleteTrigger(std::uint16_t index) override
    {
        const Hr hr = AtPlace(m_world, "DeleteTrigger", *m_state, index);
        if (!Failed(hr))
            m_state->triggers.erase(m_state->triggers.begin() + index);
        return hr;
    }
    Hr GetTriggerCount(std::uint16_t& count) override
    {
        count = static_cast<std::uint16_t>(m_state->triggers.size());
        return m_world.Call("GetTriggerCount");
    }
    Hr GetTrigger(std::uint16_t index, std::shared_ptr<ITriggerHandle>& trigger) override
    {
        const Hr hr = AtPlace(m_world, "GetTriggerObject", *m_state, index);
        if (!Failed(hr))
            trigger = std::make_shared<CFakeTrigger>(m_world, m_state, index);
        return hr;
    }
    Hr GetTriggerString(std::uint16_t index, std::u16string& text) override
    {
        const Hr hr = AtPlace(m_world, "GetTriggerString", *m_state, index);
        if (Failed(hr))
            return hr;
        // Describes the trigger as last written: type and start time.
        const TriggerRecord& r = m_state->triggers.at(index);
        const std::string s = "type " + std::to_string(r.triggerType) + " at " +
                              std::to_string(r.startHour) + ":" + std::to_string(r.startMinute);
        text.assign(s.begin(), s.end());
        return kOk;
    }
    Hr GetNextRunTime(SystemTime& time) override
    {
        time = m_state->nextRun;
        return m_world.Call("GetNextRunTime");
    }
    Hr GetMostRecentRunTime(SystemTime& time) override
    {
        time = m_state->lastRun;
        return m_world.Call("GetMostRecentRunTime");
    }
    Hr GetIdleWait(std::uint16_t& idle, std::uint16_t& deadline) override
    {
        idle = m_state->idle, deadline = m_state->deadline;
        return m_world.Call("GetIdleWait");
    }
    Hr SetIdleWait(std::uint16_t idle, std::uint16_t deadline) override
    {
        const Hr hr =
            m_world.Call("SetIdleWait", std::to_string(idle) + "," + std::to_string(deadline));
        if (!Failed(hr))
            m_state->idle = idle, m_state->deadline = deadline;
        return hr;
    }
    Hr Run() override { return m_world.Call("Run"); }
    Hr Terminate() override { return m_world.Call("Terminate"); }
    Hr EditWorkItem() override { return m_world.Call("EditWorkItem"); }
    Hr GetStatus(std::int32_t& status) override
    {
        status = 0x41303;
        return m_world.Call("GetStatus");
    }
    Hr GetExitCode(std::uint32_t& code) override
    {
        code = 0;
        return m_world.Call("GetExitCode");
    }
    Hr GetText(TaskText which, std::u16string& text) override
    {
        text = m_state->texts[which];
        return m_world.Call("GetText");
    }
    Hr SetText(TaskText which, const std::u16string& text) override
    {
        const Hr hr = m_world.Call("SetText", Narrow(text));
        if (!Failed(hr))
            m_state->texts[which] = text;
        return hr;
    }
    Hr GetNumber(TaskNumber which, std::uint32_t& value) override
    {
        value = m_state->numbers[which];
        return m_world.Call("GetNumber");
    }
    Hr SetNumber(TaskNumber which, std::uint32_t value) override
    {
        const Hr hr = m_world.Call("SetNumber", std::to_string(value));
        if (!Failed(hr))
            m_state->numbers[which] = value;
        return hr;
    }
    Hr Save(const std::u16string* fileName) override
    {
        const std::u16string file = fileName ? *fileName : m_file;
        const Hr hr = m_world.Call("Save", fileName ? Narrow(*fileName) : "<own>");
        if (Failed(hr))
            return hr;
        if (!m_world.saved.count(file))
            m_world.order.push_back(file);
        m_world.saved[file] = *m_state;
        return kOk;
    }
    Hr GetCurFile(std::u16string& fileName) override
    {
        fileName = u"C:\\windows\\tasks\\" + m_file;
        return m_world.Call("GetCurFile");
    }

private:
    FakeWorld& m_world;
    std::u16string m_file;
    std::shared_ptr<FakeTaskState> m_state;
};

class CFakeNames : public IWorkItemNames
{
public:
    explicit CFakeNames(FakeWorld& world) : m_world(world)
    {
        for (const auto& name : world.order)
            m_names.push_back(name);
        for (const auto& extra : world.extraNames)
            m_names.push_back(extra);
    }
    Hr Next(std::optional<std::u16string>& name) override
    {
        const Hr hr = m_world.Call("Next");
        if (Failed(hr))
            return hr;
        if (m_next == m_names.size())
            return kFalse;
        name = m_names[m_next++];
        return kOk;
    }

private:
    FakeWorld& m_world;
    std::vector<std::optional<std::u16string>> m_names;
    std::size_t m_next = 0;
};

class CFakeScheduler : public ITaskSchedulerHandle
{
public:
    explicit CFakeScheduler(FakeWorld& world) : m_world(world) {}
    Hr SetTargetComputer(const std::u16string& computer) override
    {
        const Hr hr = m_world.Call("SetTargetComputer", Narrow(computer));
        if (!Failed(hr))
            m_computer = computer;
        return hr;
    }
    Hr GetTargetComputer(std::u16string& computer) override
    {
        computer = m_computer;
        return m_world.Call("GetTargetComputer");
    }
    Hr Enum(std::unique_ptr<IWorkItemNames>& names) override
    {
        const Hr hr = m_world.Call("Enum");
        if (!Failed(hr))
            names = std::make_unique<CFakeNames>(m_world);
        return hr;
    }
    Hr Activate(const std::u16string& name, std::shared_ptr<ITaskHandle>& task) override
    {
        const Hr hr = m_world.Call("Activate", Narrow(name));
        if (Failed(hr))
            return hr;
        const auto it = m_world.saved.find(name);
        if (it == m_world.saved.end())
            return static_cast<Hr>(0x80070002u);
        task = std::make_shared<CFakeTask>(m_world, name, it->second);
        return kOk;
    }
    Hr Delete(const std::u16string& fileName) override
    {
        const Hr hr = m_world.Call("Delete", Narrow(fileName));
        if (Failed(hr))
            return hr;
        if (!m_world.saved.erase(fileName))
            return static_cast<Hr>(0x80070002u);
        std::erase(m_world.order, fileName);
        return kOk;
    }
    Hr NewWorkItem(const std::u16string& name, std::shared_ptr<ITaskHandle>& task) override
    {
        const Hr hr = m_world.Call("NewWorkItem", Narrow(name));
        if (Failed(hr))
            return hr;
        if (m_world.saved.count(name + u".job"))
            return static_cast<Hr>(0x80070050u); // the file exists
        task = std::make_shared<CFakeTask>(m_world, name + u".job", FakeTaskState{});
        return kOk;
    }

private:
    FakeWorld& m_world;
    std::u16string m_computer;
};

} // namespace

std::shared_ptr<ITaskSchedulerHandle> MakeFakeScheduler(FakeWorld& world)
{
    return std::make_shared<CFakeScheduler>(world);
}

} // namespace qw::test
