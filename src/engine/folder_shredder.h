#pragma once

#include "engine/file_shredder.h"

#include <string>

namespace qw
{

class IShredHost;
struct OsError;

// Shreds every file of a folder and, by the subfolder and remove rules, its
// subfolders. The folder itself stays. Returns the stop result.
int ShredFolder(IShredHost& host, const std::string& path, bool systemFlag, ShredMode mode);

// A user's folder target: shredded, then removed when it ended up empty. A
// protected folder is reported and left as it is, empty or not.
void ShredFolderTarget(IShredHost& host, const std::string& path, bool systemFlag);

// Whether the entry is one of the protected folders, by name or by identity;
// `which` receives that folder's path.
bool IsProtectedFolder(IShredHost& host, const IEntry& folder, std::string& which);

// The report of a folder that cannot be removed: key 9043 with the path,
// then key 9044 with the system's error text and number. Logged in
// unattended runs, shown otherwise.
void ReportFolderNotRemoved(IShredHost& host, const std::string& path, const OsError& error);

} // namespace qw
