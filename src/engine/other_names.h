#pragma once

namespace qw
{

class IEntry;
class IShredHost;

// A file with more than one name (hard links) was overwritten under all of
// them, but only the name that was shredded goes: the person is told of
// the others, listed where the system can list them.
void ReportOtherNames(IShredHost& host, IEntry& file);

} // namespace qw
