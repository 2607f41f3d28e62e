#pragma once

#include "app/shred_app.h"
#include "platform/file_system.h"

#include <optional>

#include <string>

namespace qw
{

// The targets of the command line, in order: files, folders, drive roots
// and the Recycle Bin, after one confirmation unless the run is unattended.
class CTargetsRun : public ITargetsRun
{
public:
    void Run(CShredApp& app) override;
};

// One target as the command line names it: a file, a folder, a drive root
// (its free space) or "recycle", decided once on its canonical name and
// reported as a run reports. False when the run is to end.
bool RunTarget(CShredApp& app, const std::string& target);

// What a target of the main window's lists must still be: a file (or a
// folder), and, where its name led somewhere when it was listed, that same
// entry.
struct ExpectedEntry
{
    bool folder = false;
    std::optional<FileStatus> added;
};

// RunTarget for such a target: anything else in its place is reported and
// left, and a drive root is never taken for a folder.
bool RunListedTarget(CShredApp& app, const std::string& target, const ExpectedEntry& expected);

// The Recycle Bin command: the warning (unless switched off), then the run.
void ShredRecycleBinAfterWarning(CShredApp& app);

} // namespace qw
