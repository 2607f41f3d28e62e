#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace qw
{

// Splits the text after the program name into arguments and hands each to
// `handler`, which returns false to stop. A line holding any double quote
// takes only the quoted texts (no escapes; text outside quotes is dropped);
// otherwise blanks separate the arguments. An argument whose closing quote is
// missing runs to the end of the line. Returns false when the handler stopped.
bool SplitCommandLine(std::string_view line, const std::function<bool(std::string_view)>& handler);

// The C library's string-to-integer reading: leading blanks, a sign, digits;
// anything after them is ignored and no digits give 0. Saturates at the
// bounds of int.
int ParseLeadingInt(std::string_view text);

} // namespace qw

namespace qw
{

// The arguments part of a full process command line. The program's own name
// comes first when the shell or a console starts it; wine's task scheduler
// passes the parameters alone. The start of the line is dropped only when it
// is this program, compared as a path with the module's full name (a
// relative one read from `currentFolder`), or its bare file name: a target
// is never taken for the program.
std::string_view ArgumentsAfterProgramName(std::string_view commandLine,
                                           std::string_view programPath,
                                           std::string_view currentFolder = {});

} // namespace qw
