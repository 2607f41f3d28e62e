// Times the real shredding engine against GNU shred on files of the same
// size in the same folder, in the same run, and prints the ratios.
//
// What each side does per pass:
// - engine: opens the file without O_DSYNC, writes 64 KiB blocks and calls
//   fdatasync at the end of each pass; after the last pass it truncates,
//   renames and deletes the file.
// - shred: switches the file to O_DIRECT, writes 64 KiB blocks and calls
//   fdatasync at the end of each pass (strace of coreutils 9.1). Without -u
//   it leaves the file in place, so its removal is not timed; the engine's
//   removal is timed on an empty file and printed separately.
//
// With --wipe it times the free-space wipe instead, against dd filling the
// same free space, on an ext4 image it makes and loop-mounts itself: a wipe
// fills the whole drive it runs on, so it never runs anywhere else.

#include "app/shred_app.h"
#include "engine/file_shredder.h"
#include "engine/folder_shredder.h"
#include "engine/free_space_wipe.h"
#include "engine/pattern.h"
#include "fakes/fake_platform.h"
#include "fakes/recording_file_system.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_paths.h"
#include "platform/setting_names.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace qw
{
namespace
{

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kMiB = 1024 * 1024;

struct Options
{
    std::uint64_t sizeMiB = 256;
    std::string dir;
    int passes = 1;
    int repeat = 3;
    bool ioProbe = false;
    bool wipe = false;
    std::uint64_t imageMiB = 256;
    // --time-path: one engine run on a given file or folder, for scripts
    // that time other tools on the same data in the same run.
    std::string timePath;
    std::string method = "quick";
    int verify = 1; // the last pass read back ("/V")
};

// The run's own folder, removed on failure too: it may hold large files.
std::string g_scratch;

// What a --wipe run made. The paths are set before the signal handlers are
// installed and not changed after, so the handlers may read them.
struct WipeScene
{
    std::string image;
    std::string mount;
    std::string log;
    std::string engineLog;
    std::uint64_t imageBytes = 0;
};
WipeScene g_scene;
volatile std::sig_atomic_t g_mounted = 0;
volatile std::sig_atomic_t g_child = 0;

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

sigset_t HandledSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : kHandledSignals)
    {
        sigaddset(&set, signal);
    }
    return set;
}

// True when nothing is mounted any more, so the folder may be removed
// without reaching into the image.
bool Unmount()
{
    if (!g_mounted)
    {
        return true;
    }
    const char* point = g_scene.mount.c_str();
    // EINVAL: not a mount point (the mount never happened).
    bool gone = ::umount2(point, 0) == 0 || errno == EINVAL;
    // Busy: detached now, freed when the last file in it closes.
    gone = gone || ::umount2(point, MNT_DETACH) == 0 || errno == EINVAL;
    if (!gone)
    {
        std::fprintf(stderr, "qw_bench: cannot unmount %s: %s; its image %s is left\n", point,
                     std::strerror(errno), g_scene.image.c_str());
        return false;
    }
    g_mounted = 0;
    return true;
}

void CleanUp()
{
    sigset_t handled = HandledSignals();
    ::sigprocmask(SIG_BLOCK, &handled, nullptr);
    if (g_child > 0)
    {
        ::kill(static_cast<pid_t>(g_child), SIGKILL);
        ::waitpid(static_cast<pid_t>(g_child), nullptr, 0);
        g_child = 0;
    }
    if (Unmount() && !g_scratch.empty())
    {
        std::error_code ec;
        fs::remove_all(g_scratch, ec);
        g_scratch.clear();
    }
}

// Async-signal-safe calls only: the child dies, the mount is detached and the
// image unlinked (its blocks are freed when the last file in it closes).
void OnSignal(int signal)
{
    pid_t child = static_cast<pid_t>(g_child);
    if (child > 0)
    {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
    }
    if (g_mounted)
    {
        ::umount2(g_scene.mount.c_str(), MNT_DETACH);
    }
    ::rmdir(g_scene.mount.c_str());
    ::unlink(g_scene.image.c_str());
    ::unlink(g_scene.log.c_str());
    ::unlink(g_scene.engineLog.c_str());
    ::rmdir(g_scratch.c_str());
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

void InstallSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    action.sa_mask = HandledSignals();
    for (int signal : kHandledSignals)
    {
        ::sigaction(signal, &action, nullptr);
    }
}

[[noreturn]] void Fail(const std::string& message)
{
    std::fprintf(stderr, "qw_bench: %s\n", message.c_str());
    CleanUp();
    std::exit(1);
}

void Usage(FILE* out)
{
    std::fprintf(out, "usage: qw_bench [--size MB] [--dir PATH] [--passes N] [--repeat R] "
                      "[--io-probe]\n"
                      "       qw_bench --wipe [--image-mb N] [--dir PATH] [--repeat R]\n"
                      "  --size MB     file size in MiB (default 256)\n"
                      "  --dir PATH    folder on the file system to test (default: under the "
                      "build folder);\n"
                      "                with --wipe, where the image file is made\n"
                      "  --passes N    pass count of the thorough method: 3*N passes (default 1)\n"
                      "  --repeat R    timed runs per tool and method, median reported "
                      "(default 3)\n"
                      "  --io-probe    also time one pass of plain writes in several modes\n"
                      "  --wipe        time the free-space wipe against dd instead, on an ext4 "
                      "image\n"
                      "                made and loop-mounted for it (needs root)\n"
                      "  --image-mb N  size of that image in MiB (default 256)\n"
                      "       qw_bench --time-path PATH [--method quick|thorough|folder] "
                      "[--verify 0|1]\n"
                      "  shreds the existing file (or, with folder, the whole folder, quick\n"
                      "  method) once with the engine and prints the seconds it took\n");
}

long long PositiveNumber(const char* option, const char* text)
{
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < 1)
    {
        Fail(std::string(option) + " needs a positive whole number, not '" + text + "'");
    }
    return value;
}

Options ParseOptions(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i)
    {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
        {
            Usage(stdout);
            std::exit(0);
        }
        if (arg == "--io-probe")
        {
            options.ioProbe = true;
            continue;
        }
        if (arg == "--wipe")
        {
            options.wipe = true;
            continue;
        }
        if (i + 1 >= argc)
        {
            Usage(stderr);
            Fail("missing value after " + arg);
        }
        const char* value = argv[++i];
        if (arg == "--size")
        {
            options.sizeMiB = static_cast<std::uint64_t>(PositiveNumber("--size", value));
        }
        else if (arg == "--dir")
        {
            options.dir = value;
        }
        else if (arg == "--passes")
        {
            options.passes = static_cast<int>(std::min(PositiveNumber("--passes", value), 1000LL));
        }
        else if (arg == "--image-mb")
        {
            options.imageMiB = static_cast<std::uint64_t>(
                std::min(PositiveNumber("--image-mb", value), 1LL << 24));
        }
        else if (arg == "--time-path")
        {
            options.timePath = value;
        }
        else if (arg == "--method")
        {
            options.method = value;
            if (options.method != "quick" && options.method != "thorough" &&
                options.method != "folder")
            {
                Fail("--method is quick, thorough or folder, not '" + options.method + "'");
            }
        }
        else if (arg == "--verify")
        {
            options.verify = std::atoi(value) != 0 ? 1 : 0;
        }
        else if (arg == "--repeat")
        {
            options.repeat = static_cast<int>(std::min(PositiveNumber("--repeat", value), 1000LL));
        }
        else
        {
            Usage(stderr);
            Fail("unknown option " + arg);
        }
    }
    if (options.dir.empty())
    {
        options.dir = QW_BENCH_SCRATCH;
    }
    return options;
}

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// Mount points in /proc/self/mounts escape blanks as octal (\040).
std::string Unescape(const std::string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] == '\\' && i + 3 < text.size())
        {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 3), nullptr, 8));
            i += 3;
        }
        else
        {
            out += text[i];
        }
    }
    return out;
}

// The type of the mount holding `dir` (longest mount point that is a prefix
// of its real path): "ext4" rather than the shared ext2/3/4 magic of statfs.
std::string FileSystemType(const std::string& dir)
{
    std::error_code ec;
    std::string real = fs::canonical(dir, ec).string();
    std::ifstream mounts("/proc/self/mounts");
    std::string line, best, bestType;
    while (std::getline(mounts, line))
    {
        std::istringstream fields(line);
        std::string device, point, type;
        fields >> device >> point >> type;
        point = Unescape(point);
        bool inside = real == point || point == "/" ||
                      (real.compare(0, point.size(), point) == 0 && real[point.size()] == '/');
        if (inside && point.size() >= best.size())
        {
            best = point;
            bestType = type;
        }
    }
    if (!bestType.empty())
    {
        return bestType;
    }
    struct statfs st;
    if (::statfs(dir.c_str(), &st) != 0)
    {
        return "unknown";
    }
    char magic[32];
    std::snprintf(magic, sizeof magic, "0x%lx", static_cast<unsigned long>(st.f_type));
    return magic;
}

// The first line of `program --version`.
std::string ProgramVersion(const std::string& program)
{
    FILE* pipe = ::popen((program + " --version 2>/dev/null").c_str(), "r");
    if (!pipe)
    {
        return {};
    }
    char line[256] = {};
    bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    ::pclose(pipe);
    std::string text = got ? line : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    {
        text.pop_back();
    }
    return text;
}

void SyncPath(const std::string& path, int flags)
{
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0)
    {
        Fail("cannot sync " + path + ": " + std::strerror(errno));
    }
    ::close(fd);
}

// A fresh file of non-zero bytes whose data is on the disk before timing,
// so both tools overwrite allocated blocks that are clean in the cache.
void MakeVictim(const std::string& path, std::uint64_t size, const std::vector<std::uint8_t>& fill)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
    {
        Fail("cannot create " + path + ": " + std::strerror(errno));
    }
    std::uint64_t left = size;
    while (left > 0)
    {
        std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, fill.size()));
        ssize_t wrote = ::write(fd, fill.data(), chunk);
        if (wrote <= 0)
        {
            Fail("cannot write " + path + ": " + std::strerror(wrote < 0 ? errno : ENOSPC));
        }
        left -= static_cast<std::uint64_t>(wrote);
    }
    if (::fsync(fd) != 0)
    {
        Fail("cannot sync " + path + ": " + std::strerror(errno));
    }
    ::close(fd);
    SyncPath(fs::path(path).parent_path().string(), O_RDONLY | O_DIRECTORY);
}

// What the engine asked of the disk, and how long the calls took: tells
// where a run's time goes.
struct IoStats
{
    std::uint64_t bytes = 0; // written by calls that succeeded
    std::uint64_t writes = 0;
    std::uint64_t failedWrites = 0;
    std::uint64_t flushes = 0;
    std::uint64_t created = 0;
    Clock::duration writeTime{};
    Clock::duration flushTime{};
};

class CTimedFile : public IOpenFile
{
public:
    CTimedFile(std::unique_ptr<IOpenFile> file, IoStats& stats)
        : m_file(std::move(file)), m_stats(stats)
    {
    }
    bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size,
                 OsError& error) override
    {
        Clock::time_point start = Clock::now();
        bool ok = m_file->WriteAt(offset, data, size, error);
        m_stats.writeTime += Clock::now() - start;
        ++(ok ? m_stats.writes : m_stats.failedWrites);
        m_stats.bytes += ok ? size : 0;
        return ok;
    }
    bool Flush(OsError& error) override
    {
        Clock::time_point start = Clock::now();
        bool ok = m_file->Flush(error);
        m_stats.flushTime += Clock::now() - start;
        ++m_stats.flushes;
        return ok;
    }
    bool Truncate(std::uint64_t size, OsError& error) override
    {
        return m_file->Truncate(size, error);
    }
    std::optional<std::uint64_t> Size(OsError& error) override { return m_file->Size(error); }
    std::optional<std::span<const std::uint8_t>> ReadBack(std::uint64_t offset, std::size_t most,
                                                          OsError& error) override
    {
        return m_file->ReadBack(offset, most, error);
    }
    bool Close(OsError& error) override { return m_file->Close(error); }
    bool Rename(IEntry& folder, const std::string& from, const std::string& to,
                OsError& error) override
    {
        return m_file->Rename(folder, from, to, error);
    }
    bool Delete(IEntry& folder, const std::string& name, OsError& error) override
    {
        return m_file->Delete(folder, name, error);
    }

private:
    std::unique_ptr<IOpenFile> m_file;
    IoStats& m_stats;
};

// Times the engine's writes and flushes on the real POSIX file system.
class CTimedFileSystem : public test::CFileSystemDecorator<CPosixFileSystem>
{
public:
    IoStats stats;

protected:
    std::unique_ptr<IOpenFile> Wrap(const std::string& path,
                                    std::unique_ptr<IOpenFile> file) override
    {
        // Only the wipe makes files; the shredder opens existing ones.
        stats.created += path.find("SHREDTMP") != std::string::npos ? 1 : 0;
        return std::make_unique<CTimedFile>(std::move(file), stats);
    }
};

// The real POSIX file system; fakes for everything that is not the disk.
struct BenchEngine : test::FakePlatformOver<CTimedFileSystem>
{
    explicit BenchEngine(const std::string& folder)
    {
        std::string winFolder = FromPosixPath(folder);
        system.programPath = winFolder + "\\Quellwipe.exe";
        // Any log entry of a failed run lands in the scratch folder.
        settings.WriteText(kAppPath, winFolder);
        app = std::make_unique<CShredApp>(platform);
        if (app->InitInstance("") != StartOutcome::Completed)
        {
            Fail("the application object did not start");
        }
        app->m_unattended = true;
    }

    IoStats& io = files.stats;
    std::unique_ptr<CShredApp> app;
};

double TimeEngine(BenchEngine& engine, const std::string& path, int method, int passes)
{
    CShredApp& app = *engine.app;
    app.m_cmdMethod = method;
    app.m_cmdPasses = passes;
    app.m_runStatus.clear();
    app.PrepareShredOptions();
    Clock::time_point start = Clock::now();
    int stop = ShredFile(app, FromPosixPath(path), ShredMode::Normal);
    double seconds = Seconds(Clock::now() - start);
    app.DestroyProgressWindow();
    if (stop != 0 || !app.m_runStatus.empty() || fs::exists(path))
    {
        Fail("the engine did not shred " + path + " (" + app.m_runStatus + ")");
    }
    return seconds;
}

double TimeShred(const std::string& path, const std::vector<std::string>& arguments)
{
    std::vector<std::string> words = {"shred"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    words.push_back(path);
    std::vector<char*> argv;
    for (std::string& word : words)
    {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    Clock::time_point start = Clock::now();
    pid_t pid = 0;
    int spawned = ::posix_spawnp(&pid, "shred", nullptr, nullptr, argv.data(), environ);
    if (spawned != 0)
    {
        Fail(std::string("cannot start GNU shred: ") + std::strerror(spawned));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR)
    {
    }
    double seconds = Seconds(Clock::now() - start);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    {
        Fail("GNU shred failed on " + path);
    }
    fs::remove(path);
    return seconds;
}

struct MethodResult
{
    std::string name;
    int passesWritten = 0;
    std::vector<double> engine;
    std::vector<double> shred;
};

// Engine and shred alternate who goes first, so drift of the disk (cache,
// journal, thermal) does not favour one of them.
MethodResult Measure(const Options& options, BenchEngine& engine, const std::string& folder,
                     const std::vector<std::uint8_t>& fill, const std::string& name, int method,
                     int enginePasses, int passesWritten, const std::vector<std::string>& shredArgs)
{
    MethodResult result{name, passesWritten, {}, {}};
    std::uint64_t size = options.sizeMiB * kMiB;
    for (int r = 0; r < options.repeat; ++r)
    {
        for (int turn = 0; turn < 2; ++turn)
        {
            bool engineTurn = (turn == 0) == (r % 2 == 0);
            std::string path = folder + "/" + name + "-" + std::to_string(r) +
                               (engineTurn ? "-engine.dat" : "-shred.dat");
            MakeVictim(path, size, fill);
            if (engineTurn)
            {
                result.engine.push_back(TimeEngine(engine, path, method, enginePasses));
            }
            else
            {
                result.shred.push_back(TimeShred(path, shredArgs));
            }
        }
    }
    return result;
}

// MB/s of FillPattern over the engine's 64 KiB buffer for about a second.
double PatternRate(int pattern)
{
    std::vector<std::uint8_t> buffer(kBlockSize, 0x5A);
    CRandom random(12345);
    std::uint64_t bytes = 0;
    unsigned sink = 0;
    Clock::time_point start = Clock::now();
    double elapsed = 0;
    while (elapsed < 1.0)
    {
        for (int i = 0; i < 64; ++i)
        {
            FillPattern(buffer.data(), buffer.size(), pattern, random);
            sink += buffer[static_cast<std::size_t>(i) * 1000];
        }
        bytes += 64 * kBlockSize;
        elapsed = Seconds(Clock::now() - start);
    }
    // The sum keeps the fills observable.
    if (sink == 0xFFFFFFFFu)
    {
        std::puts("");
    }
    return static_cast<double>(bytes) / kMiB / elapsed;
}

// One pass of plain pwrites in a given open mode and block size, ending in
// fdatasync like every engine pass: tells what the open mode costs.
struct WriteMode
{
    const char* name;
    int flags;
    std::size_t block;
};

constexpr WriteMode kWriteModes[] = {
    {"O_DSYNC, 64 KiB", O_DSYNC, kBlockSize},
    {"O_DIRECT, 64 KiB (shred)", O_DIRECT, kBlockSize},
    {"buffered, 64 KiB (engine)", 0, kBlockSize},
    {"O_DSYNC, 1 MiB", O_DSYNC, kMiB},
};

// Median seconds, or nothing when the file system refuses the mode.
std::optional<double> TimeWriteMode(const WriteMode& mode, const std::string& folder,
                                    std::uint64_t size, int repeat,
                                    const std::vector<std::uint8_t>& fill)
{
    // O_DIRECT needs an aligned buffer.
    void* raw = std::aligned_alloc(4096, kMiB);
    if (!raw)
    {
        Fail("out of memory");
    }
    std::unique_ptr<void, decltype(&std::free)> buffer(raw, &std::free);
    std::memcpy(raw, fill.data(), kMiB);
    std::vector<double> times;
    for (int r = 0; r < repeat; ++r)
    {
        std::string path = folder + "/probe-" + std::to_string(r) + ".dat";
        MakeVictim(path, size, fill);
        Clock::time_point start = Clock::now();
        int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | mode.flags);
        bool ok = fd >= 0;
        for (std::uint64_t offset = 0; ok && offset < size; offset += mode.block)
        {
            std::size_t bytes =
                static_cast<std::size_t>(std::min<std::uint64_t>(mode.block, size - offset));
            ok =
                ::pwrite(fd, raw, bytes, static_cast<off_t>(offset)) == static_cast<ssize_t>(bytes);
        }
        ok = ok && ::fdatasync(fd) == 0;
        double seconds = Seconds(Clock::now() - start);
        if (fd >= 0)
        {
            ::close(fd);
        }
        fs::remove(path);
        if (!ok)
        {
            return std::nullopt;
        }
        times.push_back(seconds);
    }
    return Median(times);
}

double EngineEmptyFileCost(BenchEngine& engine, const std::string& folder, int repeat)
{
    std::vector<double> times;
    std::vector<std::uint8_t> none;
    for (int r = 0; r < std::max(repeat, 5); ++r)
    {
        std::string path = folder + "/empty-" + std::to_string(r) + ".dat";
        MakeVictim(path, 0, none);
        times.push_back(TimeEngine(engine, path, 0, 1));
    }
    return Median(times);
}

std::string Format(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string RunList(const std::vector<double>& runs)
{
    std::string text;
    for (double seconds : runs)
    {
        text += (text.empty() ? "" : " ") + Format("%.3f", seconds);
    }
    return text;
}

// --- free-space wipe ---------------------------------------------------------

constexpr std::uint64_t kImageMargin = 1024 * kMiB;
constexpr std::uint64_t kBlockOfImage = 4096;

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs a program to its end, its output in the scene's log. The child is
// known to the signal handler from the moment it exists. Returns the exit
// status (-1 when it did not start or was killed) and the wall time.
int RunProgram(const std::vector<std::string>& words, double* seconds = nullptr)
{
    std::vector<std::string> copy = words;
    std::vector<char*> argv;
    for (std::string& word : copy)
    {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, g_scene.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, handled = HandledSignals(), old;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &handled);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    ::sigprocmask(SIG_BLOCK, &handled, &old);
    Clock::time_point start = Clock::now();
    pid_t pid = 0;
    int spawned = ::posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    if (spawned == 0)
    {
        g_child = pid;
    }
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0)
    {
        Fail("cannot start " + words[0] + ": " + std::strerror(spawned));
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR)
    {
    }
    if (seconds)
    {
        *seconds = Seconds(Clock::now() - start);
    }
    g_child = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void RunOrFail(const std::vector<std::string>& words, const std::string& what)
{
    if (RunProgram(words) != 0)
    {
        std::string output = ReadText(g_scene.log);
        while (!output.empty() && output.back() == '\n')
        {
            output.pop_back();
        }
        Fail(what + " failed" + (output.empty() ? "" : ":\n" + output));
    }
}

// Every block written now, so no timed run pays for the host file system
// allocating the image's blocks on first write.
void MakeImage(const std::string& path, std::uint64_t mib)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
    {
        Fail("cannot create " + path + ": " + std::strerror(errno));
    }
    std::vector<std::uint8_t> zeroes(kMiB, 0);
    for (std::uint64_t i = 0; i < mib; ++i)
    {
        if (::write(fd, zeroes.data(), zeroes.size()) != static_cast<ssize_t>(zeroes.size()))
        {
            ::close(fd);
            Fail("cannot write " + path + ": " + std::strerror(errno));
        }
    }
    if (::fsync(fd) != 0)
    {
        ::close(fd);
        Fail("cannot sync " + path + ": " + std::strerror(errno));
    }
    ::close(fd);
}

// The wipe fills whatever holds the folder, so it runs only where the
// image this run made is mounted: the mount point's last entry is ext4 on
// a loop device backed by that image, and no bigger than it.
void CheckOwnMount()
{
    const std::string& point = g_scene.mount;
    std::string device, type;
    std::ifstream mounts("/proc/self/mounts");
    std::string line;
    while (std::getline(mounts, line))
    {
        std::istringstream fields(line);
        std::string entryDevice, entryPoint, entryType;
        fields >> entryDevice >> entryPoint >> entryType;
        if (Unescape(entryPoint) == point)
        {
            device = entryDevice;
            type = entryType;
        }
    }
    std::string refusal;
    if (device.empty())
    {
        refusal = "nothing is mounted there";
    }
    else if (type != "ext4" || device.rfind("/dev/loop", 0) != 0)
    {
        refusal = "it holds " + type + " on " + device + ", not ext4 on a loop device";
    }
    else
    {
        std::string backing =
            ReadText("/sys/block/" + fs::path(device).filename().string() + "/loop/backing_file");
        while (!backing.empty() && backing.back() == '\n')
        {
            backing.pop_back();
        }
        struct stat pointStatus, parentStatus;
        struct statvfs space;
        if (backing != g_scene.image)
        {
            refusal = device + " is backed by '" + backing + "', not this run's image";
        }
        else if (::stat(point.c_str(), &pointStatus) != 0 ||
                 ::stat(fs::path(point).parent_path().c_str(), &parentStatus) != 0 ||
                 pointStatus.st_dev == parentStatus.st_dev)
        {
            refusal = "it is not a file system of its own";
        }
        else if (::statvfs(point.c_str(), &space) != 0 ||
                 static_cast<std::uint64_t>(space.f_blocks) * space.f_frsize > g_scene.imageBytes)
        {
            refusal = "it is bigger than the image";
        }
    }
    if (!refusal.empty())
    {
        Fail("refusing to wipe the free space of " + point + ": " + refusal);
    }
}

struct FreeState
{
    std::uint64_t available = 0; // bytes, as the wipe sees them
    std::uint64_t freeBlocks = 0;
    std::uint64_t freeInodes = 0;
    bool operator==(const FreeState&) const = default;
};

// After syncfs, so the previous run's deletions are done and no write of
// it lands in the next timed run.
FreeState ReadFree()
{
    int fd = ::open(g_scene.mount.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 || ::syncfs(fd) != 0)
    {
        Fail("cannot sync " + g_scene.mount + ": " + std::strerror(errno));
    }
    ::close(fd);
    struct statvfs space;
    if (::statvfs(g_scene.mount.c_str(), &space) != 0)
    {
        Fail("cannot read the free space of " + g_scene.mount + ": " + std::strerror(errno));
    }
    return {static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize,
            static_cast<std::uint64_t>(space.f_bfree), static_cast<std::uint64_t>(space.f_ffree)};
}

// Entries in the mount's root that a fresh ext4 does not have.
std::string Leftovers()
{
    std::string names;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(g_scene.mount, ec))
    {
        std::string name = entry.path().filename().string();
        if (name != "lost+found")
        {
            names += (names.empty() ? "" : " ") + name;
        }
    }
    return names;
}

enum WipeTool
{
    kEngine,
    kDdFdatasync,
    kDdDsync,
    kWipeTools
};

constexpr const char* kWipeToolNames[kWipeTools] = {"engine", "dd conv=fdatasync",
                                                    "dd oflag=dsync"};

double TimeWipe(BenchEngine& engine, const std::string& root)
{
    CShredApp& app = *engine.app;
    app.m_cmdMethod = 0;
    app.m_cmdPasses = 1;
    app.m_cancel = 0;
    app.m_runStatus.clear();
    app.PrepareShredOptions();
    engine.io = IoStats{};
    Clock::time_point start = Clock::now();
    WipeFreeSpace(app, root);
    return Seconds(Clock::now() - start);
}

// dd's time includes removing its file, as the wipe's includes removing
// its fillers. Like the wipe, dd may find the drive full a few blocks early
// (the file system's own records of the file take them); that is noted.
double TimeDd(std::uint64_t bytes, const char* flag, std::string& note)
{
    std::string path = g_scene.mount + "/ddfill";
    double seconds = 0;
    int status = RunProgram({"dd", "if=/dev/zero", "of=" + path, "bs=64K", "iflag=count_bytes",
                             "count=" + std::to_string(bytes), flag},
                            &seconds);
    CheckOwnMount();
    std::error_code ec;
    std::uint64_t written = fs::file_size(path, ec);
    if (ec)
    {
        Fail("dd left no file " + path + ": " + ec.message() + "\n" + ReadText(g_scene.log));
    }
    Clock::time_point start = Clock::now();
    fs::remove(path, ec);
    seconds += Seconds(Clock::now() - start);
    std::string output = ReadText(g_scene.log);
    bool full = output.find("No space left on device") != std::string::npos;
    if (written > bytes || written + kMiB < bytes || (status != 0 && !full))
    {
        Fail(std::string("dd ") + flag + " wrote " + std::to_string(written) + " of " +
             std::to_string(bytes) + " bytes:\n" + output);
    }
    if (written < bytes)
    {
        note = std::string("dd ") + flag + " found the drive full " +
               std::to_string(bytes - written) + " bytes early";
    }
    return seconds;
}

double Rate(std::uint64_t bytes, double seconds)
{
    return static_cast<double>(bytes) / kMiB / seconds;
}

int WipeMain(const Options& options, const std::string& folder)
{
    std::uint64_t imageBytes = options.imageMiB * kMiB;
    struct statvfs host;
    if (::statvfs(folder.c_str(), &host) != 0 ||
        static_cast<std::uint64_t>(host.f_bavail) * host.f_frsize < imageBytes + kImageMargin)
    {
        Fail("not enough free space in " + options.dir + " for a " +
             std::to_string(options.imageMiB) + " MiB image and 1 GiB to spare");
    }
    g_scene.image = folder + "/image.ext4";
    g_scene.mount = folder + "/mnt";
    g_scene.log = folder + "/tool.log";
    g_scene.engineLog = folder + "/log.txt";
    g_scene.imageBytes = imageBytes;
    InstallSignalHandlers();

    MakeImage(g_scene.image, options.imageMiB);
    // No root reserve: the wipe running as root would fill it, dd and the
    // free space statvfs gives would not. No discard: freeing blocks must not
    // punch holes in the image. Inode tables and journal written now, not by
    // a kernel thread during the timed runs.
    RunOrFail({"mkfs.ext4", "-q", "-F", "-b", std::to_string(kBlockOfImage), "-m", "0", "-E",
               "nodiscard,lazy_itable_init=0,lazy_journal_init=0", "-L", "QWBENCH", g_scene.image},
              "mkfs.ext4 on " + g_scene.image);
    if (::mkdir(g_scene.mount.c_str(), 0700) != 0)
    {
        Fail("cannot make " + g_scene.mount + ": " + std::strerror(errno));
    }
    g_mounted = 1;
    RunOrFail({"mount", "-o", "loop,noatime", g_scene.image, g_scene.mount},
              "loop-mounting " + g_scene.image);
    CheckOwnMount();

    const FreeState fresh = ReadFree();
    std::string root = FromPosixPath(g_scene.mount + "/");
    BenchEngine engine(folder);
    if (engine.app->m_freeSpaceFunction != FreeSpaceFunction::Extended)
    {
        Fail("the application object did not choose the extended free-space query");
    }

    std::printf("free-space wipe, quick method (one pass of zeroes): engine vs %s\n",
                ProgramVersion("dd").c_str());
    std::printf("image %llu MiB ext4 (4 KiB blocks, no root reserve), loop-mounted at %s\n",
                static_cast<unsigned long long>(options.imageMiB), g_scene.mount.c_str());
    std::printf("free before each run: %llu bytes (%.1f MiB) available, %llu blocks free; "
                "%d runs each, median\n",
                static_cast<unsigned long long>(fresh.available),
                static_cast<double>(fresh.available) / kMiB,
                static_cast<unsigned long long>(fresh.freeBlocks), options.repeat);
    std::printf("MB = 2^20 bytes; MB/s = available bytes / wall time (engine: the whole "
                "WipeFreeSpace call; dd: dd run + removing its file)\n");
    std::fflush(stdout);

    std::vector<double> times[kWipeTools];
    std::vector<IoStats> engineIo;
    std::vector<std::string> anomalies;
    std::vector<std::string> notes;
    std::string status;
    for (int r = 0; r < options.repeat; ++r)
    {
        for (int turn = 0; turn < kWipeTools; ++turn)
        {
            int tool = (r + turn) % kWipeTools;
            CheckOwnMount();
            FreeState before = ReadFree();
            if (tool == kEngine)
            {
                times[tool].push_back(TimeWipe(engine, root));
                engineIo.push_back(engine.io);
                if (!engine.app->m_runStatus.empty())
                {
                    status = engine.app->m_runStatus;
                }
                // Nearly all of it: the last chunk that no longer fits, and
                // blocks the file system takes for the fillers' own records,
                // stay unwritten.
                if (engine.io.bytes + kMiB < before.available)
                {
                    anomalies.push_back("run " + std::to_string(r + 1) + ": the engine wrote " +
                                        std::to_string(engine.io.bytes) + " of " +
                                        std::to_string(before.available) + " bytes");
                }
            }
            else
            {
                std::string note;
                times[tool].push_back(
                    TimeDd(before.available,
                           tool == kDdFdatasync ? "conv=fdatasync" : "oflag=dsync", note));
                if (!note.empty())
                {
                    notes.push_back("run " + std::to_string(r + 1) + ": " + note);
                }
            }
            CheckOwnMount();
            FreeState after = ReadFree();
            std::string left = Leftovers();
            if (!(after == fresh) || !left.empty())
            {
                anomalies.push_back(
                    "run " + std::to_string(r + 1) + ", " + kWipeToolNames[tool] +
                    ": free space not back: available " + std::to_string(after.available) +
                    " (was " + std::to_string(fresh.available) + "), free blocks " +
                    std::to_string(after.freeBlocks) + " (" + std::to_string(fresh.freeBlocks) +
                    "), free inodes " + std::to_string(after.freeInodes) + " (" +
                    std::to_string(fresh.freeInodes) + ")" +
                    (left.empty() ? "" : ", left: " + left));
            }
        }
    }
    std::string fsType = FileSystemType(g_scene.mount);
    CleanUp();

    std::printf("\n%-18s %9s %9s  %s\n", "tool", "median s", "MB/s", "runs (s)");
    double rates[kWipeTools];
    for (int tool = 0; tool < kWipeTools; ++tool)
    {
        double median = Median(times[tool]);
        rates[tool] = Rate(fresh.available, median);
        std::printf("%-18s %9.3f %9.1f  %s\n", kWipeToolNames[tool], median, rates[tool],
                    RunList(times[tool]).c_str());
    }

    std::printf("\nengine, per run: bytes written, files, writes (failed at the full drive), "
                "time in pwrite / fdatasync / the rest (s)\n");
    for (std::size_t i = 0; i < engineIo.size(); ++i)
    {
        const IoStats& io = engineIo[i];
        double write = Seconds(io.writeTime);
        double flush = Seconds(io.flushTime);
        std::printf("  %llu  %llu  %llu (%llu)  %.3f / %.3f / %.3f\n",
                    static_cast<unsigned long long>(io.bytes),
                    static_cast<unsigned long long>(io.created),
                    static_cast<unsigned long long>(io.writes),
                    static_cast<unsigned long long>(io.failedWrites), write, flush,
                    times[kEngine][i] - write - flush);
    }
    if (!status.empty())
    {
        // Without a language file every message text reads "Error".
        std::printf("engine run status: %s", status.c_str());
        std::uint64_t freeBytes = fresh.freeBlocks * kBlockOfImage;
        if (freeBytes != fresh.available)
        {
            std::printf(
                " (expected: the wipe reports when less is available than free, and "
                "ext4 holds back %llu free blocks for itself)",
                static_cast<unsigned long long>((freeBytes - fresh.available) / kBlockOfImage));
        }
        std::printf("\n");
    }
    for (const std::string& note : notes)
    {
        std::printf("note: %s\n", note.c_str());
    }
    if (anomalies.empty())
    {
        std::printf("after every run the free space was back to where it started, nothing left\n");
    }
    for (const std::string& anomaly : anomalies)
    {
        std::printf("ODD: %s\n", anomaly.c_str());
    }

    std::printf("\nwipe: engine %.1f MB/s, dd conv=fdatasync %.1f MB/s, ratio %.2f (%llu MiB "
                "image, %s)\n",
                rates[kEngine], rates[kDdFdatasync], rates[kEngine] / rates[kDdFdatasync],
                static_cast<unsigned long long>(options.imageMiB), fsType.c_str());
    std::printf("      dd oflag=dsync %.1f MB/s, ratio engine/that %.2f\n", rates[kDdDsync],
                rates[kEngine] / rates[kDdDsync]);
    return anomalies.empty() ? 0 : 1;
}

// One engine run on data a script made: a file by the method, or a whole
// folder tree quick, subfolders shredded and removed (as "/F2 /R2").
int TimePathMain(const Options& options)
{
    std::error_code ec;
    const fs::path target = fs::absolute(options.timePath);
    if (!fs::exists(target, ec))
    {
        Fail("nothing at " + target.string());
    }
    const bool folder = options.method == "folder";
    if (folder != fs::is_directory(target, ec))
    {
        Fail(target.string() + (folder ? " is no folder" : " is no file"));
    }
    BenchEngine engine(target.parent_path().string());
    CShredApp& app = *engine.app;
    app.m_cmdMethod = options.method == "thorough" ? 1 : 0;
    app.m_cmdPasses = options.method == "thorough" ? options.passes : 1;
    app.m_cmdFolderRule = 2;
    app.m_cmdRemoveRule = 2;
    app.m_cmdVerify = options.verify;
    app.PrepareShredOptions();
    const std::string path = FromPosixPath(target.string());
    Clock::time_point start = Clock::now();
    if (folder)
    {
        ShredFolderTarget(app, path, false);
    }
    else
    {
        ShredFile(app, path, ShredMode::Normal);
    }
    double seconds = Seconds(Clock::now() - start);
    app.DestroyProgressWindow();
    if (!app.m_runStatus.empty() || fs::exists(target, ec))
    {
        Fail("the engine did not shred " + target.string() + " (" + app.m_runStatus + ")");
    }
    std::printf("%.3f\n", seconds);
    return 0;
}

int Main(int argc, char** argv)
{
    Options options = ParseOptions(argc, argv);
    if (!options.timePath.empty())
    {
        return TimePathMain(options);
    }
    if (options.wipe && ::geteuid() != 0)
    {
        Fail("--wipe needs root: it makes an ext4 image and loop-mounts it, so the wipe fills "
             "only that image");
    }
    std::error_code ec;
    if (options.dir == QW_BENCH_SCRATCH)
    {
        // Only our own scratch folder is made; a mistyped --dir is an error.
        fs::create_directories(options.dir, ec);
    }
    std::string pattern = (fs::path(options.dir) / "qw-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
    {
        Fail("cannot make a folder in " + options.dir + ": " + std::strerror(errno));
    }
    std::string folder = fs::canonical(pattern).string();
    g_scratch = folder;
    if (options.wipe)
    {
        return WipeMain(options, folder);
    }
    std::uint64_t size = options.sizeMiB * kMiB;

    struct statvfs space;
    if (::statvfs(folder.c_str(), &space) == 0 &&
        static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize < size + 64 * kMiB)
    {
        Fail("not enough free space in " + options.dir + " for a " +
             std::to_string(options.sizeMiB) + " MiB file");
    }
    std::string fsType = FileSystemType(folder);

    std::printf("engine vs %s\n", ProgramVersion("shred").c_str());
    std::printf("folder %s (%s), file %llu MiB, %d runs each, median\n", folder.c_str(),
                fsType.c_str(), static_cast<unsigned long long>(options.sizeMiB), options.repeat);
    std::printf("MB = 2^20 bytes; MB/s = bytes written (size x passes) / wall time\n");
    if (fsType == "tmpfs" || fsType == "ramfs")
    {
        std::printf("note: %s is memory, not a disk\n", fsType.c_str());
    }
    std::fflush(stdout);

    std::vector<std::uint8_t> fill(4 * kMiB);
    CRandom seed(0xC0FFEE);
    FillPattern(fill.data(), fill.size(), 1, seed);

    BenchEngine engine(folder);
    int thoroughPasses = 3 * options.passes;
    std::vector<MethodResult> results;
    results.push_back(Measure(options, engine, folder, fill, "quick", 0, 1, 1, {"-n0", "-z"}));
    results.push_back(Measure(options, engine, folder, fill, "thorough", 1, options.passes,
                              thoroughPasses, {"-n", std::to_string(thoroughPasses)}));
    double emptyCost = EngineEmptyFileCost(engine, folder, options.repeat);
    double random = PatternRate(1);
    double complement = PatternRate(2);
    std::vector<std::optional<double>> probes;
    if (options.ioProbe)
    {
        for (const WriteMode& mode : kWriteModes)
        {
            probes.push_back(TimeWriteMode(mode, folder, size, options.repeat, fill));
        }
    }
    fs::remove_all(folder, ec);

    std::printf("\n%-9s %-7s %6s %9s %9s  %s\n", "method", "tool", "passes", "median s", "MB/s",
                "runs (s)");
    for (const MethodResult& m : results)
    {
        double mib = static_cast<double>(options.sizeMiB) * m.passesWritten;
        for (int tool = 0; tool < 2; ++tool)
        {
            const std::vector<double>& runs = tool == 0 ? m.engine : m.shred;
            double median = Median(runs);
            std::printf("%-9s %-7s %6d %9.3f %9.1f  %s\n", m.name.c_str(),
                        tool == 0 ? "engine" : "shred", m.passesWritten, median, mib / median,
                        RunList(runs).c_str());
        }
    }
    std::printf("\npattern generation in memory, %llu-byte buffer:\n",
                static_cast<unsigned long long>(kBlockSize));
    std::printf("  random (1)      %9.1f MB/s\n", random);
    std::printf("  complement (2)  %9.1f MB/s\n", complement);
    std::printf("engine removal of an empty file (open, flush, truncate, rename, delete): "
                "%.2f ms median\n\n",
                emptyCost * 1000);
    if (options.ioProbe)
    {
        std::printf("one pass of plain pwrites + fdatasync, %llu MiB, median of %d:\n",
                    static_cast<unsigned long long>(options.sizeMiB), options.repeat);
        for (std::size_t i = 0; i < probes.size(); ++i)
        {
            if (probes[i])
            {
                std::printf("  %-26s %9.1f MB/s\n", kWriteModes[i].name,
                            static_cast<double>(options.sizeMiB) / *probes[i]);
            }
            else
            {
                std::printf("  %-26s %9s\n", kWriteModes[i].name, "refused");
            }
        }
        std::printf("\n");
    }

    for (const MethodResult& m : results)
    {
        double mib = static_cast<double>(options.sizeMiB) * m.passesWritten;
        double engineRate = mib / Median(m.engine);
        double shredRate = mib / Median(m.shred);
        std::string passes =
            m.passesWritten == 1 ? "" : ", " + std::to_string(m.passesWritten) + " passes";
        std::printf("%s: engine %.1f MB/s, shred %.1f MB/s, ratio %.2f (%llu MiB%s, %s)\n",
                    m.name.c_str(), engineRate, shredRate, engineRate / shredRate,
                    static_cast<unsigned long long>(options.sizeMiB), passes.c_str(),
                    fsType.c_str());
    }
    return 0;
}

} // namespace
} // namespace qw

int main(int argc, char** argv)
{
    return qw::Main(argc, argv);
}
