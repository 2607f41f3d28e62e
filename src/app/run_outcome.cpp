#include "app/run_outcome.h"

#include "app/shred_app.h"
#include "lang/placeholders.h"
#include "platform/progress.h"

namespace qw
{
namespace
{

constexpr int kKeyCancelledRun = 9070;
constexpr int kKeyProgressCaption = 9900;
constexpr int kKeyItemsDone = 9119;

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

void CProgressTally::RunStarted(const RunStart& start)
{
    m_named = start.targets.size();
    m_done = 0;
    m_depth = 0;
}

void CProgressTally::ItemLeft(const LeftItem& left)
{
    // A name the run never reached as an item (not found, declined) is
    // done with too.
    if (m_depth == 0 && left.reason != LeftReason::None)
    {
        Count();
    }
}

void CProgressTally::ItemEnded()
{
    if (m_depth > 0 && --m_depth == 0)
    {
        Count();
    }
}

void CProgressTally::Count()
{
    ++m_done;
    IProgressWindow* progress = m_app.Progress();
    if (m_named < 2 || m_done > m_named || !progress)
    {
        return;
    }
    // "Shredding....." ends in dots that a count after it does not need.
    std::string caption = m_app.CaptionText(kKeyProgressCaption, "Shredding.....");
    caption.erase(caption.find_last_not_of('.') + 1);
    progress->SetCaption(caption + " - " +
                         Substitute(m_app.LanguageText(kKeyItemsDone),
                                    {{"%u", std::to_string(m_done)},
                                     {"%t", std::to_string(m_named)}}));
}

} // namespace qw
