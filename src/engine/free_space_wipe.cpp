#include "engine/free_space_wipe.h"

#include "engine/file_shredder.h"
#include "engine/last_pass.h"
#include "engine/paths.h"
#include "engine/pattern.h"
#include "engine/shred_host.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"
#include "platform/progress.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <new>
#include <vector>

namespace qw
{
namespace
{

constexpr int kKeyNoMemory = 9006;
constexpr int kKeyNoTempFolder = 9012;
constexpr int kKeyNoTempFile = 9013;
constexpr int kKeyXpAdvice = 9026;
constexpr int kKeyConsent = 9027;
constexpr int kKeyQuota = 9033;
constexpr int kKeyNoSpaceForUser = 9045;
constexpr int kKeyDriveFull = 9046;
constexpr int kKeyWriteFailed = 9047;
constexpr int kKeyNotRemoved = 9094;
constexpr int kKeyForeignLeftover = 9095;
constexpr int kKeyPreparing = 9908;
constexpr int kKeyFilling = 9909;
constexpr int kKeyWait = 9910;
constexpr int kKeyFileLine = 9914;
constexpr int kKeyQuickName = 9915;
constexpr int kKeyThoroughName = 9916;
constexpr int kKeyCaption = 9917;
constexpr int kKeyRecords = 9920;
// The bar runs round while records are filled: their number is unknown.
constexpr std::uint64_t kRecordBarSteps = 100;
// Names per folder of the record tree: ntfs-3g 2022 refuses a third name
// in a folder once no cluster is free (the index must leave the folder's
// own record then), so every folder holds two.
constexpr int kNamesPerFolder = 2;
// Deeper than any record tree a wipe makes (two levels per doubling).
constexpr int kMaxRecordDepth = 128;
// ntfs-3g 2022 hands out the last free file records only with a free
// cluster at hand: the last filler gives one back (on 4 KiB clusters; its
// content is overwrite data already). Measured: without it the record of a
// deleted 600-byte file survived, with it the free space ends as it began.
constexpr std::uint64_t kFileTableRoom = 4096;
constexpr std::string_view kTempFolder = "SHREDTMP.$$$";
// A scanner or indexer opens each new file as soon as it is closed and holds
// it a moment: its delete fails meanwhile. The whole rest is retried
// together, so the wait does not grow with the number of files.
constexpr int kRemoveRounds = 20;
constexpr std::chrono::milliseconds kRemoveRetryWait{250};
// Names tried for the wipe's folder when the first one is taken.
constexpr int kTempFolderNames = 100;

std::string Report(IShredHost& host, MessageSize size, int frame, std::string text,
                   Unattended whenUnattended = Unattended::Log,
                   LeftReason reason = LeftReason::Unavailable, std::uint32_t code = 0)
{
    return host.Tell(
        EngineMessage{size, frame, "info", std::move(text), {}, whenUnattended}.Because(reason,
                                                                                        code));
}

std::string Hex8(std::uint32_t code)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", code);
    return buffer;
}

// Shown in every run: a wipe that cannot make its files did not wipe, and
// the user should know even of a scheduled one, whose log also gets it.
void ReportNoTempFile(IShredHost& host)
{
    // The log's copy is the report; the window alone only tells the person.
    Report(host, MessageSize::Small, 1, host.Text(kKeyNoTempFile), Unattended::Show,
           host.Options().unattended ? LeftReason::None : LeftReason::Unavailable);
    if (host.Options().unattended)
    {
        Report(host, MessageSize::Small, 1, host.Text(kKeyNoTempFile));
    }
}

// The 9047 report: the system's description with the code.
void ReportFillerWriteFailure(IShredHost& host, const OsError& error)
{
    Report(host, MessageSize::Small, 1,
           Substitute(host.Text(kKeyWriteFailed),
                      {{"%s", ErrorDescription(host, error.code) + " (" + Hex8(error.code) + ")"}}),
           Unattended::Log, LeftReason::WriteFailed, error.code);
}

// Gives back the end of the last filler that holds data.
bool MakeRoomForTheFileTable(IShredHost& host, std::vector<TempFileRecord>& records)
{
    for (auto it = records.rbegin(); it != records.rend(); ++it)
    {
        if (!it->file || it->size == 0)
        {
            continue;
        }
        std::uint64_t keep = it->size > kFileTableRoom ? it->size - kFileTableRoom : 0;
        OsError error;
        if (!it->file->Truncate(keep, error))
        {
            ReportFillerWriteFailure(host, error);
            return false;
        }
        it->size = keep;
        return true;
    }
    return true;
}

struct OwnEntry
{
    std::string path;
    bool folder = false;
};

// Removes the wipe's own files and folders in the order given, retrying those
// that are held for a few seconds. What still cannot go is named: it keeps
// its space, and the run must not end in "Success".
bool RemoveOwnEntries(IShredHost& host, std::vector<OwnEntry> entries)
{
    IFileSystem& files = host.Files();
    for (int round = 0; !entries.empty(); ++round)
    {
        if (round > 0)
        {
            host.Wait(kRemoveRetryWait);
        }
        std::vector<OwnEntry> held;
        for (OwnEntry& entry : entries)
        {
            OsError error;
            bool removed = entry.folder ? files.RemoveFolder(entry.path, error)
                                        : files.RemoveFile(entry.path, error);
            if (!removed && error.kind != ErrorKind::NotFound)
            {
                held.push_back(std::move(entry));
            }
            host.Pump();
        }
        entries = std::move(held);
        if (round + 1 == kRemoveRounds)
        {
            break;
        }
    }
    for (const OwnEntry& entry : entries)
    {
        host.Tell(
            EngineMessage::Naming(MessageSize::Middle, host.Text(kKeyNotRemoved), entry.path)
                .Because(LeftReason::NotRemoved));
    }
    return entries.empty();
}

// "SHREDnnn.TMP": a name the wipe gives its fillers.
bool IsFillerName(const std::string& name)
{
    if (name.size() < 12 || !name.starts_with("SHRED") || !name.ends_with(".TMP"))
    {
        return false;
    }
    for (std::size_t i = 5; i + 4 < name.size(); ++i)
    {
        if (name[i] < '0' || name[i] > '9')
        {
            return false;
        }
    }
    return true;
}

// "d12", "f3": a folder or file of the record tree.
bool IsRecordName(const std::string& name, char kind)
{
    return name.size() > 1 && name[0] == kind &&
           name.find_first_not_of("0123456789", 1) == std::string::npos;
}

// Adds the entries of a folder of the wipe's to `own`, deepest first, when
// each is one it makes: fillers at the top, the record tree below it
// (folders "dN", files "fN"). False at anything else, or at a link.
bool CollectOwn(IFileSystem& files, IEntry& folder, const std::string& path, int depth,
                std::vector<OwnEntry>& own)
{
    std::vector<FolderEntry> entries;
    OsError error;
    if (depth > kMaxRecordDepth || !files.List(folder, entries, error))
    {
        return false;
    }
    for (const FolderEntry& entry : entries)
    {
        const bool top = depth == 0;
        const bool asFolder = top ? entry.name == kRecordFolder : IsRecordName(entry.name, 'd');
        const bool asFile = top ? IsFillerName(entry.name) : IsRecordName(entry.name, 'f');
        std::unique_ptr<IEntry> opened =
            asFolder || asFile ? files.OpenIn(folder, entry.name, error) : nullptr;
        if (!opened || opened->Status().isLink || opened->Status().isFolder != asFolder)
        {
            return false;
        }
        const std::string child = JoinPath(path, entry.name);
        if (asFolder)
        {
            if (!CollectOwn(files, *opened, child, depth + 1, own))
            {
                return false;
            }
            opened.reset();
            own.push_back({child, true});
            continue;
        }
        if (opened->Status().linkCount != 1 || (top && opened->Status().size % kSmallestChunk != 0))
        {
            return false;
        }
        own.push_back({child, false});
    }
    return true;
}

// A folder of the wipe's name left by a run that was stopped (killed, or the
// power lost) keeps its fillers, and the drive stays full. Only a plain
// folder holding plain files of the fillers' names and sizes (written in
// steps of 512 bytes), each with no other name, and the record tree of an
// NTFS drive, is taken for the wipe's own. Its files are deleted, never
// opened for writing: wine 8.0 shows a link to a file as a plain file, and
// deleting removes the link, not what it leads to. The fill that follows
// overwrites the space they gave back. Anything else there is named and
// left as it is. False when something stays.
bool ClearLeftover(IShredHost& host, const std::string& path)
{
    IFileSystem& files = host.Files();
    OsError error;
    std::unique_ptr<IEntry> folder = files.Open(path, error);
    if (!folder && error.kind == ErrorKind::NotFound)
    {
        return true;
    }
    std::vector<OwnEntry> own;
    if (!folder || !folder->Status().isFolder || folder->Status().isLink ||
        !CollectOwn(files, *folder, path, 0, own))
    {
        host.Tell(EngineMessage::Naming(MessageSize::Middle, host.Text(kKeyForeignLeftover), path));
        return false;
    }
    folder.reset();
    own.push_back({path, true});
    return RemoveOwnEntries(host, std::move(own));
}

} // namespace

std::uint64_t TempFileCount(std::uint64_t available)
{
    return available / kTempFileLimit + 1;
}

std::string TempFolderName(int attempt)
{
    if (attempt == 0)
    {
        return std::string(kTempFolder);
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "SHREDTMP.$%02d", attempt % 100);
    return buffer;
}

std::string TempFileName(std::uint64_t index)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "SHRED%03llu.TMP", static_cast<unsigned long long>(index));
    return buffer;
}

namespace
{

enum class RecordStep
{
    Made,
    Refused, // the volume is full: no record, or no room for the data
    Failed,  // reported
    Cancelled,
};

// One record file: created, written by the method, flushed and closed.
RecordStep MakeRecordFile(IShredHost& host, const std::string& path, std::uint64_t number,
                          std::vector<RecordEntry>& made)
{
    IFileSystem& files = host.Files();
    OsError error;
    std::unique_ptr<IOpenFile> file = files.CreateNewForWriting(path, error);
    if (!file && error.kind == ErrorKind::DiskFull)
    {
        return RecordStep::Refused;
    }
    if (!file)
    {
        ReportNoTempFile(host);
        return RecordStep::Failed;
    }
    made.push_back({path, false});
    const std::string line = Substitute(host.Text(kKeyRecords), {{"%u", std::to_string(number)}});
    // The buffer holds zeroes from the fill: the quick method's data. A
    // write the volume refuses means the data would no longer fit a record.
    if (!file->WriteAt(0, host.Buffer().data(), kResidentBytes, error))
    {
        OsError ignored;
        file->Close(ignored);
        if (error.kind == ErrorKind::DiskFull)
        {
            return RecordStep::Refused;
        }
        ReportFillerWriteFailure(host, error);
        return RecordStep::Failed;
    }
    int stop = 0;
    if (host.Options().method == 1)
    {
        FreeSpaceRecord record{file.get(), NameOf(path), kResidentBytes};
        stop = OverwriteFreeSpaceFile(host, path, record, line);
        FillPattern(host.Buffer().data(), host.Buffer().size(), 0, host.Random());
    }
    else if (IProgressWindow* progress = host.Progress())
    {
        progress->SetLine(1, line);
    }
    if (stop == 0 && host.Options().method != 1 && host.Options().verify)
    {
        if (!file->Flush(error))
        {
            ReportFillerWriteFailure(host, error);
            OsError ignored;
            file->Close(ignored);
            return RecordStep::Failed;
        }
        CLastPass zeroes;
        zeroes.Add(0, kResidentBytes, nullptr);
        stop = VerifyFreeSpaceFile(host, path, *file, zeroes);
    }
    if (stop != 0)
    {
        OsError ignored;
        file->Close(ignored);
        return host.Cancelled() ? RecordStep::Cancelled : RecordStep::Failed;
    }
    // Flushed so that the record reaches the disk before its deletion.
    if (!file->Flush(error) || !file->Close(error))
    {
        ReportFillerWriteFailure(host, error);
        return RecordStep::Failed;
    }
    return RecordStep::Made;
}

} // namespace

RecordFillResult FillFreeRecords(IShredHost& host, const std::string& root,
                                 std::vector<RecordEntry>& made)
{
    IFileSystem& files = host.Files();
    // Breadth first, every other level of folders holding two folders and
    // the levels between a folder and a file: the tree stays shallow
    // however many records there are.
    std::deque<std::pair<std::string, int>> folders{{root, 0}};
    std::uint64_t number = 0;
    while (!folders.empty())
    {
        const auto [folder, depth] = folders.front();
        folders.pop_front();
        for (int i = 0; i < kNamesPerFolder; ++i)
        {
            const bool isFolder = depth % 2 == 0 || i == 0;
            const std::string path = folder + "\\" + (isFolder ? "d" : "f") + std::to_string(i);
            ++number;
            RecordStep step = RecordStep::Made;
            if (isFolder)
            {
                OsError error;
                // The tree lies in the wipe's own new folder: a name that is
                // taken there was put there by someone else, and is left alone.
                if (!files.CreateFolder(path, error))
                {
                    step = error.kind == ErrorKind::DiskFull ? RecordStep::Refused
                                                             : RecordStep::Failed;
                    if (step == RecordStep::Failed)
                    {
                        ReportNoTempFile(host);
                    }
                }
                else
                {
                    made.push_back({path, true});
                    folders.push_back({path, depth + 1});
                }
            }
            else
            {
                step = MakeRecordFile(host, path, number, made);
            }
            switch (step)
            {
            case RecordStep::Made:
                break;
            case RecordStep::Refused:
                return RecordFillResult::Full;
            case RecordStep::Failed:
                return RecordFillResult::Failed;
            case RecordStep::Cancelled:
                return RecordFillResult::Cancelled;
            }
            if (IProgressWindow* progress = host.Progress())
            {
                progress->SetRange(0, kRecordBarSteps);
                progress->SetPosition(number % (kRecordBarSteps + 1));
            }
            host.Pump();
            if (host.Cancelled())
            {
                return RecordFillResult::Cancelled;
            }
        }
    }
    return RecordFillResult::Full;
}

FillResult FillTempFile(IShredHost& host, TempFileRecord& record)
{
    std::uint64_t chunk = kBlockSize;
    IProgressWindow* progress = host.Progress();
    if (progress)
    {
        progress->SetRange(0, kTempFileLimit / kBlockSize);
        progress->SetPosition(0);
    }
    std::uint64_t chunks = 0;
    const std::uint8_t* buffer = host.Buffer().data();
    while (true)
    {
        OsError error;
        if (record.file->WriteAt(record.size, buffer, static_cast<std::size_t>(chunk), error))
        {
            ++chunks;
            record.size += chunk;
            if (progress)
            {
                progress->SetPosition(chunks);
            }
            if (record.size >= kTempFileLimit)
            {
                return FillResult::FileFull;
            }
            host.Pump();
            if (host.Cancelled())
            {
                return FillResult::Cancelled;
            }
            continue;
        }
        if (chunk > kSmallestChunk)
        {
            chunk /= 2;
            continue;
        }
        if (error.kind == ErrorKind::DiskFull)
        {
            return FillResult::DriveFull;
        }
        // The code travels with the description so the log keeps it too.
        ReportFillerWriteFailure(host, error);
        return FillResult::WriteError;
    }
}

void WipeFreeSpace(IShredHost& host, const std::string& root)
{
    IFileSystem& files = host.Files();
    const ShredOptions& options = host.Options();
    const std::string drive = root.substr(0, 2);

    if (options.xpOrMe && !options.unattended)
    {
        host.Tell(EngineMessage{MessageSize::Middle, 1, "info", host.MessageText(kKeyXpAdvice)}
                      .Because(LeftReason::None));
    }
    if (!options.unattended &&
        host.Tell(EngineMessage{MessageSize::Big, 2, "warning", host.MessageText(kKeyConsent)}
                      .Because(LeftReason::Declined)) != kAnswerOk)
    {
        return;
    }
    const CItemScope item(host.Events(), {root, ItemKind::FreeSpace});

    const int method = options.method;
    host.SetCancelled(false);

    // The wipe writes only into a folder it has just made: one of that name
    // that was not cleared above (perhaps a link to another folder, its
    // files links to a system file) is never entered, and the next name is
    // tried.
    OsError error;
    for (int i = 0; i < kTempFolderNames; ++i)
    {
        if (!ClearLeftover(host, root + TempFolderName(i)) && host.Cancelled())
        {
            host.DestroyProgressWindow();
            return;
        }
    }
    std::string folder;
    for (int i = 0; i < kTempFolderNames && folder.empty(); ++i)
    {
        const std::string path = root + TempFolderName(i);
        if (files.CreateFolder(path, error))
        {
            folder = path;
        }
        else if (error.kind != ErrorKind::AlreadyExists)
        {
            break;
        }
    }
    if (folder.empty())
    {
        Report(host, MessageSize::Small, 1, host.Text(kKeyNoTempFolder));
        return;
    }
    // Held open while the wipe runs, once it is seen to be a folder and no
    // link: it can be neither renamed nor replaced meanwhile.
    std::unique_ptr<IEntry> folderEntry = files.Open(folder, error);
    if (!folderEntry || !folderEntry->Status().isFolder || folderEntry->Status().isLink)
    {
        Report(host, MessageSize::Small, 1, host.Text(kKeyNoTempFolder));
        return;
    }
    // NTFS keeps small files inside their file records: those of deleted
    // files are taken by record files after the fill. Their tree starts in a
    // folder made now, while the wipe's folder has room for its name.
    std::vector<RecordEntry> recordEntries;
    std::string recordRoot;
    const int driveIndex = (root[0] & ~0x20) - 'A';
    if (driveIndex >= 0 && driveIndex < kEngineDriveLetters && options.ntfs[driveIndex])
    {
        std::string path = folder + "\\" + std::string(kRecordFolder);
        if (files.CreateFolder(path, error))
        {
            recordRoot = path;
            recordEntries.push_back({path, true});
        }
    }
    auto removeFolder = [&host, &folder, &folderEntry, &recordEntries]
    {
        std::vector<OwnEntry> own;
        for (auto it = recordEntries.rbegin(); it != recordEntries.rend(); ++it)
        {
            own.push_back({it->path, it->folder});
        }
        recordEntries.clear();
        folderEntry.reset();
        own.push_back({folder, true});
        RemoveOwnEntries(host, std::move(own));
    };

    std::optional<FreeSpaceInfo> space = files.QueryFreeSpace(root, options.legacyFreeSpace, error);
    FreeSpaceInfo free = space.value_or(FreeSpaceInfo{});
    if (free.available == 0)
    {
        int key = free.totalFree == 0 ? kKeyDriveFull : kKeyNoSpaceForUser;
        Report(host, MessageSize::Small, 1, Substitute(host.Text(key), {{"%c", drive}}));
        removeFolder();
        return;
    }
    if (free.available != free.totalFree)
    {
        std::string answer = Report(host, MessageSize::Middle, 3, host.Text(kKeyQuota),
                                    Unattended::Log, LeftReason::Other);
        if (!options.unattended && answer != kAnswerYes)
        {
            removeFolder();
            return;
        }
    }

    // A drive may report any free space (a remote one, absurd amounts): the
    // records grow with the files really made, so no count is ever narrowed
    // to the size of an array.
    const std::uint64_t fileCount = TempFileCount(free.available);
    std::vector<TempFileRecord> records;

    if (!host.CreateProgressWindow())
    {
        removeFolder();
        return;
    }
    IProgressWindow& progress = *host.Progress();
    progress.SetCaption(host.Text(kKeyCaption) + " " + drive);
    progress.SetLine(1, host.Text(kKeyPreparing));
    progress.SetLine(2, host.Text(kKeyFilling));
    progress.SetLine(3, host.Text(kKeyWait));
    progress.SetRange(0, fileCount);
    progress.SetPosition(0);
    progress.Show();
    progress.Enable();
    progress.Repaint();

    FillPattern(host.Buffer().data(), host.Buffer().size(), 0, host.Random());
    const std::string methodName = host.Text(method == 0 ? kKeyQuickName : kKeyThoroughName);
    std::uint64_t made = 0;
    bool completed = true;
    bool driveFull = false;
    for (std::uint64_t i = 0; i < fileCount; ++i)
    {
        try
        {
            records.emplace_back();
        }
        catch (const std::bad_alloc&)
        {
            Report(host, MessageSize::Small, 1, host.Text(kKeyNoMemory));
            completed = false;
            break;
        }
        TempFileRecord& record = records.back();
        record.path = folder + "\\" + TempFileName(i);
        record.file = files.CreateNewForWriting(record.path, error);
        if (!record.file && driveFull && error.kind == ErrorKind::DiskFull)
        {
            // Full to the last record: the space is all written.
            records.pop_back();
            break;
        }
        if (!record.file)
        {
            ReportNoTempFile(host);
            completed = false;
            break;
        }
        ++made;
        progress.SetLine(1,
                         Substitute(host.Text(kKeyFileLine), {{"%s", methodName},
                                                              {"%u", std::to_string(made)},
                                                              {"%t", std::to_string(fileCount)}}));
        FillResult result = FillTempFile(host, record);
        driveFull = driveFull || result == FillResult::DriveFull;
        // Written through to the disk before the file is closed and deleted:
        // a deleted file's cached pages may never be written at all.
        if (result != FillResult::WriteError &&
            !FlushPumping(host, *record.file, record.size, error))
        {
            ReportFillerWriteFailure(host, error);
            result = FillResult::WriteError;
        }
        if (result != FillResult::WriteError && method != 1)
        {
            host.Events().PassFinished({record.size, 1});
        }
        // The fill is the quick method's only pass; the thorough one's
        // passes are verified where they are written.
        if (result != FillResult::WriteError && method != 1 && options.verify &&
            !host.Cancelled())
        {
            CLastPass zeroes;
            zeroes.Add(0, record.size, nullptr);
            if (VerifyFreeSpaceFile(host, record.path, *record.file, zeroes) != 0)
            {
                result = host.Cancelled() ? FillResult::Cancelled : FillResult::WriteError;
            }
        }
        if (result == FillResult::WriteError || result == FillResult::Cancelled)
        {
            completed = false;
            break;
        }
    }

    if (completed && !host.Cancelled() && !recordRoot.empty() &&
        (!MakeRoomForTheFileTable(host, records) ||
         FillFreeRecords(host, recordRoot, recordEntries) != RecordFillResult::Full))
    {
        completed = false;
    }

    if (completed && !host.Cancelled() && method == 1)
    {
        for (std::size_t k = 0; k < made && !host.Cancelled(); ++k)
        {
            TempFileRecord& record = records[k];
            FreeSpaceRecord pass{record.file.get(), TempFileName(k), record.size};
            if (ShredFile(host, record.path, ShredMode::Normal, &pass, static_cast<int>(k + 1),
                          static_cast<int>(made)) != 0)
            {
                break;
            }
        }
    }

    progress.SetLine(1, host.Text(kKeyWait));
    progress.SetLine(2, host.Text(kKeyWait));
    progress.SetLine(3, "");
    progress.SetRange(0, fileCount);
    progress.SetPosition(0);
    progress.DisableCancel();
    progress.Repaint();

    // The fillers are closed first: the record tree and the fillers then go
    // together, deepest first, the wipe's folder last.
    std::vector<OwnEntry> own;
    for (auto it = recordEntries.rbegin(); it != recordEntries.rend(); ++it)
    {
        own.push_back({it->path, it->folder});
    }
    recordEntries.clear();
    bool closeReported = false;
    for (std::size_t i = 0; i < records.size(); ++i)
    {
        TempFileRecord& record = records[i];
        if (record.file)
        {
            if (!record.file->Close(error) && !closeReported)
            {
                ReportFillerWriteFailure(host, error);
                closeReported = true;
            }
            record.file.reset();
            own.push_back({record.path, false});
        }
        progress.SetPosition(i + 1);
        progress.Repaint();
    }
    folderEntry.reset();
    own.push_back({folder, true});
    RemoveOwnEntries(host, std::move(own));
    progress.SetPosition(fileCount);
    progress.Repaint();
    records.clear();
    host.DestroyProgressWindow();
}

} // namespace qw
