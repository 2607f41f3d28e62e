#pragma once

#include "platform/runtime.h"
#include "platform/win32/unique_handle.h"

namespace qw
{

class CWin32Runtime : public IRuntime
{
public:
    void EnableControlHosting() override;
    MutexResult CreateInstanceMutex(const std::string& name) override;
    bool InitializeCom() override;
    void UninitializeCom() override;

private:
    CUniqueHandle m_mutex;
};

} // namespace qw
