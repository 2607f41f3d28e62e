#pragma once

#include <oaidl.h>
#include <windows.h>

namespace qw::sched
{

// The DLL's own state: its handle, the count of live objects and locks
// behind DllCanUnloadNow, and its embedded type library.
HMODULE ModuleHandle();
void ObjectCreated();
void ObjectDestroyed();
void LockModule(bool lock);
bool ModuleInUse();
HRESULT TypeInfoOf(REFIID iid, ITypeInfo** info);

} // namespace qw::sched
