#include "platform/win32/win32_named_mutexes.h"

#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"

namespace qw
{
namespace
{

class CHeldWin32Mutex : public IHeldMutex
{
public:
    explicit CHeldWin32Mutex(CUniqueHandle mutex) : m_mutex(std::move(mutex)) {}
    ~CHeldWin32Mutex() override { ReleaseMutex(m_mutex.Get()); }

private:
    CUniqueHandle m_mutex;
};

} // namespace

std::unique_ptr<IHeldMutex> CWin32NamedMutexes::Hold(const std::string& name,
                                                     std::chrono::milliseconds timeout)
{
    // Default security: a run of another user that may not open it goes on
    // at once without it.
    CUniqueHandle mutex(CreateMutexW(nullptr, FALSE, Utf8ToWide("Global\\" + name).c_str()));
    if (!mutex.Valid())
    {
        return nullptr;
    }
    const DWORD waited = WaitForSingleObject(mutex.Get(), static_cast<DWORD>(timeout.count()));
    // Abandoned: its holder died (wine 8.0 reports that too), and with one
    // write per entry it left nothing half-written; the mutex is now ours.
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED)
    {
        return nullptr;
    }
    return std::make_unique<CHeldWin32Mutex>(std::move(mutex));
}

} // namespace qw
