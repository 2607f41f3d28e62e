#include "app/erasure_record.h"

#include "app/activity_log.h"
#include "app/run_outcome.h"
#include "app/version.h"
#include "engine/shred_host.h"
#include "platform/file_system.h"
#include "platform/hasher.h"
#include "platform/named_mutex.h"
#include "platform/system_info.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

namespace qw
{
namespace
{

using Json = nlohmann::ordered_json;

constexpr const char* kWithheld = "withheld";
// The tail read to find the record's last line; a longer line (a run of
// very many targets) is searched for with a longer read.
constexpr std::size_t kTailBytes = 64 * 1024;
// Item lines wait for this many more, or this long, before they are
// appended together.
constexpr std::size_t kBatchLines = 256;
constexpr std::chrono::seconds kBatchTime{1};

std::string MethodName(int method)
{
    return method == 1 ? "thorough" : "quick";
}

std::string NewRunId(std::chrono::system_clock::time_point now)
{
    std::string id = IsoUtc(now);
    id.erase(std::remove_if(id.begin(), id.end(), [](char c) { return c == '-' || c == ':'; }),
             id.end());
    std::random_device device;
    char suffix[10];
    std::snprintf(suffix, sizeof suffix, "-%08x", static_cast<unsigned>(device()));
    return id + suffix;
}

// The bytes of the last line, without its line end; empty when the file is
// empty or missing.
std::string LastLine(IFileSystem& files, const std::string& path)
{
    for (std::size_t most = kTailBytes;; most *= 4)
    {
        std::optional<std::string> tail = files.ReadFileEnd(path, most);
        if (!tail)
        {
            return {};
        }
        const bool whole = tail->size() < most;
        while (!tail->empty() && tail->back() == '\n')
        {
            tail->pop_back();
        }
        const std::size_t newline = tail->rfind('\n');
        if (newline != std::string::npos)
        {
            return tail->substr(newline + 1);
        }
        if (whole)
        {
            return *tail;
        }
    }
}

Json VerifiedJson(const std::optional<bool>& verified)
{
    return verified ? Json(*verified) : Json(nullptr);
}

} // namespace

std::string IsoUtc(std::chrono::system_clock::time_point time)
{
    using namespace std::chrono;
    const auto seconds = floor<std::chrono::seconds>(time);
    const auto day = floor<days>(seconds);
    const year_month_day date{day};
    const hh_mm_ss clock{seconds - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                  static_cast<int>(clock.seconds().count()));
    return text;
}

std::string KindName(const RecordedItem& item)
{
    if (!item.kind)
    {
        return "unknown";
    }
    if (item.inBin)
    {
        return "recycle-bin-item";
    }
    switch (*item.kind)
    {
    case ItemKind::File:
        return "file";
    case ItemKind::Folder:
        return "folder";
    case ItemKind::FreeSpace:
        return "free-space";
    case ItemKind::RecycleBin:
        return "recycle-bin";
    }
    return "unknown";
}

std::string ReasonName(LeftReason reason)
{
    switch (reason)
    {
    case LeftReason::None:
        return "none";
    case LeftReason::Declined:
        return "declined";
    case LeftReason::NotFound:
        return "not-found";
    case LeftReason::Protected:
        return "protected";
    case LeftReason::Changed:
        return "changed";
    case LeftReason::CannotOpen:
        return "cannot-open";
    case LeftReason::WriteFailed:
        return "write-failed";
    case LeftReason::NotVerified:
        return "not-verified";
    case LeftReason::Grew:
        return "grew";
    case LeftReason::Stopped:
        return "stopped";
    case LeftReason::NotRenamed:
        return "not-renamed";
    case LeftReason::NotDeleted:
        return "not-deleted";
    case LeftReason::NotRemoved:
        return "not-removed";
    case LeftReason::LinkKept:
        return "link-kept";
    case LeftReason::OtherNames:
        return "other-names";
    case LeftReason::NotEmptied:
        return "not-emptied";
    case LeftReason::ContentsLeft:
        return "contents-left";
    case LeftReason::Unavailable:
        return "unavailable";
    case LeftReason::Other:
        return "other";
    }
    return "other";
}

CErasureRecord::CErasureRecord(IFileSystem& files, INamedMutexes& mutexes, ISystemInfo& system,
                               ISha256* sha, std::function<std::string()> folder,
                               std::function<bool()> recordNames)
    : m_files(files), m_mutexes(mutexes), m_system(system), m_sha(sha),
      m_folder(std::move(folder)), m_recordNames(std::move(recordNames))
{
}

std::string CErasureRecord::Path() const
{
    const std::string folder = m_folder ? m_folder() : std::string();
    return folder.empty() ? folder : folder + "\\erasure.jsonl";
}

std::string CErasureRecord::Name(const std::string& path) const
{
    return m_run.namesWithheld ? kWithheld : path;
}

void CErasureRecord::RunStarted(const RunStart& start)
{
    m_open.clear();
    m_run = RecordedRun{};
    m_run.start = m_system.Now();
    m_run.id = NewRunId(m_run.start);
    m_run.taskName = start.taskName;
    m_run.version = std::string(kVersion);
    m_run.computer = m_system.ComputerName();
    m_run.user = m_system.UserName();
    m_run.method = start.method;
    m_run.rounds = start.method == 1 ? start.passes : 1;
    m_run.passes = m_run.rounds * PassesPerRound(m_run.method);
    m_run.verify = start.verify;
    m_run.namesWithheld = m_recordNames && !m_recordNames();
    for (const std::string& target : start.targets)
    {
        m_run.targets.push_back(Name(target));
    }
    m_path = Path();
    if (!m_path.empty())
    {
        OsError ignored; // there already, or the append fails and says so
        m_files.CreateFolder(m_path.substr(0, m_path.rfind('\\')), ignored);
    }
    Json line;
    line["type"] = "run-start";
    line["run"] = m_run.id;
    line["task"] = m_run.taskName.empty() ? Json(nullptr) : Json(m_run.taskName);
    line["version"] = m_run.version;
    line["computer"] = m_run.computer;
    line["user"] = m_run.user;
    line["method"] = MethodName(m_run.method);
    line["rounds"] = m_run.rounds;
    line["passes"] = m_run.passes;
    line["verify"] = m_run.verify;
    line["names"] = m_run.namesWithheld ? "withheld" : "recorded";
    line["targets"] = m_run.targets;
    line["start"] = IsoUtc(m_run.start);
    Write(line);
}

void CErasureRecord::ItemStarted(const ItemStart& item)
{
    OpenItem open;
    open.kind = item.kind;
    open.original = open.current = item.path;
    open.item.kind = item.kind;
    open.item.inBin =
        item.kind != ItemKind::RecycleBin &&
        std::any_of(m_open.begin(), m_open.end(),
                    [](const OpenItem& outer) { return outer.kind == ItemKind::RecycleBin; });
    open.item.path = item.kind == ItemKind::RecycleBin ? "Recycle Bin" : Name(item.path);
    m_open.push_back(std::move(open));
}

void CErasureRecord::PassFinished(const PassDone& pass)
{
    if (m_open.empty())
    {
        return;
    }
    RecordedItem& item = m_open.back().item;
    // Every round covers the same bytes; a free-space wipe's fillers each
    // start at round 1.
    if (pass.round == 1)
    {
        item.bytes += pass.bytes;
    }
    item.passes = std::max(item.passes, pass.round * PassesPerRound(m_run.method));
}

void CErasureRecord::Verified(bool matches)
{
    if (!m_open.empty())
    {
        std::optional<bool>& verified = m_open.back().item.verified;
        verified = verified.value_or(true) && matches;
    }
}

void CErasureRecord::Renamed(const std::string& from, const std::string& to)
{
    if (!m_open.empty() && m_open.back().current == from)
    {
        m_open.back().current = to;
    }
}

void CErasureRecord::Deleted(const std::string& path)
{
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it)
    {
        if (it->current == path)
        {
            it->deleted = true;
            return;
        }
    }
}

void CErasureRecord::ItemLeft(const LeftItem& left)
{
    if (left.reason == LeftReason::None)
    {
        return;
    }
    if (!m_open.empty())
    {
        OpenItem& open = m_open.back();
        // A wipe's own files are no items of their own, and the bin's
        // folders are the bin: what they meet is the wipe's or the bin's.
        const bool own = left.path.empty() || left.path == open.original ||
                         left.path == open.current || open.kind == ItemKind::FreeSpace ||
                         open.kind == ItemKind::RecycleBin;
        if (own)
        {
            if (!open.left)
            {
                open.item.reason = left.reason;
                open.item.code = left.code;
            }
            open.left = true;
            return;
        }
        open.childLeft = true;
    }
    // A name never reached as an item: a target not found, a part of a
    // folder it could not enter.
    RecordedItem item;
    item.path = Name(left.path);
    item.reason = left.reason;
    item.code = left.code;
    WriteItem(item);
}

void CErasureRecord::ItemEnded()
{
    if (m_open.empty())
    {
        return;
    }
    OpenItem open = std::move(m_open.back());
    m_open.pop_back();
    RecordedItem& item = open.item;
    // The bin's items go when the system empties the bin, after them.
    const bool done = open.item.inBin || open.deleted ||
                      open.kind == ItemKind::FreeSpace || open.kind == ItemKind::RecycleBin;
    item.shredded = done && !open.left && !open.childLeft;
    if (!item.shredded && item.reason == LeftReason::None)
    {
        item.reason = open.childLeft || open.kind == ItemKind::Folder ? LeftReason::ContentsLeft
                                                                      : LeftReason::Stopped;
    }
    if (m_open.empty())
    {
        m_run.bytes += item.bytes;
        WriteItem(item);
        return;
    }
    OpenItem& outer = m_open.back();
    outer.childLeft = outer.childLeft || !item.shredded;
    outer.item.bytes += item.bytes;
    outer.item.passes = std::max(outer.item.passes, item.passes);
    if (item.verified)
    {
        outer.item.verified = outer.item.verified.value_or(true) && *item.verified;
    }
    // The fillers of a free-space wipe are its own files, not the user's.
    const bool inWipe =
        std::any_of(m_open.begin(), m_open.end(),
                    [](const OpenItem& o) { return o.kind == ItemKind::FreeSpace; });
    if (!inWipe)
    {
        WriteItem(item);
    }
}

void CErasureRecord::RunEnded(const RunEnd& end)
{
    // Items still open were cut short by the end itself.
    while (!m_open.empty())
    {
        ItemEnded();
    }
    m_run.end = m_system.Now();
    m_run.endKind = end.kind;
    m_run.exitCode = end.kind == RunEndKind::Refused     ? kExitNotStarted
                     : end.kind == RunEndKind::Cancelled ? kExitCancelled
                     : m_run.left > 0                    ? kExitItemsLeft
                                                         : kExitShredded;
    Json line;
    line["type"] = "run-end";
    line["run"] = m_run.id;
    line["outcome"] = end.kind == RunEndKind::Refused     ? "not-started"
                      : end.kind == RunEndKind::Cancelled ? "cancelled"
                                                          : "completed";
    line["shredded"] = m_run.shredded;
    line["left"] = m_run.left;
    line["bytes"] = m_run.bytes;
    line["exit"] = m_run.exitCode;
    line["start"] = IsoUtc(m_run.start);
    line["end"] = IsoUtc(m_run.end);
    Write(line);
}

void CErasureRecord::WriteItem(const RecordedItem& item)
{
    m_run.items.push_back(item);
    (item.shredded ? m_run.shredded : m_run.left) += 1;
    Json line;
    line["type"] = "item";
    line["run"] = m_run.id;
    line["path"] = item.path;
    line["kind"] = KindName(item);
    line["bytes"] = item.bytes;
    line["passes"] = item.passes;
    line["verified"] = VerifiedJson(item.verified);
    line["outcome"] = item.shredded ? "shredded" : "left";
    if (!item.shredded)
    {
        line["reason"] = ReasonName(item.reason);
        line["code"] = item.code;
    }
    Write(line);
}

void CErasureRecord::Write(Json& line)
{
    if (m_path.empty() || !m_sha)
    {
        m_run.lastLineHash.clear();
        return;
    }
    // Names that are no valid UTF-16 still make a valid line.
    m_pending.push_back(line.dump(-1, ' ', false, Json::error_handler_t::replace));
    // A run's start and end go out at once; its items in batches: an append
    // per item would cost a folder of small files half its time again.
    const auto now = m_system.Now();
    if (line["type"] != "item" || m_pending.size() >= kBatchLines ||
        now - m_lastFlush >= kBatchTime)
    {
        Flush();
        m_lastFlush = now;
    }
}

void CErasureRecord::Flush()
{
    if (m_pending.empty())
    {
        return;
    }
    std::unique_ptr<IHeldMutex> held =
        m_mutexes.Hold(FileMutexName(m_files, m_path), CActivityLog::kWaitLimit);
    // While the record ends where this run left it, the hash of its last
    // line is known; otherwise another run wrote since.
    std::string prev = m_lastHash;
    if (!held || !m_lastEnd || m_files.FileSize(m_path) != m_lastEnd)
    {
        const std::string last = LastLine(m_files, m_path);
        prev = last.empty() ? std::string() : m_sha->Hex(last);
    }
    std::string batch;
    for (std::string& line : m_pending)
    {
        if (!prev.empty())
        {
            // The object's closing brace gives way to the field; a digest
            // needs no escaping.
            line.pop_back();
            line += ",\"prev\":\"" + prev + "\"}";
        }
        prev = m_sha->Hex(line);
        batch += line;
        batch += '\n';
    }
    m_pending.clear();
    if (!m_files.AppendToFile(m_path, batch))
    {
        m_lastEnd.reset();
        m_lastHash.clear();
        m_run.lastLineHash.clear();
        return;
    }
    m_lastHash = prev;
    m_lastEnd = held ? m_files.FileSize(m_path) : std::nullopt;
    m_run.lastLineHash = m_lastHash;
}

} // namespace qw
