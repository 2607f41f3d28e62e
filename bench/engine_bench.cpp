// Times the real shredding engine against GNU shred on files of the same
// size in the same folder, in the same run, and prints the ratios.
//
// What each side does per pass:
// - engine: opens the file O_DSYNC, so every 64 KiB pwrite waits until the
//   device has it, and calls fdatasync at the end of each pass; after the
//   last pass it truncates, renames and deletes the file.
// - shred: switches the file to O_DIRECT, writes 64 KiB blocks and calls
//   fdatasync at the end of each pass (strace of coreutils 9.1). Without -u
//   it leaves the file in place, so its removal is not timed; the engine's
//   removal is timed on an empty file and printed separately.

#include "app/setting_names.h"
#include "app/shred_app.h"
#include "engine/file_shredder.h"
#include "engine/pattern.h"
#include "fakes/fake_platform.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_paths.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
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
};

// The run's own folder, removed on failure too: it may hold large files.
std::string g_scratch;

[[noreturn]] void Fail(const std::string& message)
{
    std::fprintf(stderr, "qw_bench: %s\n", message.c_str());
    if (!g_scratch.empty())
    {
        std::error_code ec;
        fs::remove_all(g_scratch, ec);
    }
    std::exit(1);
}

void Usage(FILE* out)
{
    std::fprintf(out, "usage: qw_bench [--size MB] [--dir PATH] [--passes N] [--repeat R] "
                      "[--io-probe]\n"
                      "  --size MB    file size in MiB (default 256)\n"
                      "  --dir PATH   folder on the file system to test (default: under the "
                      "build folder)\n"
                      "  --passes N   pass count of the thorough method: 3*N passes (default 1)\n"
                      "  --repeat R   timed runs per tool and method, median reported "
                      "(default 3)\n"
                      "  --io-probe   also time one pass of plain writes in several modes\n");
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

std::string ShredVersion()
{
    FILE* pipe = ::popen("shred --version 2>/dev/null", "r");
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

// The real POSIX file system; fakes for everything that is not the disk.
struct BenchEngine
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

    test::CFakeSettingsStore settings;
    test::CFakeSystemInfo system;
    test::CFakeRuntime runtime;
    test::CFakeModuleLoader modules;
    CPosixFileSystem files;
    test::CLatin1Codec codec;
    test::CFakePresenter presenter;
    test::CFakeShell shell;
    test::CFakeUserInterface ui;
    test::CFakeMainWindow mainWindow;
    test::CFakeTargetsRun targetsRun;
    Platform platform{settings,  system, runtime, modules,    files,     codec,
                      presenter, shell,  ui,      mainWindow, targetsRun};
    std::unique_ptr<CShredApp> app;
};

double TimeEngine(BenchEngine& engine, const std::string& path, int method, int passes)
{
    CShredApp& app = *engine.app;
    app.m_cmdMethod = method;
    app.m_cmdPasses = passes;
    app.m_runStatus.clear();
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
    {"O_DSYNC, 64 KiB (engine)", O_DSYNC, kBlockSize},
    {"O_DIRECT, 64 KiB (shred)", O_DIRECT, kBlockSize},
    {"buffered, 64 KiB", 0, kBlockSize},
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

int Main(int argc, char** argv)
{
    Options options = ParseOptions(argc, argv);
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
    std::uint64_t size = options.sizeMiB * kMiB;

    struct statvfs space;
    if (::statvfs(folder.c_str(), &space) == 0 &&
        static_cast<std::uint64_t>(space.f_bavail) * space.f_frsize < size + 64 * kMiB)
    {
        Fail("not enough free space in " + options.dir + " for a " +
             std::to_string(options.sizeMiB) + " MiB file");
    }
    std::string fsType = FileSystemType(folder);

    std::printf("engine vs %s\n", ShredVersion().c_str());
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
