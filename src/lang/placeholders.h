#pragma once

#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

namespace qw
{

// Replaces every occurrence of each token in one scan, so that text brought
// in by one replacement is never replaced again (a path may hold "%u").
std::string Substitute(std::string_view text,
                       std::initializer_list<std::pair<std::string_view, std::string_view>> pairs);

} // namespace qw
