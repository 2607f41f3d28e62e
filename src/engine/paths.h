#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qw
{

// One form for every name of a place: "/" read as "\", "\\?\" and "\\.\"
// prefixes dropped, "." and empty names removed, ".." taken back (never past
// the root), as Windows itself reads a path. Names keep their trailing dots
// and blanks: "foo." and "foo" are different files. Roots: "C:\",
// "\\server\share", and "\" on POSIX. Nothing when the path is not absolute.
std::optional<std::string> CanonicalPath(std::string_view path);

// "C:\" and the like: the root of a drive.
bool IsDriveRoot(std::string_view canonical);

// The folder and the last name of a canonical path; the folder of a root is
// empty.
std::string ParentOf(std::string_view canonical);
std::string NameOf(std::string_view canonical);

// Paths compared as Windows compares names: without regard to ASCII case.
bool SamePathNoCase(std::string_view a, std::string_view b);

} // namespace qw
