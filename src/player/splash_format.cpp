#include "player/splash_format.h"

#include "player/text_lines.h"

#include <charconv>
#include <set>

namespace qw
{
namespace
{

constexpr int kMaxCoordinate = 4096;
constexpr int kMinMilliseconds = 100;
constexpr int kMaxMilliseconds = 10000;
constexpr int kMinPoints = 6;
constexpr int kMaxPoints = 96;
constexpr std::size_t kMaxTexts = 64;
constexpr std::size_t kMaxImageName = 255;

std::optional<std::uint32_t> ParseColor(std::string_view text)
{
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.size() != 6 || error != std::errc() || end != text.data() + text.size())
    {
        return std::nullopt;
    }
    return value;
}

// The picture must lie beside the splash: a bare file name, never a path.
bool IsPlainBitmapName(std::string_view name)
{
    if (name.size() < 5 || name.size() > kMaxImageName ||
        !SameNoCase(name.substr(name.size() - 4), ".bmp"))
    {
        return false;
    }
    return name.find_first_of("\\/:") == std::string_view::npos && name.front() != '.';
}

std::optional<TextAlign> ParseAlign(std::string_view text)
{
    if (text == "left")
    {
        return TextAlign::Left;
    }
    if (text == "center")
    {
        return TextAlign::Center;
    }
    if (text == "right")
    {
        return TextAlign::Right;
    }
    return std::nullopt;
}

} // namespace

std::optional<SplashDefinition> ParseSplash(std::string_view text, const std::string& file,
                                            Diagnostics& diagnostics)
{
    const std::size_t before = diagnostics.size();
    const auto error = [&](int line, std::string message) {
        diagnostics.push_back({file, line, std::move(message)});
    };
    const std::vector<Line> lines = SplitLines(text, file, diagnostics);
    if (lines.empty() && diagnostics.size() == before)
    {
        error(0, "the file is empty; a splash begins with \"splash 1\"");
    }
    SplashDefinition splash;
    std::set<std::string, std::less<>> seen;
    for (std::size_t i = 0; i < lines.size(); ++i)
    {
        const Line& line = lines[i];
        const std::vector<Word>& words = line.words;
        const std::string& keyword = words[0].value;
        if (words[0].attribute)
        {
            error(line.number, "a line begins with its keyword");
            continue;
        }
        if (i == 0)
        {
            if (keyword != "splash" || words.size() != 2 || words[1].value != "1" ||
                words[1].attribute)
            {
                error(line.number, "a splash begins with \"splash 1\"");
            }
            continue;
        }
        bool plain = true;
        for (std::size_t k = 1; k + 1 < words.size(); ++k)
        {
            plain = plain && !words[k].attribute;
        }
        if (keyword != "text" && (!plain || words.back().attribute))
        {
            error(line.number, "only a text line holds name=value attributes");
            continue;
        }
        if (keyword == "size" || keyword == "time" || keyword == "image" || keyword == "background")
        {
            if (!seen.insert(keyword).second)
            {
                error(line.number, "\"" + keyword + "\" is given twice");
                continue;
            }
        }
        if (keyword == "size")
        {
            const auto width =
                words.size() == 3 ? ParseInt(words[1].value, 1, kMaxCoordinate) : std::nullopt;
            const auto height =
                words.size() == 3 ? ParseInt(words[2].value, 1, kMaxCoordinate) : std::nullopt;
            if (!width || !height)
            {
                error(line.number, "expected \"size <width> <height>\", each from 1 to " +
                                       std::to_string(kMaxCoordinate));
                continue;
            }
            splash.width = *width;
            splash.height = *height;
        }
        else if (keyword == "time")
        {
            const auto ms = words.size() == 2
                                ? ParseInt(words[1].value, kMinMilliseconds, kMaxMilliseconds)
                                : std::nullopt;
            if (!ms)
            {
                error(line.number, "expected \"time <milliseconds>\" from " +
                                       std::to_string(kMinMilliseconds) + " to " +
                                       std::to_string(kMaxMilliseconds));
                continue;
            }
            splash.milliseconds = *ms;
        }
        else if (keyword == "image")
        {
            if (words.size() != 2 || !IsPlainBitmapName(words[1].value))
            {
                error(line.number,
                      "expected \"image <name>.bmp\", a picture beside the splash file");
                continue;
            }
            splash.image = words[1].value;
        }
        else if (keyword == "background")
        {
            const auto color = words.size() == 2 ? ParseColor(words[1].value) : std::nullopt;
            if (!color)
            {
                error(line.number, "expected \"background <rrggbb>\"");
                continue;
            }
            splash.background = *color;
        }
        else if (keyword == "text")
        {
            if (splash.width == 0)
            {
                error(line.number, "a text comes after the splash's \"size\"");
                continue;
            }
            if (words.size() < 6 || words.back().attribute)
            {
                error(line.number,
                      "expected \"text <x> <y> <width> <height> [options] \\\"<text>\\\"\"");
                continue;
            }
            if (splash.texts.size() == kMaxTexts)
            {
                error(line.number, "more than " + std::to_string(kMaxTexts) + " texts");
                break;
            }
            int box[4] = {};
            bool ok = true;
            for (int k = 0; k < 4 && ok; ++k)
            {
                // Sizes must be positive; positions may be 0.
                const int low = k < 2 ? 0 : 1;
                const auto number = words[k + 1].attribute
                                        ? std::nullopt
                                        : ParseInt(words[k + 1].value, low, kMaxCoordinate);
                if (!number)
                {
                    error(line.number, "\"" + words[k + 1].value +
                                           "\" is not a whole number from " + std::to_string(low) +
                                           " to " + std::to_string(kMaxCoordinate));
                    ok = false;
                    break;
                }
                box[k] = *number;
            }
            if (!ok)
            {
                continue;
            }
            if (box[0] + box[2] > splash.width || box[1] + box[3] > splash.height)
            {
                error(line.number, "the text's box reaches outside the splash");
                continue;
            }
            SplashText item;
            item.x = box[0];
            item.y = box[1];
            item.width = box[2];
            item.height = box[3];
            for (std::size_t k = 5; k + 1 < words.size() && ok; ++k)
            {
                const Word& word = words[k];
                std::optional<int> points;
                std::optional<TextAlign> align;
                std::optional<std::uint32_t> color;
                if (!word.attribute && word.value == "bold")
                {
                    item.bold = true;
                }
                else if (word.attribute && word.name == "size" &&
                         (points = ParseInt(word.value, kMinPoints, kMaxPoints)))
                {
                    item.points = *points;
                }
                else if (word.attribute && word.name == "align" && (align = ParseAlign(word.value)))
                {
                    item.align = *align;
                }
                else if (word.attribute && word.name == "color" && (color = ParseColor(word.value)))
                {
                    item.color = *color;
                }
                else
                {
                    error(line.number, "\"" + (word.attribute ? word.name + "=" : std::string()) +
                                           word.value + "\" is not bold, size=<" +
                                           std::to_string(kMinPoints) + " to " +
                                           std::to_string(kMaxPoints) +
                                           ">, align=left|center|right or color=<rrggbb>");
                    ok = false;
                }
            }
            if (ok)
            {
                item.text = words.back().value;
                splash.texts.push_back(std::move(item));
            }
        }
        else
        {
            error(line.number, "unknown keyword \"" + keyword + "\"");
        }
    }
    if (!lines.empty() && splash.width == 0 && diagnostics.size() == before)
    {
        error(0, "the splash has no \"size\"");
    }
    if (diagnostics.size() != before)
    {
        return std::nullopt;
    }
    return splash;
}

std::string ExpandSplashText(std::string_view text, std::string_view product,
                             std::string_view version)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();)
    {
        const std::string_view rest = text.substr(i);
        if (rest.starts_with("$product"))
        {
            out += product;
            i += 8;
        }
        else if (rest.starts_with("$version"))
        {
            out += version;
            i += 8;
        }
        else if (rest.starts_with("$$"))
        {
            out += '$';
            i += 2;
        }
        else
        {
            out += text[i++];
        }
    }
    return out;
}

} // namespace qw
