#pragma once

#include <string>
#include <vector>

namespace qw
{

// Something a movie or skin file could not say, with the file and the line
// (1-based; 0 for the file as a whole) where it was found.
struct Diagnostic
{
    std::string file;
    int line = 0;
    std::string message;
};

// "file:line: message"
std::string FormatDiagnostic(const Diagnostic& diagnostic);

using Diagnostics = std::vector<Diagnostic>;

} // namespace qw
