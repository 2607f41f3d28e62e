#pragma once

#include "app/shred_app.h"

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

// The Recycle Bin command: the warning (unless switched off), then the run.
void ShredRecycleBinAfterWarning(CShredApp& app);

} // namespace qw
