#pragma once

#include "engine/file_shredder.h"

#include <string>

namespace qw
{

struct OsError;

// Shreds every file of a folder and, by the subfolder and remove rules, its
// subfolders. The folder itself stays. Returns the stop result.
int ShredFolder(CShredApp& app, const std::string& path, bool systemFlag, ShredMode mode);

// The report of a folder that cannot be removed: key 9043 with the path,
// then key 9044 with the system's error text and number. Logged in
// unattended runs, shown otherwise.
void ReportFolderNotRemoved(CShredApp& app, const std::string& path, const OsError& error);

} // namespace qw
