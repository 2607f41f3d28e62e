#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace qw
{

// Held until destroyed; a process that dies while holding it lets it go.
class IHeldMutex
{
public:
    virtual ~IHeldMutex() = default;
};

// Mutexes shared by every process of the machine that uses the same name
// (every session where the system allows it).
class INamedMutexes
{
public:
    virtual ~INamedMutexes() = default;
    // Waits at most `timeout` for the mutex. Null when it was not had in that
    // time or cannot be made at all; the caller goes on without it.
    virtual std::unique_ptr<IHeldMutex> Hold(const std::string& name,
                                             std::chrono::milliseconds timeout) = 0;
};

} // namespace qw
