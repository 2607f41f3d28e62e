#include "engine/file_shredder.h"

#include "engine/last_pass.h"
#include "engine/other_names.h"
#include "engine/paths.h"
#include "engine/pattern.h"
#include "engine/shred_host.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"
#include "platform/progress.h"

#include <chrono>
#include <future>
#include <memory>
#include <system_error>
#include <vector>

namespace qw
{
namespace
{

constexpr int kKeyNotFound = 9034;
constexpr int kKeyAskAttributes = 9036;
constexpr int kKeyCannotOpen = 9037;
constexpr int kKeyCannotDelete = 9038;
constexpr int kKeyQuickLine2 = 9903;
constexpr int kKeyQuickLine3 = 9904;
constexpr int kKeyRandomPass = 9905;
constexpr int kKeyComplementPass = 9906;
constexpr int kKeyFreshRandomPass = 9907;
constexpr int kKeyRepetition = 9918;
constexpr int kKeyFillerLine = 9919;
constexpr int kKeyWriteFailed = 9071;
constexpr int kKeyNotRenamed = 9076;
constexpr int kKeyLeftPartly = 9077;
constexpr int kKeyBinLinkKept = 9093;
constexpr int kKeyLinkStays = 9083;
constexpr int kKeyReplaced = 9084;
constexpr int kKeyGrew = 9085;
constexpr int kKeyNotVerified = 9114;
constexpr int kKeyNotReadBack = 9115;
constexpr int kKeyFillerNotVerified = 9116;
constexpr int kKeyVerifying = 9117;
// Read back in pieces this large: wine 8.0 spends about 50 us on a call.
constexpr std::size_t kReadBackChunk = 1 << 20;
// A name whose random twin already exists is drawn again, a few times.
constexpr int kRenameAttempts = 16;
// Rounds that overwrite what another process added during the passes, before
// the file is given up as one that keeps growing.
constexpr int kCatchUpRounds = 4;
// Below this a flush is quick and a thread for it would cost a folder of
// small files more than it saves.
constexpr std::uint64_t kPumpedFlushBytes = 8u << 20;

enum class PassOutcome
{
    Done,
    Cancelled,
    WriteFailed,
    Grew,           // data added during the passes could not all be overwritten
    NotVerified,    // what was read back differs from the last pass, twice
    ReadBackFailed, // the last pass could not be read back
};

class COverwriter
{
public:
    // Writes the bytes from `start` to `end`.
    COverwriter(IShredHost& host, IOpenFile& file, std::uint64_t end, std::uint64_t start = 0)
        : m_host(host), m_file(file), m_start(start), m_size(end - start),
          m_blocks(BlockCount(m_size))
    {
    }

    std::uint64_t Blocks() const { return m_blocks; }

    // One pass from the start; `refill` gives every block fresh random data.
    PassOutcome Pass(bool refill)
    {
        // What this pass writes, for the read-back: the buffer unchanged is
        // only ever verified holding zeroes (the quick pass).
        m_written.Clear();
        m_written.Add(m_start, m_start + m_size, refill ? &m_host.Random() : nullptr);
        std::uint8_t* buffer = m_host.Buffer().data();
        std::uint64_t offset = m_start;
        for (std::uint64_t block = 1; block <= m_blocks; ++block)
        {
            std::uint64_t bytes = BlockBytes(m_size, block);
            if (bytes > 0)
            {
                if (refill)
                {
                    FillPattern(buffer, static_cast<std::size_t>(bytes), 1, m_host.Random());
                }
                if (!m_file.WriteAt(offset, buffer, static_cast<std::size_t>(bytes), m_error))
                {
                    return PassOutcome::WriteFailed;
                }
                offset += bytes;
            }
            if (IProgressWindow* progress = m_host.Progress())
            {
                progress->SetPosition(block);
                progress->Repaint();
            }
            m_host.Pump();
            if (m_host.Cancelled())
            {
                return PassOutcome::Cancelled;
            }
        }
        // Without the flush the truncation that follows can drop the
        // overwrite from the cache before it reaches the disk.
        if (!FlushPumping(m_host, m_file, m_size, m_error))
        {
            return PassOutcome::WriteFailed;
        }
        return PassOutcome::Done;
    }

    PassOutcome Run(int method, int passes)
    {
        method = CorrectedMethod(method);
        passes = CorrectedPasses(passes);
        IProgressWindow* progress = m_host.Progress();
        auto line = [progress](int n, const std::string& text)
        {
            if (progress)
            {
                progress->SetLine(n, text);
            }
        };
        std::uint8_t* buffer = m_host.Buffer().data();
        const std::size_t fill =
            static_cast<std::size_t>(std::min<std::uint64_t>(m_size, kBlockSize));
        if (method == 0)
        {
            line(2, m_host.Text(kKeyQuickLine2));
            line(3, m_host.Text(kKeyQuickLine3));
            FillPattern(buffer, kBlockSize, 0, m_host.Random());
            return Counted(Pass(false));
        }
        for (int r = 1; r <= passes; ++r)
        {
            line(3, Substitute(m_host.Text(kKeyRepetition),
                               {{"%u", std::to_string(r)}, {"%t", std::to_string(passes)}}));
            line(2, m_host.Text(kKeyRandomPass));
            FillPattern(buffer, fill, 1, m_host.Random());
            if (PassOutcome o = Pass(false); o != PassOutcome::Done)
            {
                return o;
            }
            line(2, m_host.Text(kKeyComplementPass));
            FillPattern(buffer, fill, 2, m_host.Random());
            if (PassOutcome o = Pass(false); o != PassOutcome::Done)
            {
                return o;
            }
            line(2, m_host.Text(kKeyFreshRandomPass));
            if (PassOutcome o = Counted(Pass(true)); o != PassOutcome::Done)
            {
                return o;
            }
        }
        return PassOutcome::Done;
    }

    // The method's last pass alone: zeroes for quick, fresh random data for
    // thorough.
    PassOutcome LastPass(int method)
    {
        if (CorrectedMethod(method) == 0)
        {
            FillPattern(m_host.Buffer().data(), kBlockSize, 0, m_host.Random());
            return Pass(false);
        }
        return Pass(true);
    }

    const OsError& Error() const { return m_error; }
    // Passes that reached the end of the file and the disk.
    int FullPasses() const { return m_fullPasses; }
    // What the last pass wrote.
    const CLastPass& Written() const { return m_written; }

private:
    IShredHost& m_host;
    IOpenFile& m_file;
    std::uint64_t m_start;
    std::uint64_t m_size;
    std::uint64_t m_blocks;
    OsError m_error;
    int m_fullPasses = 0;
    CLastPass m_written;

    PassOutcome Counted(PassOutcome outcome)
    {
        if (outcome == PassOutcome::Done)
        {
            m_host.Events().PassFinished({m_size, ++m_fullPasses});
        }
        return outcome;
    }
};

int CancelResult(const IShredHost& host)
{
    return host.Cancelled() ? 1 : 0;
}

int StopResultOf(ShredMode mode)
{
    return mode == ShredMode::Normal ? 0 : 1;
}

void ReportNotFound(IShredHost& host, const std::string& path)
{
    host.Tell(
        EngineMessage{MessageSize::Small, 1, "info", host.MessageText(kKeyNotFound), path}.Because(
            LeftReason::NotFound));
}

// Overwrites one open stream of data by the method. Done only when at least
// one full pass reached its end and the disk; `error` tells a failure.
PassOutcome Overwrite(IShredHost& host, IOpenFile& file, OsError& error, CLastPass& written)
{
    std::optional<std::uint64_t> size = file.Size(error);
    if (!size)
    {
        return PassOutcome::WriteFailed;
    }
    if (IProgressWindow* progress = host.Progress())
    {
        progress->SetRange(0, BlockCount(*size));
        progress->SetPosition(0);
    }
    COverwriter overwriter(host, file, *size);
    PassOutcome outcome = overwriter.Run(host.Options().method, host.Options().passes);
    if (outcome == PassOutcome::WriteFailed)
    {
        error = overwriter.Error();
        return outcome;
    }
    if (outcome == PassOutcome::Cancelled || overwriter.FullPasses() < 1)
    {
        // What was written stays written: flushed, not truncated away.
        return file.Flush(error) ? PassOutcome::Cancelled : PassOutcome::WriteFailed;
    }
    written = overwriter.Written();
    // Another process may have appended meanwhile (a log, a download): the
    // truncation would drop that unwritten into free space. What was added
    // is overwritten too, as long as the file stops growing.
    std::uint64_t covered = *size;
    for (int round = 0;; ++round)
    {
        std::optional<std::uint64_t> now = file.Size(error);
        if (!now)
        {
            return PassOutcome::WriteFailed;
        }
        if (*now <= covered)
        {
            return PassOutcome::Done;
        }
        if (round == kCatchUpRounds)
        {
            return file.Flush(error) ? PassOutcome::Grew : PassOutcome::WriteFailed;
        }
        COverwriter catchUp(host, file, *now, covered);
        if (IProgressWindow* progress = host.Progress())
        {
            progress->SetRange(0, catchUp.Blocks());
            progress->SetPosition(0);
        }
        outcome = catchUp.LastPass(host.Options().method);
        if (outcome == PassOutcome::WriteFailed)
        {
            error = catchUp.Error();
            return outcome;
        }
        if (outcome == PassOutcome::Cancelled)
        {
            return file.Flush(error) ? PassOutcome::Cancelled : PassOutcome::WriteFailed;
        }
        for (const CLastPass::Range& range : catchUp.Written().Ranges())
        {
            written.Add(range.start, range.end, range.random ? &range.state : nullptr);
        }
        covered = *now;
    }
}

enum class ReadBackResult
{
    Matches,
    Differs,
    Grew,
    Failed,
    Cancelled,
};

// Reads the file's whole length back and compares it with what the last
// pass wrote; data beyond it was added since.
ReadBackResult ReadLastPassBack(IShredHost& host, IOpenFile& file, const CLastPass& written,
                                OsError& error)
{
    std::optional<std::uint64_t> size = file.Size(error);
    if (!size)
    {
        return ReadBackResult::Failed;
    }
    if (*size > written.End())
    {
        return ReadBackResult::Grew;
    }
    IProgressWindow* progress = host.Progress();
    if (progress)
    {
        progress->SetLine(2, host.Text(kKeyVerifying));
        progress->SetRange(
            0, std::max<std::uint64_t>(1, (*size + kReadBackChunk - 1) / kReadBackChunk));
        progress->SetPosition(0);
    }
    CLastPassComparer comparer(written);
    for (std::uint64_t offset = 0; offset < *size;)
    {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kReadBackChunk, *size - offset));
        std::optional<std::span<const std::uint8_t>> data = file.ReadBack(offset, want, error);
        if (!data)
        {
            return ReadBackResult::Failed;
        }
        // Shorter than its size: the file lost its end since it was measured.
        if (data->size() != want || !comparer.Next(*data))
        {
            return ReadBackResult::Differs;
        }
        offset += want;
        if (progress)
        {
            progress->SetPosition((offset + kReadBackChunk - 1) / kReadBackChunk);
            progress->Repaint();
        }
        host.Pump();
        if (host.Cancelled())
        {
            return ReadBackResult::Cancelled;
        }
    }
    // Added while it was read: the truncation would drop it unwritten.
    size = file.Size(error);
    if (!size)
    {
        return ReadBackResult::Failed;
    }
    return *size > written.End() ? ReadBackResult::Grew : ReadBackResult::Matches;
}

// Verifies the last pass: a file that differs from it, or has grown since,
// is given the last pass once more over its whole length and read again.
// Done when it matches, and after a cancel (the overwrite itself was
// complete, only unchecked); `written` then describes what the file holds.
PassOutcome VerifyLastPass(IShredHost& host, IOpenFile& file, CLastPass& written, OsError& error)
{
    for (int attempt = 0;; ++attempt)
    {
        ReadBackResult result = ReadLastPassBack(host, file, written, error);
        switch (result)
        {
        case ReadBackResult::Matches:
            host.Events().Verified(true);
            return PassOutcome::Done;
        case ReadBackResult::Cancelled:
            return PassOutcome::Done;
        case ReadBackResult::Failed:
            return PassOutcome::ReadBackFailed;
        case ReadBackResult::Differs:
        case ReadBackResult::Grew:
            if (attempt == 1)
            {
                host.Events().Verified(false);
                return result == ReadBackResult::Grew ? PassOutcome::Grew
                                                      : PassOutcome::NotVerified;
            }
            break;
        }
        std::optional<std::uint64_t> size = file.Size(error);
        if (!size)
        {
            return PassOutcome::ReadBackFailed;
        }
        COverwriter again(host, file, *size);
        if (IProgressWindow* progress = host.Progress())
        {
            progress->SetRange(0, again.Blocks());
            progress->SetPosition(0);
        }
        PassOutcome outcome = again.LastPass(host.Options().method);
        if (outcome == PassOutcome::WriteFailed)
        {
            error = again.Error();
        }
        if (outcome != PassOutcome::Done)
        {
            return outcome;
        }
        written = again.Written();
    }
}

// The overwrite of the file as the method asks, then its verification when
// the run asks for it.
PassOutcome OverwriteAndVerify(IShredHost& host, IOpenFile& file, OsError& error)
{
    CLastPass written;
    PassOutcome outcome = Overwrite(host, file, error, written);
    if (outcome == PassOutcome::Done && host.Options().verify)
    {
        outcome = VerifyLastPass(host, file, written, error);
    }
    return outcome;
}

void CloseQuietly(IOpenFile& file)
{
    OsError ignored;
    file.Close(ignored);
}

// A file whose overwrite was stopped keeps its name and its unwritten rest:
// removing it would leave that rest in free clusters while it looks
// shredded. The report names it, so that it can be shredded again.
void ReportLeftPartly(IShredHost& host, const std::string& path)
{
    host.Tell(EngineMessage::Naming(MessageSize::Middle, host.Text(kKeyLeftPartly), path)
                  .Because(LeftReason::Stopped));
}

void ReportGrew(IShredHost& host, const std::string& path)
{
    host.Tell(EngineMessage::Naming(MessageSize::Middle, host.Text(kKeyGrew), path)
                  .Because(LeftReason::Grew));
}

// A report naming what is left, with the system's code and text.
void ReportNamingError(IShredHost& host, int key, const std::string& path, const OsError& error,
                       LeftReason reason)
{
    host.Tell(EngineMessage::Naming(
                  MessageSize::Middle,
                  Substitute(host.Text(key), {{"%u", std::to_string(error.code)},
                                              {"%t", ErrorDescription(host, error.code)}}),
                  path)
                  .Because(reason, error.code));
}

// A file left because its last pass did not verify or grew, said as such.
// False for the other outcomes.
bool ReportUnverified(IShredHost& host, PassOutcome outcome, const std::string& path,
                      const OsError& error)
{
    switch (outcome)
    {
    case PassOutcome::Grew:
        ReportGrew(host, path);
        return true;
    case PassOutcome::NotVerified:
        host.Tell(EngineMessage::Naming(MessageSize::Middle, host.Text(kKeyNotVerified), path)
                      .Because(LeftReason::NotVerified));
        return true;
    case PassOutcome::ReadBackFailed:
        ReportNamingError(host, kKeyNotReadBack, path, error, LeftReason::NotVerified);
        return true;
    default:
        return false;
    }
}

// The written file no longer has its name: another took it, and is left
// alone.
void ReportReplaced(IShredHost& host, const std::string& path)
{
    host.Tell(EngineMessage::Naming(MessageSize::Middle, host.Text(kKeyReplaced), path)
                  .Because(LeftReason::Changed));
}

} // namespace

std::uint64_t BlockCount(std::uint64_t size)
{
    return size / kBlockSize + 1;
}

std::uint64_t BlockBytes(std::uint64_t size, std::uint64_t block)
{
    std::uint64_t before = (block - 1) * kBlockSize;
    if (before >= size)
    {
        return 0;
    }
    return std::min<std::uint64_t>(kBlockSize, size - before);
}

std::string RandomSameShapeName(const std::string& path, CRandom& random)
{
    std::size_t slash = path.rfind('\\');
    std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    // One dot stays where it is: the last one of the name, and a leading dot
    // just starts the extension.
    std::size_t dot = path.rfind('.');
    bool hasDot = dot != std::string::npos && dot >= start;
    std::string out = path.substr(0, start);
    for (std::size_t i = start; i < path.size(); ++i)
    {
        if (hasDot && i == dot)
        {
            out += '.';
        }
        else if ((static_cast<unsigned char>(path[i]) & 0xC0) != 0x80)
        {
            out += random.Letter(); // one letter per character, not per byte
        }
    }
    return out;
}

bool FlushPumping(IShredHost& host, IOpenFile& file, std::uint64_t written, OsError& error)
{
    if (written < kPumpedFlushBytes)
    {
        return file.Flush(error);
    }
    // The error is taken on the flushing thread, where the system keeps it.
    OsError flushError;
    std::future<bool> flushed;
    try
    {
        flushed =
            std::async(std::launch::async, [&file, &flushError] { return file.Flush(flushError); });
    }
    catch (const std::system_error&)
    {
        return file.Flush(error); // no thread to be had: the windows wait
    }
    while (flushed.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready)
    {
        host.Pump();
    }
    const bool done = flushed.get();
    if (!done)
    {
        error = flushError;
    }
    return done;
}

std::string ErrorDescription(IShredHost& host, std::uint32_t code)
{
    std::string text = host.Files().ErrorText(code);
    while (!text.empty() &&
           (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    {
        text.pop_back();
    }
    return text;
}

void ReportLinkStays(IShredHost& host, const std::string& path)
{
    host.Tell(EngineMessage::Naming(MessageSize::Middle, host.Text(kKeyLinkStays), path)
                  .Because(LeftReason::LinkKept));
}

void ReportWriteFailure(IShredHost& host, const std::string& path, const OsError& error)
{
    // Logged in every mode: data left behind must not end in "Success".
    host.Tell(EngineMessage{
        MessageSize::Middle, 1, "info",
        Substitute(host.Text(kKeyWriteFailed), {{"%u", std::to_string(error.code)},
                                                {"%t", ErrorDescription(host, error.code)}}),
        path}
                  .Because(LeftReason::WriteFailed, error.code));
}

namespace
{

bool StartFile(IShredHost& host, const std::string& line1)
{
    host.Random().Seed(host.NewSeed());
    if (!host.CreateProgressWindow())
    {
        return false;
    }
    IProgressWindow& progress = *host.Progress();
    progress.Show();
    progress.Enable();
    progress.SetLine(1, line1);
    return true;
}

// The file `entry`, checked and opened where it lies in `folder`.
int ShredEntry(IShredHost& host, IEntry& folder, IEntry& entry, const std::string& name,
               ShredMode mode)
{
    IFileSystem& files = host.Files();
    const std::string path = entry.Path();
    const FileStatus& status = entry.Status();
    const CItemScope item(host.Events(), {path, ItemKind::File});
    OsError error;
    if (status.isFolder && !status.isLink)
    {
        ReportNotFound(host, path);
        return StopResultOf(mode);
    }
    if (status.isLink && status.linkStays)
    {
        ReportLinkStays(host, path);
        return StopResultOf(mode);
    }
    if (status.isLink)
    {
        // A link is removed; what it points to is never opened.
        if (!files.RemoveIn(folder, name, RemoveKind::Link, error))
        {
            if (mode == ShredMode::Normal)
            {
                host.Tell(
                    EngineMessage{MessageSize::Middle, 2, "info", host.Text(kKeyCannotDelete), path}
                        .Because(LeftReason::NotDeleted, error.code));
                return CancelResult(host);
            }
            // A link left in the bin must keep the bin from being emptied:
            // wine 8.0 deletes a file link's target, not the link.
            host.Tell(EngineMessage::Naming(MessageSize::Middle, host.Text(kKeyBinLinkKept), path)
                          .Because(LeftReason::LinkKept, error.code));
            return 1;
        }
        host.Events().Deleted(path);
        return CancelResult(host);
    }

    // Content shared with names outside the run stays: only this name goes
    // (in the bin, with the bin). Its attributes are the other names' too.
    if (std::vector<std::string> others; !OtherNamesInRun(host, entry, others))
    {
        ReportOtherNamesKept(host, entry, others);
        if (mode != ShredMode::BinEntry && !files.RemoveIn(folder, name, RemoveKind::File, error) &&
            mode == ShredMode::Normal)
        {
            host.Tell(
                EngineMessage{MessageSize::Middle, 2, "info", host.Text(kKeyCannotDelete), path}
                    .Because(LeftReason::NotDeleted, error.code));
        }
        return CancelResult(host);
    }

    if (mode == ShredMode::Normal && (status.readOnly || status.hidden || status.system))
    {
        std::string answer = host.Tell(EngineMessage{MessageSize::Middle, 3, "warning",
                                                     host.MessageText(kKeyAskAttributes), path,
                                                     Unattended::AnswerYes}
                                           .Because(LeftReason::Declined));
        if (answer == kAnswerNo || answer == kAnswerCancel)
        {
            return 1;
        }
        if (answer != kAnswerYes)
        {
            return 0;
        }
    }

    files.SetNormalAttributes(entry, error);
    // Alternate data streams (a download's origin, a thumbnail) go with the
    // file: they are overwritten first, each on its own, before the file is
    // held open for its rename and delete.
    for (const std::string& stream : files.Streams(entry))
    {
        if (IProgressWindow* progress = host.Progress())
        {
            progress->SetLine(1, path + stream);
        }
        std::unique_ptr<IOpenFile> data = files.OpenStreamForOverwrite(entry, stream, error);
        PassOutcome outcome =
            data ? OverwriteAndVerify(host, *data, error) : PassOutcome::WriteFailed;
        if (outcome == PassOutcome::Done && (!data->Truncate(0, error) || !data->Close(error)))
        {
            outcome = PassOutcome::WriteFailed;
        }
        if (data)
        {
            CloseQuietly(*data);
        }
        if (outcome == PassOutcome::Cancelled)
        {
            ReportLeftPartly(host, path);
            return 1;
        }
        if (ReportUnverified(host, outcome, path + stream, error))
        {
            return StopResultOf(mode);
        }
        if (outcome == PassOutcome::WriteFailed)
        {
            ReportWriteFailure(host, path + stream, error);
            return StopResultOf(mode);
        }
    }
    if (IProgressWindow* progress = host.Progress())
    {
        progress->SetLine(1, path);
    }

    std::unique_ptr<IOpenFile> file = files.OpenForOverwrite(entry, error);
    if (!file)
    {
        // Logged in every mode: a file left unshredded must not end in a
        // run that logs "Success".
        host.Tell(
            EngineMessage{MessageSize::Middle, 1, "info", host.Text(kKeyCannotOpen), path}.Because(
                LeftReason::CannotOpen, error.code));
        return StopResultOf(mode);
    }
    // The file keeps its content and name when any of it could not be
    // overwritten: deleting it now would leave the old data on the disk
    // while looking shredded.
    PassOutcome outcome = OverwriteAndVerify(host, *file, error);
    if (outcome == PassOutcome::Done && !file->Truncate(0, error))
    {
        outcome = PassOutcome::WriteFailed;
    }
    if (outcome == PassOutcome::Done)
    {
        // Anything in it now was written after the last check, never
        // overwritten: deleting the file would leave it in free space.
        std::optional<std::uint64_t> left = file->Size(error);
        outcome = !left ? PassOutcome::WriteFailed : *left != 0 ? PassOutcome::Grew : outcome;
    }
    if (outcome == PassOutcome::Grew || outcome == PassOutcome::NotVerified ||
        outcome == PassOutcome::ReadBackFailed)
    {
        CloseQuietly(*file);
        ReportUnverified(host, outcome, path, error);
        return StopResultOf(mode);
    }
    if (outcome == PassOutcome::WriteFailed)
    {
        CloseQuietly(*file);
        ReportWriteFailure(host, path, error);
        return StopResultOf(mode);
    }
    if (outcome == PassOutcome::Cancelled)
    {
        CloseQuietly(*file);
        ReportLeftPartly(host, path);
        return 1;
    }
    if (mode == ShredMode::BinEntry)
    {
        if (!file->Close(error))
        {
            ReportWriteFailure(host, path, error);
            return 1;
        }
        return CancelResult(host);
    }

    // Renamed and deleted by the handle that was written. Wine 8.0 renames
    // and deletes by the name the handle was opened with, whatever file holds
    // it by now: the new name must hold the written file before it is
    // deleted. A file that had taken the name gets it back and is left alone.
    auto holds = [&](const std::string& which)
    { return files.IdentityIn(folder, which) == status.identity; };
    std::string current = name;
    for (int attempt = 0; attempt < kRenameAttempts && current == name; ++attempt)
    {
        std::string renamed = RandomSameShapeName(name, host.Random());
        if (file->Rename(folder, name, renamed, error))
        {
            current = renamed;
            host.Events().Renamed(path, JoinPath(folder.Path(), renamed));
        }
        else if (error.kind != ErrorKind::AlreadyExists)
        {
            break;
        }
    }
    if (current != name && !holds(current))
    {
        // A file link is not moved back: wine 8.0 would move what it points
        // to.
        OsError ignored;
        std::unique_ptr<IEntry> taken = files.OpenIn(folder, current, ignored);
        if (taken && !taken->Status().linkStays)
        {
            files.RenameIn(folder, current, name, ignored);
        }
        CloseQuietly(*file);
        ReportReplaced(host, path);
        return StopResultOf(mode);
    }
    if (current == name && !holds(name))
    {
        CloseQuietly(*file);
        ReportReplaced(host, path);
        return StopResultOf(mode);
    }
    if (current == name)
    {
        // The emptied file keeps its name, which is still readable: not
        // "Success", in any mode.
        CloseQuietly(*file);
        ReportNamingError(host, kKeyNotRenamed, path, error, LeftReason::NotRenamed);
        return StopResultOf(mode);
    }
    if (file->Delete(folder, current, error))
    {
        if (!file->Close(error))
        {
            ReportWriteFailure(host, path, error);
            return StopResultOf(mode);
        }
        host.Events().Deleted(JoinPath(folder.Path(), current));
        return CancelResult(host);
    }
    OsError ignored;
    file->Rename(folder, current, name, ignored);
    CloseQuietly(*file);
    if (mode != ShredMode::Normal)
    {
        return CancelResult(host);
    }
    std::string answer = host.Tell(
        EngineMessage{MessageSize::Middle, 2, "info", host.Text(kKeyCannotDelete), path}.Because(
            LeftReason::NotDeleted, error.code));
    if (!host.Options().unattended && answer == kAnswerOk)
    {
        return 1;
    }
    return CancelResult(host);
}

} // namespace

int ShredFile(IShredHost& host, const std::string& path, ShredMode mode,
              const FreeSpaceRecord* freeSpace, int index, int count)
{
    if (freeSpace)
    {
        return OverwriteFreeSpaceFile(
            host, path, *freeSpace,
            Substitute(host.Text(kKeyFillerLine), {{"%s", freeSpace->name},
                                                   {"%u", std::to_string(index)},
                                                   {"%t", std::to_string(count)}}));
    }

    if (!StartFile(host, path))
    {
        return 1;
    }
    OsError error;
    std::string parentPath = ParentOf(path);
    std::unique_ptr<IEntry> folder =
        parentPath.empty() ? nullptr : host.Files().Open(parentPath, error);
    std::unique_ptr<IEntry> entry =
        folder ? host.Files().OpenIn(*folder, NameOf(path), error) : nullptr;
    if (!entry)
    {
        ReportNotFound(host, path);
        return 0;
    }
    return ShredEntry(host, *folder, *entry, NameOf(path), mode);
}

int OverwriteFreeSpaceFile(IShredHost& host, const std::string& path, const FreeSpaceRecord& record,
                           const std::string& line1)
{
    if (!StartFile(host, line1))
    {
        return 1;
    }
    IProgressWindow& progress = *host.Progress();
    progress.SetRange(0, BlockCount(record.size));
    progress.SetPosition(0);
    COverwriter overwriter(host, *record.file, record.size);
    PassOutcome outcome = overwriter.Run(host.Options().method, host.Options().passes);
    if (outcome == PassOutcome::WriteFailed)
    {
        ReportWriteFailure(host, path, overwriter.Error());
        return 1;
    }
    if (outcome == PassOutcome::Done && host.Options().verify)
    {
        CLastPass written = overwriter.Written();
        return VerifyFreeSpaceFile(host, path, *record.file, written);
    }
    return CancelResult(host);
}

int VerifyFreeSpaceFile(IShredHost& host, const std::string& path, IOpenFile& file,
                        CLastPass& written)
{
    OsError error;
    PassOutcome outcome = VerifyLastPass(host, file, written, error);
    if (outcome == PassOutcome::WriteFailed)
    {
        ReportWriteFailure(host, path, error);
        return 1;
    }
    if (outcome == PassOutcome::ReadBackFailed)
    {
        ReportNamingError(host, kKeyNotReadBack, path, error, LeftReason::NotVerified);
    }
    else if (outcome != PassOutcome::Done && outcome != PassOutcome::Cancelled)
    {
        // The wipe goes on: the other fillers still take their space.
        host.Tell(EngineMessage::Naming(MessageSize::Middle, host.Text(kKeyFillerNotVerified), path)
                      .Because(LeftReason::NotVerified));
    }
    return CancelResult(host);
}

int ShredFileIn(IShredHost& host, IEntry& folder, const std::string& name, ShredMode mode)
{
    const std::string path = JoinPath(folder.Path(), name);
    if (!StartFile(host, path))
    {
        return 1;
    }
    OsError error;
    std::unique_ptr<IEntry> entry = host.Files().OpenIn(folder, name, error);
    if (!entry)
    {
        // Listed but not opened (wine 8.0 lists a Unix name such as
        // "a*b.txt" that no Win32 call can open): in the bin its data stays,
        // so the bin must not be emptied.
        ReportNotFound(host, path);
        return StopResultOf(mode);
    }
    return ShredEntry(host, folder, *entry, name, mode);
}

} // namespace qw
