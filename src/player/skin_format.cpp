#include "player/skin_format.h"

#include "player/text_lines.h"

namespace qw
{
namespace
{

constexpr int kMaxCoordinate = 4096;
constexpr std::size_t kMaxPoints = 256;
constexpr std::size_t kMaxShapes = 4096;

struct ShapeForm
{
    std::string_view keyword;
    ShapeKind kind;
    std::size_t numbers; // 0: any even count of at least 6
};

constexpr ShapeForm kForms[] = {
    {"roundrect", ShapeKind::RoundRect, 6},
    {"ellipse", ShapeKind::Ellipse, 4},
    {"polygon", ShapeKind::Polygon, 0},
};

} // namespace

std::optional<SkinDefinition> ParseSkin(std::string_view text, const std::string& file,
                                        Diagnostics& diagnostics)
{
    const std::size_t before = diagnostics.size();
    const auto error = [&](int line, std::string message) {
        diagnostics.push_back({file, line, std::move(message)});
    };
    const std::vector<Line> lines = SplitLines(text, file, diagnostics);
    SkinDefinition skin;
    SkinRegion* region = nullptr;
    int regionLine = 0;
    std::size_t shapes = 0;
    const auto closeRegion = [&]
    {
        if (region != nullptr && region->shapes.empty())
        {
            error(regionLine, "the region has no shapes");
        }
    };
    if (lines.empty() && diagnostics.size() == before)
    {
        error(0, "the file is empty; a skin begins with \"skin 1\"");
    }
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        const Line& line = lines[i];
        const std::vector<Word>& words = line.words;
        bool plain = true;
        for (const Word& word : words)
        {
            plain = plain && !word.attribute;
        }
        if (!plain)
        {
            error(line.number, "a skin line holds no name=value attributes");
            continue;
        }
        const std::string& keyword = words[0].value;
        if (i == 0)
        {
            if (keyword != "skin" || words.size() != 2 || words[1].value != "1")
            {
                error(line.number, "a skin begins with \"skin 1\"");
            }
            continue;
        }
        if (keyword == "region")
        {
            closeRegion();
            region = nullptr;
            if (words.size() != 2)
            {
                error(line.number, "expected \"region <name>\"");
                continue;
            }
            const auto [entry, added] = skin.regions.emplace(words[1].value, SkinRegion{});
            if (!added)
            {
                error(line.number, "region \"" + words[1].value + "\" is given twice");
                continue;
            }
            region = &entry->second;
            regionLine = line.number;
            continue;
        }
        const ShapeForm* form = nullptr;
        for (const ShapeForm& candidate : kForms)
        {
            form = candidate.keyword == keyword ? &candidate : form;
        }
        if (form == nullptr)
        {
            error(line.number, "unknown keyword \"" + keyword + "\"");
            continue;
        }
        if (region == nullptr)
        {
            error(line.number, "a shape comes after its \"region <name>\"");
            continue;
        }
        const std::size_t count = words.size() - 1;
        const bool countOk = form->numbers != 0
                                 ? count == form->numbers
                                 : count >= 6 && count % 2 == 0 && count / 2 <= kMaxPoints;
        if (!countOk)
        {
            error(line.number,
                  form->numbers != 0
                      ? keyword + " takes " + std::to_string(form->numbers) + " numbers"
                      : "a polygon takes 3 to " + std::to_string(kMaxPoints) + " x y pairs");
            continue;
        }
        if (++shapes > kMaxShapes)
        {
            error(line.number, "too many shapes");
            break;
        }
        Shape shape{form->kind, {}};
        for (std::size_t k = 1; k < words.size(); ++k)
        {
            // Sizes must be positive; positions may be 0.
            const bool size = form->kind != ShapeKind::Polygon && (k == 3 || k == 4);
            const auto number = ParseInt(words[k].value, size ? 1 : 0, kMaxCoordinate);
            if (!number)
            {
                error(line.number, "\"" + words[k].value + "\" is not a whole number from " +
                                       (size ? "1" : "0") + " to " +
                                       std::to_string(kMaxCoordinate));
                break;
            }
            shape.numbers.push_back(*number);
        }
        if (shape.numbers.size() == count)
        {
            region->shapes.push_back(std::move(shape));
        }
    }
    closeRegion();
    if (diagnostics.size() != before)
    {
        return std::nullopt;
    }
    return skin;
}

} // namespace qw
