#pragma once

// Fakes of the platform interfaces: they record what the program did and
// answer what a test sets up.

#include "app/shred_app.h"
#include "platform/file_system.h"
#include "platform/hasher.h"
#include "platform/modules.h"
#include "platform/named_mutex.h"
#include "platform/presenter.h"
#include "platform/progress.h"
#include "platform/runtime.h"
#include "platform/settings_store.h"
#include "platform/shell.h"
#include "platform/system_info.h"
#include "platform/text_codec.h"

#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace qw::test
{

std::string FoldKey(std::string_view name);

class CFakeSettingsStore : public ISettingsStore
{
public:
    using Value = std::variant<int, std::string>;

    int ReadInt(std::string_view name, int defaultValue) override;
    std::string ReadText(std::string_view name, std::string_view defaultValue) override;
    bool WriteInt(std::string_view name, int value) override;
    bool WriteText(std::string_view name, std::string_view value) override;

    std::map<std::string, Value> values; // by folded name
    std::vector<std::string> writes;     // names in the order written
};

// An in-memory tree. Files are `files` (path -> bytes), folders `folders`;
// `attributes` and `links` describe entries further. It records what the
// engine did and fails on request.
class CFakeFileSystem : public IFileSystem
{
public:
    std::optional<std::string> ReadWholeFile(const std::string& path) override;
    bool AppendToFile(const std::string& path, std::string_view bytes) override;
    std::optional<std::uint64_t> FileSize(const std::string& path) override
    {
        auto file = files.find(path);
        return file == files.end() ? std::nullopt
                                   : std::optional<std::uint64_t>(file->second.size());
    }
    std::optional<std::uint64_t> LastWriteTime(const std::string& path) override
    {
        auto time = writeTimes.find(path);
        return time == writeTimes.end() || !files.count(path)
                   ? std::nullopt
                   : std::optional<std::uint64_t>(time->second);
    }
    // As Win32 completes a name: rooted ones on the current folder's drive.
    std::string AbsolutePath(const std::string& path) override
    {
        bool absolute = (path.size() > 1 && path[1] == ':') || path.starts_with("\\\\");
        bool rooted = !path.empty() && path[0] == '\\';
        return absolute ? path
               : rooted ? currentFolder.substr(0, 2) + path
                        : currentFolder + "\\" + path;
    }
    std::optional<FileStatus> Status(const std::string& path, OsError& error) override;
    std::unique_ptr<IEntry> Open(const std::string& path, OsError& error) override;
    std::unique_ptr<IEntry> OpenIn(IEntry& folder, const std::string& name,
                                   OsError& error) override;
    bool List(IEntry& folder, std::vector<FolderEntry>& entries, OsError& error) override;
    bool SetNormalAttributes(IEntry& entry, OsError& error) override;
    std::unique_ptr<IOpenFile> OpenForOverwrite(IEntry& file, OsError& error) override;
    std::vector<std::string> Streams(IEntry& file) override;
    std::unique_ptr<IOpenFile> OpenStreamForOverwrite(IEntry& file, const std::string& stream,
                                                      OsError& error) override;
    std::vector<std::string> OtherNames(IEntry& file) override
    {
        auto it = otherNames.find(file.Path());
        return it == otherNames.end() ? std::vector<std::string>{} : it->second;
    }
    bool RenameIn(IEntry& folder, const std::string& from, const std::string& to,
                  OsError& error) override;
    bool RemoveIn(IEntry& folder, const std::string& name, RemoveKind kind,
                  OsError& error) override;
    bool RemoveFile(const std::string& path, OsError& error) override;
    bool RemoveFolder(const std::string& path, OsError& error) override;
    bool RemoveLink(const std::string& path, OsError& error);
    // A file (and its streams) moved or removed by its path.
    bool MoveEntry(const std::string& source, const std::string& target, OsError& error);
    bool RemoveFileAndStreams(const std::string& path, OsError& error);
    bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries,
                    OsError& error) override;
    std::string ErrorText(std::uint32_t code) override;
    bool CreateFolder(const std::string& path, OsError& error) override;
    std::unique_ptr<IOpenFile> CreateForWriting(const std::string& path, OsError& error) override;
    std::unique_ptr<IOpenFile> CreateNewForWriting(const std::string& path,
                                                   OsError& error) override;
    std::optional<FreeSpaceInfo> QueryFreeSpace(const std::string& root, bool legacy,
                                                OsError& error) override;

    struct Write
    {
        std::string path;
        std::uint64_t offset;
        std::string bytes;
    };

    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    std::map<std::string, FileStatus> attributes; // flags of files and folders
    // Hard links: a file's other names, reported by OtherNames (its link
    // count is set in `attributes`).
    std::map<std::string, std::vector<std::string>> otherNames;
    std::map<std::string, bool> links; // link path -> points to a folder
    // The identity a renamed file took with it, by folded path.
    std::map<std::string, std::uint64_t> movedIdentity;
    // Sizes of files whose content is not kept (huge files): writes are
    // recorded without their bytes.
    std::map<std::string, std::uint64_t> sizeOnly;

    std::vector<std::string> reads;
    std::vector<std::string> events; // "open P", "flush P", "truncate P N", "rename A B", ...
    std::vector<Write> writes;
    bool failAppends = false;
    // Appends to these paths fail (a log in a folder the user cannot write).
    std::set<std::string> failAppendsTo;
    // Last-write times of files appended to, from a counting clock.
    std::map<std::string, std::uint64_t> writeTimes;
    std::uint64_t clock = 0;
    std::set<std::string> failOpen, failDelete, failRemove, failList;
    std::set<std::string> failRename; // renames away from these fail (code 5)
    std::function<bool(const std::string&)> onDeleteFailsFor;
    int failWriteAt = -1;    // the n-th write (0-based) fails with disk full
    int failWritesFrom = -1; // the n-th write and all after it fail (code 1117)
    int writeCount = 0;
    // The n-th call (0-based) of each fails with an I/O error (code 1117).
    int failFlushAt = -1, failTruncateAt = -1, failCloseAt = -1;
    int flushCount = 0, truncateCount = 0, closeCount = 0;
    // Alternate data streams by file: their bytes live in `files` under
    // file path + stream name (":name:$DATA").
    std::map<std::string, std::vector<std::string>> streams;
    std::string currentFolder = "C:\\Work";
    // Runs before OpenIn answers: a test changes the tree between a listing
    // and the open of an entry.
    std::function<void(const std::string&)> beforeOpenIn;
    // Runs before a checked file is opened for writing.
    std::function<void(const std::string&)> beforeOverwriteOpen;
    // A write at (path, offset) for which this says true is reported done
    // but never made: a drive that loses data.
    std::function<bool(const std::string&, std::uint64_t)> loseWrite;
    // Runs inside each flush, on whichever thread flushes.
    std::function<void(const std::string&)> onFlush;
    // Runs before each reading back of an open file, from its start.
    std::function<void(const std::string&)> beforeReadBack;
    int readBacks = 0;
    std::set<std::string> failReadBack; // fails with a data error (23)
    // Files of `sizeOnly` that got bytes other than zeroes, which cannot be
    // read back; and the ranges of theirs whose writes were lost.
    std::set<std::string> sizeOnlyNotZero;
    std::map<std::string, std::map<std::uint64_t, std::uint64_t>> sizeOnlyLost;

    // Free space: what QueryFreeSpace reports, and the bytes writes may
    // still take (none kept); a larger write fails as "disk full".
    FreeSpaceInfo freeSpace;
    bool failFreeSpace = false;
    std::optional<std::uint64_t> spaceLeft;
    // A file no larger than this takes no space (NTFS keeps it in its record).
    std::uint64_t residentBytes = 0;
    std::optional<std::uint32_t> writeErrorCode; // every write fails with it
    std::set<std::string> failCreate;
    // Files and folders that can be made before the volume is full (no
    // records left), if limited.
    std::optional<std::size_t> fileLimit;
    std::size_t foldersMade = 0;
    std::vector<std::string> created; // files made by CreateForWriting
};

// The shell's Recycle Bin over the fake file system: each drive root has a
// size to report and a folder whose entries Empty deletes.
class CFakeShell : public IShell
{
public:
    std::optional<std::string> ParseDisplayPath(const std::string& path) override
    {
        auto it = displayPaths.find(path);
        if (it == displayPaths.end())
        {
            return std::nullopt;
        }
        return it->second;
    }
    std::unique_ptr<IRecycleBinFunctions> LoadRecycleBin(BinShell& state) override;
    std::vector<std::string> ShellBinFolders() override { return shellBinFolders; }

    std::map<std::string, std::string> displayPaths;
    BinShell binState = BinShell::Ready;
    CFakeFileSystem* files = nullptr;
    std::map<std::string, BinQuery> bins;                       // root -> query answer
    std::map<std::string, std::vector<std::string>> binFolders; // root -> folders Empty clears
    std::vector<std::string> shellBinFolders;
    std::vector<std::string> emptied; // roots, in order
    std::vector<std::string> queried;
};

class CFakeProgressWindow : public IProgressWindow
{
public:
    void SetCaption(const std::string& text) override { caption = text; }
    void SetLine(int line, const std::string& text) override;
    void SetRange(std::uint64_t low, std::uint64_t high) override { range = {low, high}; }
    void SetPosition(std::uint64_t value) override { position = value; }
    void Show() override { shown = true; }
    void Enable() override { enabled = true; }
    void Repaint() override { ++repaints; }
    void DisableCancel() override { cancelDisabled = true; }

    std::string caption;
    std::string lines[4];
    std::vector<std::string> lineHistory; // "n:text"
    std::pair<std::uint64_t, std::uint64_t> range{0, 0};
    std::uint64_t position = 0;
    bool shown = false;
    bool enabled = false;
    bool cancelDisabled = false;
    int repaints = 0;
};

class CFakeUserInterface : public IUserInterface
{
public:
    std::unique_ptr<IProgressWindow> CreateProgressWindow(const std::string& caption,
                                                          const std::string& cancelLabel,
                                                          std::function<void()> onCancel) override;
    void PumpMessages() override;
    // No real pause: the waits are counted.
    void Wait(std::chrono::milliseconds) override
    {
        ++waits;
        PumpMessages();
    }

    bool failCreate = false;
    int waits = 0;
    int created = 0;
    int pumps = 0;
    int cancelAtPump = -1; // presses Cancel during this pump (1-based)
    std::string lastCaption;
    std::vector<std::string> captions; // set after the window was made
    std::string lastCancelLabel;
    CFakeProgressWindow* window = nullptr; // the live window, if any
    std::function<void()> onCancel;
    std::function<void(int)> onPump;
};

// Bytes 0x80..0xFF are taken as Latin-1, enough to tell a converted pack.
class CLatin1Codec : public ITextCodec
{
public:
    std::string AnsiToUtf8(std::string_view text) override;
};

class CFakeSystemInfo : public ISystemInfo
{
public:
    std::string ProgramPath() override { return programPath; }
    std::uint32_t LogicalDriveMask() override { return driveMask; }
    DriveType DriveTypeOf(const std::string& root) override;
    std::string FileSystemName(const std::string& root) override;
    std::string WindowsDirectory() override { return windowsDirectory; }
    std::string SystemDirectory() override { return systemDirectory; }
    std::string SpecialFolder(int folderId) override;
    std::string LocalAppDataFolder() override { return localAppData; }
    OsVersion GetOsVersion() override { return version; }
    UserSidResult ReadUserSid() override
    {
        ++sidReads;
        return sid;
    }

    std::string ComputerName() override { return computerName; }
    std::string UserName() override { return userName; }
    std::chrono::system_clock::time_point Now() override { return now; }

    std::string programPath = "C:\\Program Files\\Quellwipe\\Quellwipe.exe";
    std::string computerName = "DESK-7";
    std::string userName = "u";
    // 2026-12-10 13:45:00 UTC
    std::chrono::system_clock::time_point now{std::chrono::seconds(1796910300)};
    std::string localAppData = "C:\\Users\\u\\AppData\\Local";
    std::uint32_t driveMask = 0;
    std::map<std::string, DriveType> driveTypes;
    std::map<std::string, std::string> fileSystems;
    std::string windowsDirectory = "C:\\WINDOWS";
    std::string systemDirectory = "C:\\WINDOWS\\system32";
    std::map<int, std::string> specialFolders;
    OsVersion version{2, 5, 1};
    UserSidResult sid;
    int sidReads = 0;
};

// The named mutexes of one machine, shared by the runs of a test. Every
// hold is recorded; a name in `unavailable` is never had.
class CFakeNamedMutexes : public INamedMutexes
{
public:
    std::unique_ptr<IHeldMutex> Hold(const std::string& name,
                                     std::chrono::milliseconds timeout) override;

    std::set<std::string> held;
    std::set<std::string> unavailable;
    std::vector<std::string> holds;
};

class CFakeRuntime : public IRuntime
{
public:
    void EnableControlHosting() override { hostingEnabled = true; }
    MutexResult CreateInstanceMutex(const std::string& name) override
    {
        mutexNames.push_back(name);
        return mutexResult;
    }
    bool InitializeCom() override { return comInitializes; }
    void UninitializeCom() override { ++comUninitializes; }

    bool hostingEnabled = false;
    MutexResult mutexResult = MutexResult::Created;
    std::vector<std::string> mutexNames;
    bool comInitializes = true;
    int comUninitializes = 0;
};

struct FakeModuleSpec
{
    std::set<std::string> exports;
    std::optional<ModuleVersion> version;
};

class CFakeModuleLoader : public IModuleLoader
{
public:
    CFakeModuleLoader();
    std::unique_ptr<ILoadedModule> Load(const std::string& name) override;

    std::map<std::string, FakeModuleSpec> modules; // by folded name; missing = not loadable
    std::vector<std::string> loaded;
    int unloaded = 0;
};

class CFakePresenter : public IMessagePresenter
{
public:
    std::string Show(const MessageRequest& request) override;
    ShellAlertResult ShowShellAlert(int frame, const std::string& text,
                                    const std::string& checkBoxLabel,
                                    const std::string& caption) override;

    std::deque<std::string> answers; // given in order; empty answer when none left
    std::vector<MessageRequest> shown;
    std::vector<ShellAlertResult> shellAlertAnswers;
    int shellAlerts = 0;
};

class CFakeMainWindow : public IMainWindow
{
public:
    void RunModal(CShredApp& app) override
    {
        ++runs;
        if (onRun)
        {
            onRun(app);
        }
    }
    int runs = 0;
    std::function<void(CShredApp&)> onRun; // what the person does in the window
};

class CFakeTargetsRun : public ITargetsRun
{
public:
    void Run(CShredApp& app) override
    {
        targetsSeen = app.m_targets;
        ++runs;
    }
    int runs = 0;
    std::vector<std::string> targetsSeen;
};

// The application after a test changed its fields: the engine reads the
// options filled from them.
inline CShredApp& Prepared(CShredApp& app)
{
    app.PrepareShredOptions();
    return app;
}

// A stand-in digest for the record's chain: 64 hex digits that change with
// any byte. The real ones are tested against known digests.
class CFakeSha256 : public ISha256
{
public:
    std::string Hex(std::string_view bytes) override
    {
        std::uint64_t hash = 0xCBF29CE484222325ull;
        for (char c : bytes)
        {
            hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
        }
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
        return std::string(text) + text + text + text;
    }
};

// Fakes of everything but the file system, which a test chooses: the fake
// one, a real one, or a recording wrapper around a real one.
template <typename FileSystem> struct FakePlatformOver
{
    FakePlatformOver() = default;
    FakePlatformOver(const FakePlatformOver&) = delete;
    FakePlatformOver& operator=(const FakePlatformOver&) = delete;

    CFakeSettingsStore settings;
    CFakeSystemInfo system;
    CFakeRuntime runtime;
    CFakeModuleLoader modules;
    FileSystem files;
    CLatin1Codec codec;
    CFakePresenter presenter;
    CFakeShell shell;
    CFakeUserInterface ui;
    CFakeMainWindow mainWindow;
    CFakeTargetsRun targetsRun;
    CFakeNamedMutexes mutexes;
    // Set as platform.sha256 by a test that reads the erasure record.
    CFakeSha256 sha;
    Platform platform{settings,  system, runtime, modules,    files,      codec,
                      presenter, shell,  ui,      mainWindow, targetsRun, mutexes};
};

// Every fake at once; the fake shell's bin works on the fake file system.
struct FakePlatform : FakePlatformOver<CFakeFileSystem>
{
    FakePlatform() { shell.files = &files; }
    // The program path is read when the application object is made.
    explicit FakePlatform(std::string programPath) : FakePlatform()
    {
        system.programPath = std::move(programPath);
    }
};

} // namespace qw::test
