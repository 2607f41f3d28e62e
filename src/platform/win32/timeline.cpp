#include "platform/win32/timeline.h"

#include "platform/win32/wide.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace qw::timeline
{
namespace
{

constexpr const char* kCallNames[] = {
    "open",    "open for writing", "write",  "flush", "truncate", "attributes",
    "streams", "rename",           "delete", "close", "list",     "remove", "read"};
static_assert(std::size(kCallNames) == static_cast<std::size_t>(Call::Count));

struct State
{
    bool enabled = false;
    std::wstring file;
    std::string text;
    bool wrote = false;
    long long frequency = 1;
    long long origin = 0;
    double originMs = 0;
    long long totals[static_cast<int>(Call::Count)] = {};
    long long counts[static_cast<int>(Call::Count)] = {};
};

State& TheState()
{
    static State state = []
    {
        State s;
        wchar_t path[MAX_PATH];
        DWORD length = GetEnvironmentVariableW(L"QW_TIMELINE", path, MAX_PATH);
        s.enabled = length > 0 && length < MAX_PATH;
        if (s.enabled)
        {
            s.file.assign(path, length);
            LARGE_INTEGER frequency;
            QueryPerformanceFrequency(&frequency);
            s.frequency = frequency.QuadPart;
        }
        return s;
    }();
    return state;
}

long long Now()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}

} // namespace

bool Enabled()
{
    return TheState().enabled;
}

void Mark(const char* step)
{
    State& state = TheState();
    if (!state.enabled)
    {
        return;
    }
    // The first mark is placed against the process's creation (system time,
    // 100 ns units); later ones count on from it by the finer counter.
    if (state.origin == 0)
    {
        FILETIME created;
        FILETIME unused;
        FILETIME now;
        GetProcessTimes(GetCurrentProcess(), &created, &unused, &unused, &unused);
        GetSystemTimeAsFileTime(&now);
        auto ticks = [](const FILETIME& t)
        { return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
        state.origin = Now();
        state.originMs = static_cast<double>(ticks(now) - ticks(created)) / 1e4;
    }
    const double ms =
        state.originMs + static_cast<double>(Now() - state.origin) * 1e3 / state.frequency;
    char line[160];
    std::snprintf(line, sizeof line, "%9.3f ms  %s\n", ms, step);
    state.text += line;
}

void FirstWrite()
{
    State& state = TheState();
    if (state.enabled && !state.wrote)
    {
        state.wrote = true;
        Mark("first write");
    }
}

void Write()
{
    State& state = TheState();
    if (!state.enabled)
    {
        return;
    }
    Mark("end");
    for (int i = 0; i < static_cast<int>(Call::Count); ++i)
    {
        if (state.counts[i] == 0)
        {
            continue;
        }
        char line[160];
        const double ms = static_cast<double>(state.totals[i]) * 1e3 / state.frequency;
        std::snprintf(line, sizeof line, "%-17s %7lld calls %10.3f ms  %8.1f us each\n",
                      kCallNames[i], state.counts[i], ms, ms * 1e3 / state.counts[i]);
        state.text += line;
    }
    HANDLE file = CreateFileW(state.file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
    {
        DWORD wrote = 0;
        WriteFile(file, state.text.data(), static_cast<DWORD>(state.text.size()), &wrote, nullptr);
        CloseHandle(file);
    }
    state.text.clear();
}

CTimed::CTimed(Call call) : m_call(call)
{
    if (TheState().enabled)
    {
        m_start = Now();
    }
}

CTimed::~CTimed()
{
    State& state = TheState();
    if (state.enabled)
    {
        state.totals[static_cast<int>(m_call)] += Now() - m_start;
        ++state.counts[static_cast<int>(m_call)];
    }
}

} // namespace qw::timeline
