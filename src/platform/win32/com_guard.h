#pragma once

#include <windows.h>

#include <new>

namespace qw
{

// No exception leaves a COM method or an exported entry point.
template <typename Body> HRESULT Guarded(Body&& body)
{
    try
    {
        return body();
    }
    catch (const std::bad_alloc&)
    {
        return E_OUTOFMEMORY;
    }
    catch (...)
    {
        return E_UNEXPECTED;
    }
}

} // namespace qw
