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

// The Recycle Bin command: the warning (unless switched off), then the run.
void ShredRecycleBinAfterWarning(CShredApp& app);

} // namespace qw
