#pragma once

#include "engine/run_events.h"

namespace qw
{

class CShredApp;

// What the process tells its caller (a script, the Task Scheduler).
inline constexpr int kExitShredded = 0;   // every named item was shredded
inline constexpr int kExitItemsLeft = 1;  // something was left, skipped or failed
inline constexpr int kExitCancelled = 2;  // the person stopped or declined the run
inline constexpr int kExitNotStarted = 3; // the run could not start

// The exit code of the runs seen so far: the gravest outcome wins.
class CExitCodeTally : public IRunEvents
{
public:
    void ItemLeft(const LeftItem&) override { Raise(kExitItemsLeft); }
    void RunEnded(const RunEnd& end) override
    {
        Raise(end.kind == RunEndKind::Cancelled  ? kExitCancelled
              : end.kind == RunEndKind::Refused ? kExitNotStarted
                                                : kExitShredded);
    }
    int Code() const { return m_code; }

private:
    void Raise(int code) { m_code = code > m_code ? code : m_code; }

    int m_code = kExitShredded;
};

// The activity log's account of a run: a report nobody saw becomes the run
// status and an entry; an unattended run ends with "Success", its stop, or
// why it did not start.
class CRunLog : public IRunEvents
{
public:
    explicit CRunLog(CShredApp& app) : m_app(app) {}

    void RunStarted(const RunStart& start) override { m_unattended = start.unattended; }
    void ItemLeft(const LeftItem& left) override;
    void RunEnded(const RunEnd& end) override;

private:
    CShredApp& m_app;
    bool m_unattended = false;
};

// The progress window's caption counts the items a run was given as each
// is done with: "Shredding..... - 2 of 5 done".
class CProgressTally : public IRunEvents
{
public:
    explicit CProgressTally(CShredApp& app) : m_app(app) {}

    void RunStarted(const RunStart& start) override;
    void ItemStarted(const ItemStart&) override { ++m_depth; }
    void ItemLeft(const LeftItem& left) override;
    void ItemEnded() override;

private:
    void Count();

    CShredApp& m_app;
    std::size_t m_named = 0;
    std::size_t m_done = 0;
    int m_depth = 0;
};

} // namespace qw
