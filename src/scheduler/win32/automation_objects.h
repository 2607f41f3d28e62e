#pragma once

#include <windows.h>

namespace qw::sched
{

// A new Schedule connected to the local Task Scheduler.
HRESULT CreateScheduleObject(REFIID iid, void** object);

} // namespace qw::sched
