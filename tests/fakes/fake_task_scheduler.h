#pragma once

// An in-memory Task Scheduler: tasks with triggers and saved files, a log of
// every call, and a failure for any operation by name.

#include "scheduler/task_service.h"

#include <map>
#include <string>
#include <vector>

namespace qw::test
{

using namespace qw::sched;

struct FakeWorld;

struct FakeTaskState
{
    std::map<TaskText, std::u16string> texts;
    std::map<TaskNumber, std::uint32_t> numbers;
    std::vector<TriggerRecord> triggers;
    std::uint16_t idle = 10, deadline = 60;
    SystemTime lastRun, nextRun;
};

struct FakeWorld
{
    std::vector<std::string> calls;
    std::map<std::string, Hr> failing;                     // operation name -> result
    std::map<std::u16string, FakeTaskState> saved;         // the ".job" files by name
    std::vector<std::u16string> order;                     // enumeration order of files
    std::vector<std::optional<std::u16string>> extraNames; // handed out after the files
    bool normaliseOnSet = false; // the scheduler clamps a start minute of 60+ to 59

    Hr Call(const std::string& op, const std::string& detail = "")
    {
        calls.push_back(detail.empty() ? op : op + "(" + detail + ")");
        const auto it = failing.find(op);
        return it == failing.end() ? kOk : it->second;
    }
    void AddFile(const std::u16string& name, FakeTaskState state = {})
    {
        saved[name] = std::move(state);
        order.push_back(name);
    }
};

std::string Narrow(const std::u16string& s);
std::shared_ptr<ITaskSchedulerHandle> MakeFakeScheduler(FakeWorld& world);

} // namespace qw::test
