#include "scheduler/win32/taskloom_module.h"

#include "platform/win32/com_ptr.h"
#include "scheduler/win32/automation_objects.h"
#include "taskloom_idl.h"

#include <olectl.h>

#include <atomic>
#include <mutex>
#include <new>
#include <string>

namespace qw::sched
{

namespace
{

HMODULE g_module = nullptr;
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

std::wstring ModulePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;)
    {
        const DWORD n = GetModuleFileNameW(g_module, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size())
        {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

HRESULT LoadOwnTypeLib(ITypeLib** lib)
{
    const std::wstring path = ModulePath();
    return path.empty() ? HRESULT_FROM_WIN32(GetLastError())
                        : LoadTypeLibEx(path.c_str(), REGKIND_NONE, lib);
}

// Only Schedule is handed out by the factory; the other classes come from it.
class CScheduleFactory : public IClassFactory
{
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IClassFactory)
        {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // Static: its life is the module's; outstanding references lock it.
    STDMETHODIMP_(ULONG) AddRef() override
    {
        LockModule(true);
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() override
    {
        LockModule(false);
        return 1;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (object)
            *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return CreateScheduleObject(riid, object);
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        LockModule(lock != FALSE);
        return S_OK;
    }
};

CScheduleFactory g_factory;

} // namespace

HMODULE ModuleHandle()
{
    return g_module;
}
void ObjectCreated()
{
    ++g_objects;
}
void ObjectDestroyed()
{
    --g_objects;
}
void LockModule(bool lock)
{
    lock ? ++g_locks : --g_locks;
}
bool ModuleInUse()
{
    return g_objects > 0 || g_locks > 0;
}

HRESULT TypeInfoOf(REFIID iid, ITypeInfo** info)
{
    static std::mutex guard;
    static CComPtr<ITypeLib> lib;
    std::lock_guard<std::mutex> lock(guard);
    if (!lib)
    {
        const HRESULT hr = LoadOwnTypeLib(lib.Put());
        if (FAILED(hr))
            return hr;
    }
    return lib->GetTypeInfoOfGuid(iid, info);
}

std::wstring OwnModulePath()
{
    return ModulePath();
}

} // namespace qw::sched

using namespace qw::sched;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (clsid != CLSID_Schedule)
        return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, object);
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return ModuleInUse() ? S_FALSE : S_OK;
}
