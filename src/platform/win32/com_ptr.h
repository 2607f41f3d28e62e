#pragma once

#include <objbase.h>

#include <utility>

namespace qw
{

// Owns one reference to a COM object.
template <class T> class CComPtr
{
public:
    CComPtr() = default;
    explicit CComPtr(T* adopted) : m_p(adopted) {}
    CComPtr(const CComPtr& other) : m_p(other.m_p)
    {
        if (m_p)
            m_p->AddRef();
    }
    CComPtr(CComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    CComPtr& operator=(CComPtr other) noexcept
    {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~CComPtr()
    {
        if (m_p)
            m_p->Release();
    }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For out parameters: drops what is held and hands out the slot.
    T** Put()
    {
        *this = CComPtr();
        return &m_p;
    }
    void** PutVoid() { return reinterpret_cast<void**>(Put()); }
    T* Detach() { return std::exchange(m_p, nullptr); }

private:
    T* m_p = nullptr;
};

} // namespace qw
