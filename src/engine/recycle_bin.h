#pragma once

#include <string>

namespace qw
{

class IShredHost;

// What the Recycle Bin of a drive looks like on the disk.
enum class BinLayout
{
    None,
    RecycleBin, // "$Recycle.Bin\<SID>\": Windows Vista and later
    Recycler,   // "Recycler\<SID>\": NTFS drives of Windows 2000 and XP
    Recycled,   // "RECYCLED\": FAT drives and the 9x line
};

// The bin folder (ending in a backslash) that exists on the drive of
// `root`, newest layout first. "RECYCLED\" is the bin only where the drive
// is not NTFS: there it would be a user's own folder.
BinLayout FindBinFolder(IShredHost& host, const std::string& root, bool ntfs, std::string& folder);

// Overwrites every item of every drive's Recycle Bin, empties the bins and
// restores the legacy bins' desktop.ini. A bin whose items were not all
// overwritten is not emptied.
void ShredRecycleBin(IShredHost& host);

// The desktop.ini a legacy bin folder gets back after emptying.
inline constexpr std::string_view kBinDesktopIni =
    "[.ShellClassInfo]\r\nCLSID={645FF040-5081-101B-9F08-00AA002F954E}\r\n";

} // namespace qw
