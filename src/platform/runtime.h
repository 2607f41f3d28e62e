#pragma once

#include <string>

namespace qw
{

enum class MutexResult
{
    Created,
    AlreadyExists, // another instance holds it, or the name belongs to another kind of object
    Failed,
};

// Process-wide services of the start-up sequence.
class IRuntime
{
public:
    virtual ~IRuntime() = default;
    virtual void EnableControlHosting() = 0;
    // The mutex is owned by this process until it exits.
    virtual MutexResult CreateInstanceMutex(const std::string& name) = 0;
    virtual bool InitializeCom() = 0;
    virtual void UninitializeCom() = 0;
};

} // namespace qw
