#include "engine/free_space_wipe.h"

#include "app/setting_names.h"
#include "app/shred_app.h"
#include "engine/file_shredder.h"
#include "engine/pattern.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"
#include "platform/progress.h"
#include "platform/settings_store.h"

#include <cstdio>
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
constexpr int kKeyPreparing = 9908;
constexpr int kKeyFilling = 9909;
constexpr int kKeyWait = 9910;
constexpr int kKeyFileLine = 9914;
constexpr int kKeyQuickName = 9915;
constexpr int kKeyThoroughName = 9916;
constexpr int kKeyCaption = 9917;
constexpr std::string_view kTempFolder = "SHREDTMP.$$$";

std::string Report(CShredApp& app, MessageSize size, int frame, std::string text,
                   bool logWhenUnattended = true)
{
    CMessageWindow window = app.NewMessage(size);
    window.SetFrame(frame);
    window.SetType("info");
    window.SetMessage(std::move(text));
    if (app.m_unattended && logWhenUnattended)
    {
        app.RecordStatus(window.RawMessage());
        return {};
    }
    return app.ShowMessage(window);
}

std::string Hex8(std::uint32_t code)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", code);
    return buffer;
}

} // namespace

std::uint64_t TempFileCount(std::uint64_t available)
{
    return available / kTempFileLimit + 1;
}

std::string TempFileName(std::uint64_t index)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "SHRED%03llu.TMP", static_cast<unsigned long long>(index));
    return buffer;
}

FillResult FillTempFile(CShredApp& app, TempFileRecord& record)
{
    std::uint64_t chunk = kBlockSize;
    IProgressWindow* progress = app.Progress();
    if (progress)
    {
        progress->SetRange(0, kTempFileLimit / kBlockSize);
        progress->SetPosition(0);
    }
    std::uint64_t chunks = 0;
    const std::uint8_t* buffer = app.m_overwriteBuffer.data();
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
            app.PumpMessages();
            if (app.m_cancel)
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
        std::string description = app.Env().files.ErrorText(error.code);
        while (!description.empty() && (description.back() == '\n' || description.back() == '\r'))
        {
            description.pop_back();
        }
        Report(app, MessageSize::Small, 1,
               Substitute(app.LanguageText(kKeyWriteFailed),
                          {{"%s", description + " (" + Hex8(error.code) + ")"}}));
        return FillResult::WriteError;
    }
}

void WipeFreeSpace(CShredApp& app, const std::string& root)
{
    IFileSystem& files = app.Env().files;
    const std::string drive = root.substr(0, 2);

    if (app.m_xpOrMe && !app.m_unattended)
    {
        CMessageWindow advice = app.NewMessage(MessageSize::Middle);
        advice.SetFrame(1);
        advice.SetType("info");
        advice.SetMessage(advice.MessageText(kKeyXpAdvice));
        app.ShowMessage(advice);
    }
    if (!app.m_unattended)
    {
        CMessageWindow consent = app.NewMessage(MessageSize::Big);
        consent.SetFrame(2);
        consent.SetType("warning");
        consent.SetMessage(consent.MessageText(kKeyConsent));
        if (app.ShowMessage(consent) != kAnswerOk)
        {
            return;
        }
    }

    const int method =
        app.m_unattended ? app.m_cmdMethod : app.Env().settings.ReadInt(kMethod, kDefaultMethod);
    app.m_cancel = 0;

    const std::string folder = root + std::string(kTempFolder);
    OsError error;
    if (!files.CreateFolder(folder, error) && error.kind != ErrorKind::AlreadyExists)
    {
        Report(app, MessageSize::Small, 1, app.LanguageText(kKeyNoTempFolder));
        return;
    }
    auto removeFolder = [&files, &folder]
    {
        OsError ignored;
        files.RemoveFolder(folder, ignored);
    };

    std::optional<FreeSpaceInfo> space =
        files.QueryFreeSpace(root, app.m_freeSpaceFunction == FreeSpaceFunction::Legacy, error);
    FreeSpaceInfo free = space.value_or(FreeSpaceInfo{});
    if (free.available == 0)
    {
        int key = free.totalFree == 0 ? kKeyDriveFull : kKeyNoSpaceForUser;
        Report(app, MessageSize::Small, 1, Substitute(app.LanguageText(key), {{"%c", drive}}));
        removeFolder();
        return;
    }
    if (free.available != free.totalFree)
    {
        std::string answer = Report(app, MessageSize::Middle, 3, app.LanguageText(kKeyQuota));
        if (!app.m_unattended && answer != kAnswerYes)
        {
            removeFolder();
            return;
        }
    }

    const std::uint64_t fileCount = TempFileCount(free.available);
    std::vector<TempFileRecord> records;
    try
    {
        records.resize(static_cast<std::size_t>(fileCount));
    }
    catch (const std::bad_alloc&)
    {
        Report(app, MessageSize::Small, 1, app.LanguageText(kKeyNoMemory));
        removeFolder();
        return;
    }

    if (!app.CreateProgressWindow())
    {
        removeFolder();
        return;
    }
    IProgressWindow& progress = *app.Progress();
    progress.SetCaption(app.LanguageText(kKeyCaption) + " " + drive);
    progress.SetLine(1, app.LanguageText(kKeyPreparing));
    progress.SetLine(2, app.LanguageText(kKeyFilling));
    progress.SetLine(3, app.LanguageText(kKeyWait));
    progress.SetRange(0, fileCount);
    progress.SetPosition(0);
    progress.Show();
    progress.Enable();
    progress.Repaint();

    FillPattern(app.m_overwriteBuffer.data(), app.m_overwriteBuffer.size(), 0, app.m_random);
    const std::string methodName = app.LanguageText(method == 0 ? kKeyQuickName : kKeyThoroughName);
    std::uint64_t made = 0;
    bool completed = true;
    for (std::uint64_t i = 0; i < fileCount; ++i)
    {
        TempFileRecord& record = records[static_cast<std::size_t>(i)];
        record.path = folder + "\\" + TempFileName(i);
        record.file = files.CreateForWriting(record.path, error);
        if (!record.file)
        {
            // Shown in every run: a wipe that cannot make its files did not
            // wipe, and the user should know even of a scheduled one.
            Report(app, MessageSize::Small, 1, app.LanguageText(kKeyNoTempFile), false);
            if (app.m_unattended)
            {
                app.RecordStatus(app.LanguageText(kKeyNoTempFile));
            }
            completed = false;
            break;
        }
        ++made;
        progress.SetLine(
            1, Substitute(app.LanguageText(kKeyFileLine), {{"%s", methodName},
                                                           {"%u", std::to_string(made)},
                                                           {"%t", std::to_string(fileCount)}}));
        FillResult result = FillTempFile(app, record);
        // Written through to the disk before the file is closed and deleted:
        // a deleted file's cached pages may never be written at all.
        OsError flushError;
        record.file->Flush(flushError);
        if (result == FillResult::WriteError || result == FillResult::Cancelled)
        {
            completed = false;
            break;
        }
    }

    if (completed && !app.m_cancel && method == 1)
    {
        for (std::uint64_t k = 0; k < made && !app.m_cancel; ++k)
        {
            TempFileRecord& record = records[static_cast<std::size_t>(k)];
            FreeSpaceRecord pass{record.file.get(), TempFileName(k), record.size};
            if (ShredFile(app, record.path, ShredMode::Normal, &pass, static_cast<int>(k + 1),
                          static_cast<int>(made)) != 0)
            {
                break;
            }
        }
    }

    progress.SetLine(1, app.LanguageText(kKeyWait));
    progress.SetLine(2, app.LanguageText(kKeyWait));
    progress.SetLine(3, "");
    progress.SetRange(0, fileCount);
    progress.SetPosition(0);
    progress.DisableCancel();
    progress.Repaint();

    for (std::uint64_t i = 0; i < fileCount; ++i)
    {
        TempFileRecord& record = records[static_cast<std::size_t>(i)];
        if (record.file)
        {
            record.file->Close();
            record.file.reset();
            OsError ignored;
            files.RemoveFile(record.path, ignored);
        }
        progress.SetPosition(i + 1);
        progress.Repaint();
    }
    records.clear();
    removeFolder();
    app.DestroyProgressWindow();
}

} // namespace qw
