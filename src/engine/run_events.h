#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

namespace qw
{

// What a run did, as it happens, for whoever keeps account of it: the
// activity log, the exit code, and any later witness. Events arrive in
// order on the run's one thread; pass and rename events belong to the item
// started last.

enum class ItemKind
{
    File,
    Folder,
    FreeSpace, // of a drive
    RecycleBin,
};

// Why an item, or part of it, stays.
enum class LeftReason
{
    None,        // not a report: advice, or a question whose answer leaves nothing
    Declined,    // the person answered no (only ever after a question)
    NotFound,    // missing, or not a kind of entry that can be shredded here
    Protected,   // a system folder, a drive root given as a folder
    Changed,     // not what was listed or written any more
    CannotOpen,  // held open by another program, or no access
    WriteFailed, // a write, flush, truncation or close failed
    NotVerified, // what the disk holds is not what was written
    Grew,        // another program kept adding to it
    Stopped,     // the run was stopped during its overwrite
    NotRenamed,
    NotDeleted,
    NotRemoved, // a folder, link or the wipe's own file
    LinkKept,
    OtherNames, // content shared with names outside the run
    NotEmptied, // a Recycle Bin left full
    ContentsLeft, // a folder that stays for what stays inside it
    Unavailable, // the program could not do the work at all (window, memory, system)
    Other,
};

struct RunStart
{
    std::string taskName; // empty for a run started by a person
    bool unattended = false;
    int method = 0;
    int passes = 0;
    std::vector<std::string> targets; // as named
    bool verify = true;               // the last pass is read back
};

struct ItemStart
{
    std::string path; // the drive root for free space, "recycle" for the bin
    ItemKind kind = ItemKind::File;
};

// A round of the method finished over one file's data: the quick method's
// one pass, or a thorough round's three.
struct PassDone
{
    std::uint64_t bytes = 0; // written and flushed in each pass of the round
    int round = 1;           // 1 for the file's first round
};

struct LeftItem
{
    std::string path; // what stays; empty where the report names nothing
    LeftReason reason = LeftReason::Other;
    std::uint32_t code = 0; // the system's error code, 0 when none caused it
    std::string text;       // the report as the log takes it
    bool shown = false;     // a person saw the report
};

enum class RunEndKind
{
    Completed, // everything was tried; items may have been left
    Cancelled, // stopped or declined by the person
    Refused,   // did not start: nothing was touched
};

struct RunEnd
{
    RunEndKind kind = RunEndKind::Completed;
    std::string why; // a refusal's text
};

class IRunEvents
{
public:
    virtual ~IRunEvents() = default;
    virtual void RunStarted(const RunStart&) {}
    virtual void ItemStarted(const ItemStart&) {}
    virtual void PassFinished(const PassDone&) {}
    // The last pass read back: `matches` when the disk holds what was written.
    virtual void Verified(bool /*matches*/) {}
    virtual void Renamed(const std::string& /*from*/, const std::string& /*to*/) {}
    virtual void Deleted(const std::string& /*path*/) {}
    virtual void ItemLeft(const LeftItem&) {}
    // The item started last is done with: what was reported in between
    // belongs to it (items nest: the files of a folder, the bin's items).
    virtual void ItemEnded() {}
    virtual void RunEnded(const RunEnd&) {}
};

// Hands every event to each consumer in the order they were added.
class CRunEventFanOut : public IRunEvents
{
public:
    void Add(IRunEvents& consumer) { m_consumers.push_back(&consumer); }

    void RunStarted(const RunStart& start) override { Each(&IRunEvents::RunStarted, start); }
    void ItemStarted(const ItemStart& item) override { Each(&IRunEvents::ItemStarted, item); }
    void PassFinished(const PassDone& pass) override { Each(&IRunEvents::PassFinished, pass); }
    void Verified(bool matches) override { Each(&IRunEvents::Verified, matches); }
    void Renamed(const std::string& from, const std::string& to) override
    {
        for (IRunEvents* consumer : m_consumers)
        {
            consumer->Renamed(from, to);
        }
    }
    void Deleted(const std::string& path) override { Each(&IRunEvents::Deleted, path); }
    void ItemLeft(const LeftItem& left) override { Each(&IRunEvents::ItemLeft, left); }
    void ItemEnded() override
    {
        for (IRunEvents* consumer : m_consumers)
        {
            consumer->ItemEnded();
        }
    }
    void RunEnded(const RunEnd& end) override { Each(&IRunEvents::RunEnded, end); }

private:
    template <typename Event>
    void Each(void (IRunEvents::*handler)(Event), std::type_identity_t<Event> event)
    {
        for (IRunEvents* consumer : m_consumers)
        {
            (consumer->*handler)(event);
        }
    }

    std::vector<IRunEvents*> m_consumers;
};

// An item from its start to the end of the scope, however it is left.
class CItemScope
{
public:
    CItemScope(IRunEvents& events, ItemStart item) : m_events(events)
    {
        m_events.ItemStarted(item);
    }
    ~CItemScope() { m_events.ItemEnded(); }
    CItemScope(const CItemScope&) = delete;
    CItemScope& operator=(const CItemScope&) = delete;

private:
    IRunEvents& m_events;
};

} // namespace qw
