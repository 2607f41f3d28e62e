#pragma once

#include <string>
#include <vector>

namespace qw
{

class IEntry;
class IShredHost;

// Whether a file with more than one name (hard links) may be overwritten:
// only when every other name lies inside what the run shreds, since its
// content is theirs too. The names are listed where the system can list
// them; where it cannot, each file the run names is compared by identity.
// `names` receives the other names that were found.
bool OtherNamesInRun(IShredHost& host, IEntry& file, std::vector<std::string>& names);

// The report of a file whose content was kept for its other names.
void ReportOtherNamesKept(IShredHost& host, IEntry& file, const std::vector<std::string>& names);

} // namespace qw
