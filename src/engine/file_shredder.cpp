#include "engine/file_shredder.h"

#include "app/setting_names.h"
#include "app/shred_app.h"
#include "engine/pattern.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"
#include "platform/progress.h"
#include "platform/settings_store.h"

#include <memory>

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
// A name whose random twin already exists is drawn again, a few times.
constexpr int kRenameAttempts = 16;

enum class PassOutcome
{
    Done,
    Cancelled,
    WriteFailed,
};

class COverwriter
{
public:
    COverwriter(CShredApp& app, IOpenFile& file, std::uint64_t size)
        : m_app(app), m_file(file), m_size(size), m_blocks(BlockCount(size))
    {
    }

    // One pass from offset 0; `refill` gives every block fresh random data.
    PassOutcome Pass(bool refill)
    {
        std::uint8_t* buffer = m_app.m_overwriteBuffer.data();
        std::uint64_t offset = 0;
        for (std::uint64_t block = 1; block <= m_blocks; ++block)
        {
            std::uint64_t bytes = BlockBytes(m_size, block);
            if (bytes > 0)
            {
                if (refill)
                {
                    FillPattern(buffer, static_cast<std::size_t>(bytes), 1, m_app.m_random);
                }
                if (!m_file.WriteAt(offset, buffer, static_cast<std::size_t>(bytes), m_error))
                {
                    return PassOutcome::WriteFailed;
                }
                offset += bytes;
            }
            if (IProgressWindow* progress = m_app.Progress())
            {
                progress->SetPosition(block);
                progress->Repaint();
            }
            m_app.PumpMessages();
            if (m_app.m_cancel)
            {
                return PassOutcome::Cancelled;
            }
        }
        // Without the flush the truncation that follows can drop the
        // overwrite from the cache before it reaches the disk.
        if (!m_file.Flush(m_error))
        {
            return PassOutcome::WriteFailed;
        }
        return PassOutcome::Done;
    }

    PassOutcome Run(int method, int passes)
    {
        IProgressWindow* progress = m_app.Progress();
        auto line = [progress](int n, const std::string& text)
        {
            if (progress)
            {
                progress->SetLine(n, text);
            }
        };
        std::uint8_t* buffer = m_app.m_overwriteBuffer.data();
        const std::size_t fill =
            static_cast<std::size_t>(std::min<std::uint64_t>(m_size, kBlockSize));
        if (method == 0)
        {
            line(2, m_app.LanguageText(kKeyQuickLine2));
            line(3, m_app.LanguageText(kKeyQuickLine3));
            FillPattern(buffer, kBlockSize, 0, m_app.m_random);
            return Pass(false);
        }
        if (method != 1)
        {
            return PassOutcome::Done;
        }
        for (int r = 1; r <= passes; ++r)
        {
            line(3, Substitute(m_app.LanguageText(kKeyRepetition),
                               {{"%u", std::to_string(r)}, {"%t", std::to_string(passes)}}));
            line(2, m_app.LanguageText(kKeyRandomPass));
            FillPattern(buffer, fill, 1, m_app.m_random);
            if (PassOutcome o = Pass(false); o != PassOutcome::Done)
            {
                return o;
            }
            line(2, m_app.LanguageText(kKeyComplementPass));
            FillPattern(buffer, fill, 2, m_app.m_random);
            if (PassOutcome o = Pass(false); o != PassOutcome::Done)
            {
                return o;
            }
            line(2, m_app.LanguageText(kKeyFreshRandomPass));
            if (PassOutcome o = Pass(true); o != PassOutcome::Done)
            {
                return o;
            }
        }
        return PassOutcome::Done;
    }

    const OsError& Error() const { return m_error; }

private:
    CShredApp& m_app;
    IOpenFile& m_file;
    std::uint64_t m_size;
    std::uint64_t m_blocks;
    OsError m_error;
};

std::string ReportMessage(CShredApp& app, MessageSize size, int frame, const char* type,
                          std::string text, const std::string& insert, bool show)
{
    CMessageWindow window = app.NewMessage(size);
    window.SetFrame(frame);
    window.SetType(type);
    window.SetMessage(std::move(text));
    window.SetInsert(insert);
    if (show)
    {
        return app.ShowMessage(window);
    }
    app.RecordStatus(window.RawMessage());
    return {};
}

int CancelResult(const CShredApp& app)
{
    return app.m_cancel ? 1 : 0;
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

int ShredFile(CShredApp& app, const std::string& path, ShredMode mode,
              const FreeSpaceRecord* freeSpace, int index, int count)
{
    ISettingsStore& settings = app.Env().settings;
    IFileSystem& files = app.Env().files;

    int method = app.m_unattended ? app.m_cmdMethod : settings.ReadInt(kMethod, kDefaultMethod);
    int passes =
        app.m_unattended ? app.m_cmdPasses : settings.ReadInt(kPassCount, kDefaultPassCount);
    app.m_random.Seed(app.NewSeed());

    if (!app.CreateProgressWindow())
    {
        return 1;
    }
    IProgressWindow& progress = *app.Progress();
    progress.Show();
    progress.Enable();

    if (freeSpace)
    {
        progress.SetLine(
            1, Substitute(app.LanguageText(kKeyFillerLine), {{"%s", freeSpace->name},
                                                             {"%u", std::to_string(index)},
                                                             {"%t", std::to_string(count)}}));
        progress.SetRange(0, BlockCount(freeSpace->size));
        progress.SetPosition(0);
        COverwriter overwriter(app, *freeSpace->file, freeSpace->size);
        PassOutcome outcome = overwriter.Run(method, passes);
        if (outcome == PassOutcome::WriteFailed)
        {
            return 1;
        }
        return CancelResult(app);
    }

    progress.SetLine(1, path);

    OsError error;
    std::optional<FileStatus> status = files.Status(path, error);
    if (!status || status->isFolder)
    {
        CMessageWindow window = app.NewMessage(MessageSize::Small);
        ReportMessage(app, MessageSize::Small, 1, "info", window.MessageText(kKeyNotFound), path,
                      !app.m_unattended);
        return 0;
    }
    if (status->isLink)
    {
        // A link is removed; what it points to is never opened.
        files.RemoveLink(path, error);
        return CancelResult(app);
    }

    if (mode == ShredMode::Normal && (status->readOnly || status->hidden || status->system) &&
        !app.m_unattended)
    {
        CMessageWindow window = app.NewMessage(MessageSize::Middle);
        std::string answer = ReportMessage(app, MessageSize::Middle, 3, "warning",
                                           window.MessageText(kKeyAskAttributes), path, true);
        if (answer == kAnswerNo || answer == kAnswerCancel)
        {
            return 1;
        }
        if (answer != kAnswerYes)
        {
            return 0;
        }
    }

    files.SetNormalAttributes(path, error);
    std::unique_ptr<IOpenFile> file = files.OpenForOverwrite(path, error);
    if (!file)
    {
        // Logged in every mode: a file left unshredded must not end in a
        // run that logs "Success".
        ReportMessage(app, MessageSize::Middle, 1, "info", app.LanguageText(kKeyCannotOpen), path,
                      !app.m_unattended);
        return mode == ShredMode::Normal ? 0 : 1;
    }

    progress.SetRange(0, BlockCount(status->size));
    progress.SetPosition(0);
    COverwriter overwriter(app, *file, status->size);
    PassOutcome outcome = overwriter.Run(method, passes);
    if (outcome == PassOutcome::WriteFailed)
    {
        // The file keeps its content and name: deleting it now would leave
        // the old data on the disk while looking shredded.
        file->Close();
        ReportMessage(app, MessageSize::Middle, 1, "info", app.LanguageText(kKeyCannotOpen), path,
                      !app.m_unattended);
        return mode == ShredMode::Normal ? 0 : 1;
    }
    if (outcome == PassOutcome::Cancelled)
    {
        file->Flush(error);
    }
    file->Truncate(0, error);
    file->Close();

    if (mode == ShredMode::BinEntry)
    {
        return CancelResult(app);
    }

    std::string current = path;
    for (int attempt = 0; attempt < kRenameAttempts; ++attempt)
    {
        std::string renamed = RandomSameShapeName(path, app.m_random);
        if (files.Rename(path, renamed, error))
        {
            current = renamed;
            break;
        }
        if (error.kind != ErrorKind::AlreadyExists)
        {
            break;
        }
    }
    if (files.RemoveFile(current, error))
    {
        return CancelResult(app);
    }
    if (mode != ShredMode::Normal)
    {
        return CancelResult(app);
    }
    if (current != path)
    {
        OsError ignored;
        files.Rename(current, path, ignored);
    }
    std::string answer = ReportMessage(app, MessageSize::Middle, 2, "info",
                                       app.LanguageText(kKeyCannotDelete), path, !app.m_unattended);
    if (!app.m_unattended && answer == kAnswerOk)
    {
        return 1;
    }
    return CancelResult(app);
}

} // namespace qw
