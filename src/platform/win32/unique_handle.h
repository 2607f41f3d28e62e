#pragma once

#include <windows.h>

namespace qw
{

// Owns a kernel handle. Invalid is INVALID_HANDLE_VALUE for files and null
// for most other objects; both count as empty.
class CUniqueHandle
{
public:
    CUniqueHandle() = default;
    explicit CUniqueHandle(HANDLE handle) : m_handle(handle) {}
    ~CUniqueHandle() { Reset(); }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_handle(other.Release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        if (this != &other)
        {
            Reset(other.Release());
        }
        return *this;
    }

    HANDLE Get() const { return m_handle; }
    bool Valid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Release()
    {
        HANDLE h = m_handle;
        m_handle = nullptr;
        return h;
    }
    void Reset(HANDLE handle = nullptr)
    {
        if (Valid())
        {
            CloseHandle(m_handle);
        }
        m_handle = handle;
    }

private:
    HANDLE m_handle = nullptr;
};

// Owns an open registry key.
class CUniqueKey
{
public:
    CUniqueKey() = default;
    ~CUniqueKey()
    {
        if (m_key)
        {
            RegCloseKey(m_key);
        }
    }
    CUniqueKey(const CUniqueKey&) = delete;
    CUniqueKey& operator=(const CUniqueKey&) = delete;
    HKEY Get() const { return m_key; }
    HKEY* Out() { return &m_key; }

private:
    HKEY m_key = nullptr;
};

} // namespace qw
