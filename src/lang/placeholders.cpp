#include "lang/placeholders.h"

namespace qw
{

std::string Substitute(std::string_view text,
                       std::initializer_list<std::pair<std::string_view, std::string_view>> pairs)
{
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size())
    {
        bool replaced = false;
        for (const auto& [token, value] : pairs)
        {
            if (!token.empty() && text.compare(i, token.size(), token) == 0)
            {
                out += value;
                i += token.size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
        {
            out += text[i++];
        }
    }
    return out;
}

} // namespace qw
