#pragma once

#include "platform/named_mutex.h"

namespace qw
{

// An flock on a file named after the mutex in the temporary folder: the
// kernel lets it go when its holder dies.
class CPosixNamedMutexes : public INamedMutexes
{
public:
    std::unique_ptr<IHeldMutex> Hold(const std::string& name,
                                     std::chrono::milliseconds timeout) override;
};

} // namespace qw
