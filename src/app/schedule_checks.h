#pragma once

#include <string>

namespace qw
{

class CShredApp;

enum class CheckResult
{
    Include,
    Skip,
    Abort,
};

// Checks made before a scheduled task's command line is stored. They always
// show their windows. A file inside a checked folder is asked about with OK
// and Cancel instead of Yes, No and Cancel.
CheckResult CheckFileForSchedule(CShredApp& app, const std::string& path,
                                 bool insideFolder = false);

// Walks the folder as its scheduled run would. The answers to the subfolder
// and remove questions become the Folder and Remove settings, which the
// task's command line then carries. Include or Abort.
CheckResult CheckFolderForSchedule(CShredApp& app, const std::string& path);

} // namespace qw
