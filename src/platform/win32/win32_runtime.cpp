#include "platform/win32/win32_runtime.h"

#include "platform/win32/wide.h"

#include <objbase.h>

namespace qw
{

void CWin32Runtime::EnableControlHosting()
{
    // The window host that embeds the movie controls registers its container
    // classes when it is created; nothing is needed before that.
}

MutexResult CWin32Runtime::CreateInstanceMutex(const std::string& name)
{
    HANDLE mutex = CreateMutexW(nullptr, TRUE, Utf8ToWide(name).c_str());
    DWORD error = GetLastError();
    m_mutex.Reset(mutex);
    // ERROR_INVALID_HANDLE: the name belongs to an object of another kind.
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_INVALID_HANDLE)
    {
        return MutexResult::AlreadyExists;
    }
    return mutex ? MutexResult::Created : MutexResult::Failed;
}

bool CWin32Runtime::InitializeCom()
{
    return SUCCEEDED(CoInitialize(nullptr));
}

void CWin32Runtime::UninitializeCom()
{
    CoUninitialize();
}

} // namespace qw
