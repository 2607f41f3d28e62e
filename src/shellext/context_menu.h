#pragma once

#include "platform/win32/com_guard.h"

#include <windows.h>

#include <shlobj.h>

#include <new>
#include <string>
#include <vector>

namespace qw
{

// {51917337-5113-4EC2-9CB6-C6212D0EF3E9}
inline constexpr CLSID kShellvaneClassId = {
    0x51917337, 0x5113, 0x4EC2, {0x9C, 0xB6, 0xC6, 0x21, 0x2D, 0x0E, 0xF3, 0xE9}};

// Live class factories and handlers.
long LiveObjects();
// LockServer's count: a client keeps the library loaded without holding an
// object.
void LockModule(bool lock);
// Objects or locks: the library must not unload.
bool ModuleInUse();

// What the library reads once per process from the main program's settings.
struct ModuleSettings
{
    std::string appPath;
    std::string language;
    std::string moduleFolder; // where this library lies
};
const ModuleSettings& Settings();
void SetModuleHandle(HMODULE module);
HMODULE ModuleHandle();

class CClassFactory : public IClassFactory
{
public:
    CClassFactory();
    virtual ~CClassFactory();
    CClassFactory(const CClassFactory&) = delete;
    CClassFactory& operator=(const CClassFactory&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    STDMETHODIMP LockServer(BOOL lock) override;

private:
    LONG m_references = 1;
};

// One per menu request: Explorer initialises it with the selection, asks for
// the menu item and invokes it.
class CContextMenuHandler : public IContextMenu, public IShellExtInit
{
public:
    CContextMenuHandler();
    virtual ~CContextMenuHandler();
    CContextMenuHandler(const CContextMenuHandler&) = delete;
    CContextMenuHandler& operator=(const CContextMenuHandler&) = delete;

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY key) override;

    STDMETHODIMP QueryContextMenu(HMENU menu, UINT index, UINT firstId, UINT lastId,
                                  UINT flags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    STDMETHODIMP GetCommandString(UINT_PTR command, UINT type, UINT* reserved, CHAR* name,
                                  UINT size) override;

private:
    HRESULT ReadSelection(IDataObject* data);

    LONG m_references = 1;
    IDataObject* m_data = nullptr;
    std::vector<std::string> m_paths;
};

} // namespace qw
