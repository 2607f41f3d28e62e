#pragma once

#include "scheduler/task_service.h"

#include <memory>

namespace qw::sched
{

// The local Task Scheduler 1.0. Fails with the scheduler's own code when it
// cannot be created.
Hr ConnectTaskScheduler(std::shared_ptr<ITaskSchedulerHandle>& scheduler);

} // namespace qw::sched
