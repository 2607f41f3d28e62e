#pragma once

#include "platform/named_mutex.h"

namespace qw
{

// Kernel mutexes in the global namespace, so that runs of other sessions
// (a task started while nobody is logged on) take part.
class CWin32NamedMutexes : public INamedMutexes
{
public:
    std::unique_ptr<IHeldMutex> Hold(const std::string& name,
                                     std::chrono::milliseconds timeout) override;
};

} // namespace qw
