#pragma once

#include <cstdint>
#include <string>

namespace qw
{

class CLastPass;
class CRandom;
class IEntry;
class IOpenFile;
class IShredHost;
struct OsError;

enum class ShredMode
{
    Normal = 0,     // a user's own target
    BinSubtree = 1, // content below a folder in the Recycle Bin
    BinEntry = 2,   // an item lying directly in the Recycle Bin
};

inline constexpr std::uint64_t kBlockSize = 65536;

// An open filler file of the free-space wipe; the caller owns the file.
struct FreeSpaceRecord
{
    IOpenFile* file = nullptr;
    std::string name;
    std::uint64_t size = 0;
};

// Blocks per pass: one more than the full blocks, so an exact multiple of
// the block size ends with a block of 0 bytes.
std::uint64_t BlockCount(std::uint64_t size);
// Bytes block k (1-based) of a file of `size` bytes writes.
std::uint64_t BlockBytes(std::uint64_t size, std::uint64_t block);

// The path with every letter of the last component's base name and
// extension replaced by a random letter; dots, folders and lengths kept.
std::string RandomSameShapeName(const std::string& path, CRandom& random);

// Overwrites, truncates, renames and deletes the file at a canonical path
// (or, with a record, only overwrites the filler file). Returns the stop
// result: non-zero asks a looping caller to stop.
int ShredFile(IShredHost& host, const std::string& path, ShredMode mode,
              const FreeSpaceRecord* freeSpace = nullptr, int index = 0, int count = 0);

// The overwrite passes of the method over an open file of the free-space
// wipe, with `line1` as the progress window's first line. The file stays
// open. Returns the stop result; a write failure is reported.
int OverwriteFreeSpaceFile(IShredHost& host, const std::string& path, const FreeSpaceRecord& record,
                           const std::string& line1);

// Reads back the last pass over an open filler of the free-space wipe,
// described by `written`; a filler that differs gets the last pass once more.
// One that still differs is reported, and the wipe goes on. Returns the stop
// result.
int VerifyFreeSpaceFile(IShredHost& host, const std::string& path, IOpenFile& file,
                        CLastPass& written);

// The same for `name` inside an open folder, where the folder shredder
// found it.
int ShredFileIn(IShredHost& host, IEntry& folder, const std::string& name, ShredMode mode);

// The report of data that could not be overwritten, with the system's text
// and code; the item keeps its name and content.
void ReportWriteFailure(IShredHost& host, const std::string& path, const OsError& error);

// The report of a link that cannot be removed without reaching what it
// points to; the link stays, what it points to is never opened.
void ReportLinkStays(IShredHost& host, const std::string& path);

// Flushes the file to the drive. After `written` bytes of a large pass the
// flush can take seconds: it then runs beside the message pump, so the
// windows stay alive and Cancel is answered at once.
bool FlushPumping(IShredHost& host, IOpenFile& file, std::uint64_t written, OsError& error);

// The system's description of an error without its line end.
std::string ErrorDescription(IShredHost& host, std::uint32_t code);

} // namespace qw
