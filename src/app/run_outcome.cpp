#include "app/run_outcome.h"

#include "app/shred_app.h"

namespace qw
{
namespace
{

constexpr int kKeyCancelledRun = 9070;

} // namespace

void CRunLog::ItemLeft(const LeftItem& left)
{
    if (!left.shown)
    {
        m_app.RecordStatus(left.text);
    }
}

void CRunLog::RunEnded(const RunEnd& end)
{
    if (!m_unattended)
    {
        return;
    }
    m_unattended = false;
    switch (end.kind)
    {
    case RunEndKind::Cancelled:
        // What was not reached is still there.
        m_app.RecordStatus(m_app.LanguageText(kKeyCancelledRun));
        break;
    case RunEndKind::Refused:
        m_app.RecordStatus(end.why);
        break;
    case RunEndKind::Completed:
        if (m_app.m_runStatus.empty())
        {
            m_app.RecordStatus("Success");
        }
        break;
    }
}

} // namespace qw
