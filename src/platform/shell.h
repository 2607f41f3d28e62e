#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qw
{

struct BinQuery
{
    std::int32_t result = 0; // the shell's result code; 0 is success
    std::uint64_t size = 0;  // bytes of the items in the bin
    std::uint64_t items = 0;
};

// The shell's Recycle Bin functions, loaded for one run.
class IRecycleBinFunctions
{
public:
    virtual ~IRecycleBinFunctions() = default;
    virtual BinQuery Query(const std::string& root) = 0;
    // Without confirmation, progress display or sound.
    virtual void Empty(const std::string& root) = 0;
};

enum class BinShell
{
    NotLoaded,   // the shell library cannot be loaded
    NoFunctions, // it lacks the Recycle Bin functions
    Ready,
};

class IShell
{
public:
    virtual ~IShell() = default;
    // The path parsed by the shell's desktop folder and turned back into a
    // file-system path; nothing when the shell cannot parse it.
    virtual std::optional<std::string> ParseDisplayPath(const std::string& path) = 0;

    // Null unless `state` says Ready.
    virtual std::unique_ptr<IRecycleBinFunctions> LoadRecycleBin(BinShell& state) = 0;
    // The folders of a bin the shell keeps for every drive at once, where
    // it keeps one: wine's desktop trash, its "files" folder (one entry per
    // item) first, then "info" (their records). Emptying the bin of any
    // drive empties these. Empty on Windows, where each drive has its own.
    virtual std::vector<std::string> ShellBinFolders() = 0;
};

} // namespace qw
