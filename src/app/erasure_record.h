#pragma once

#include "engine/run_events.h"

#include <nlohmann/json_fwd.hpp>

#include <chrono>
#include <functional>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qw
{

class IFileSystem;
class INamedMutexes;
class ISha256;
class ISystemInfo;

// One item as the record keeps it.
struct RecordedItem
{
    std::string path; // "withheld" when names are not recorded
    std::optional<ItemKind> kind; // none: a name the run never reached
    bool inBin = false;           // a Recycle Bin item
    std::uint64_t bytes = 0;      // overwritten, each byte counted once
    int passes = 0;               // overwrite passes completed over it
    std::optional<bool> verified; // none: not read back
    bool shredded = false;
    LeftReason reason = LeftReason::None; // why it was left
    std::uint32_t code = 0;               // the system's code with it
};

// A run as the record wrote it, for the certificate made after it.
struct RecordedRun
{
    std::string id;
    std::string taskName; // empty: started by a person
    std::string version;
    std::string computer;
    std::string user;
    int method = 0;
    int rounds = 0; // of the method: the thorough one writes three passes a round
    int passes = 0; // overwrite passes over each file
    bool verify = true;
    bool namesWithheld = false;
    std::vector<std::string> targets;
    std::chrono::system_clock::time_point start;
    std::chrono::system_clock::time_point end;
    std::vector<RecordedItem> items;
    int shredded = 0;
    int left = 0;
    std::uint64_t bytes = 0;
    RunEndKind endKind = RunEndKind::Completed;
    int exitCode = 0;
    // The SHA-256 of the run's last line, as the next line will carry it;
    // empty when the record could not be written.
    std::string lastLineHash;
};

// "erasure.jsonl": one JSON line per run start, item and run end, appended
// under the log's kind of mutex; each line but a file's first carries the
// SHA-256 of the line before it in "prev", so that a removed or edited line
// shows.
class CErasureRecord : public IRunEvents
{
public:
    // `folder`: where the record lives, asked at each run; empty: no record.
    // No hasher: no record. `recordNames`: false writes "withheld" for every name.
    CErasureRecord(IFileSystem& files, INamedMutexes& mutexes, ISystemInfo& system, ISha256* sha,
                   std::function<std::string()> folder, std::function<bool()> recordNames);

    std::string Path() const;
    // The run ended last, complete once RunEnded has been heard.
    const RecordedRun& Run() const { return m_run; }

    void RunStarted(const RunStart& start) override;
    void ItemStarted(const ItemStart& item) override;
    void PassFinished(const PassDone& pass) override;
    void Verified(bool matches) override;
    void Renamed(const std::string& from, const std::string& to) override;
    void Deleted(const std::string& path) override;
    void ItemLeft(const LeftItem& left) override;
    void ItemEnded() override;
    void RunEnded(const RunEnd& end) override;

private:
    struct OpenItem
    {
        RecordedItem item;
        std::string original; // as started
        std::string current;  // after renames
        ItemKind kind = ItemKind::File;
        bool deleted = false;
        bool left = false;
        bool childLeft = false;
    };

    // Queues the line; a run's start and end, and items now and then, are
    // appended with the hash of the line before each.
    void Write(nlohmann::ordered_json& line);
    void Flush();
    void WriteItem(const RecordedItem& item);
    std::string Name(const std::string& path) const;

    IFileSystem& m_files;
    INamedMutexes& m_mutexes;
    ISystemInfo& m_system;
    ISha256* m_sha;
    std::function<std::string()> m_folder;
    std::function<bool()> m_recordNames;
    std::string m_path; // this run's record; empty: none
    RecordedRun m_run;
    std::vector<OpenItem> m_open;
    // The record's size after this run's last line, and that line's hash:
    // while the size holds, nobody appended since.
    std::optional<std::uint64_t> m_lastEnd;
    std::string m_lastHash;
    std::vector<std::string> m_pending; // lines not yet appended, without "prev"
    std::chrono::system_clock::time_point m_lastFlush;
};

// Text forms the record and the certificate share.
std::string KindName(const RecordedItem& item);
std::string ReasonName(LeftReason reason);
// "2026-12-10T13:45:00Z"
std::string IsoUtc(std::chrono::system_clock::time_point time);

} // namespace qw
