#pragma once

namespace qw::timeline
{

// With QW_TIMELINE=<file> in the environment, a run notes when its steps
// happened (milliseconds since its process was created) and how long its
// file-system calls took in all, and appends that to the file at its end.
// Without it every call here is a test of one flag.
enum class Call
{
    Open,
    OpenForWrite,
    Write,
    Flush,
    Truncate,
    Attributes,
    Streams,
    Rename,
    Delete,
    Close,
    List,
    Remove,
    Read,
    Count,
};

bool Enabled();
void Mark(const char* step);
// The first write of a run, once.
void FirstWrite();
void Write();

// Adds its lifetime to the total of its kind of call.
class CTimed
{
public:
    explicit CTimed(Call call);
    ~CTimed();
    CTimed(const CTimed&) = delete;
    CTimed& operator=(const CTimed&) = delete;

private:
    Call m_call;
    long long m_start = 0;
};

} // namespace qw::timeline
