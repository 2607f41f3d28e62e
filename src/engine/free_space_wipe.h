#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qw
{

class IShredHost;
class IOpenFile;

inline constexpr std::uint64_t kTempFileLimit = 1ull << 30;
inline constexpr std::uint64_t kSmallestChunk = 512;

// One temporary filler file of a wipe.
struct TempFileRecord
{
    std::unique_ptr<IOpenFile> file;
    std::string path;
    std::uint64_t size = 0;
};

enum class FillResult
{
    FileFull = 0,
    DriveFull = 1,
    WriteError = 2, // reported
    Cancelled = 3,
};

// On NTFS a small file's data lives in its file record, not in a cluster:
// after the fill, files of this size (still resident in a 1024-byte record
// with one of the wipe's short names) take the free records.
inline constexpr std::uint64_t kResidentBytes = 700;

enum class RecordFillResult
{
    Full,   // the volume took no further file: every free record is used
    Failed, // reported
    Cancelled,
};

// Files needed to take all of `available`, each at most 2^30 bytes.
std::uint64_t TempFileCount(std::uint64_t available);
// The wipe's folder at the root, the first name free of "SHREDTMP.$$$",
// "SHREDTMP.$01", ... "SHREDTMP.$99".
std::string TempFolderName(int attempt);
// "SHRED000.TMP", "SHRED001.TMP", ... "SHRED1000.TMP"
std::string TempFileName(std::uint64_t index);

// Where the record files go: a folder made in the wipe's folder before the
// fill, while there is room for its name.
inline constexpr std::string_view kRecordFolder = "R";

// One entry the record fill made: removed in the reverse order.
struct RecordEntry
{
    std::string path;
    bool folder = false;
};

// Creates files and folders in a tree below `root` (every folder holding two
// short names, so that its index stays inside its own record and never needs
// a cluster), each file written by the method, until the volume refuses
// another. What it made goes to `made` for the clean-up.
RecordFillResult FillFreeRecords(IShredHost& host, const std::string& root,
                                 std::vector<RecordEntry>& made);

// Writes the overwrite buffer into the file until it holds 2^30 bytes, the
// drive is full, a write fails or the user cancels. Near the end of the free
// space the chunk halves down to 512 bytes.
FillResult FillTempFile(IShredHost& host, TempFileRecord& record);

// Fills the free space of the drive of `root` ("C:\") with temporary files
// in a new folder root + TempFolderName(), overwrites them once more with the thorough
// method, and deletes them all.
void WipeFreeSpace(IShredHost& host, const std::string& root);

} // namespace qw
