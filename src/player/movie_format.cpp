#include "player/movie_format.h"

#include "player/text_lines.h"

#include <algorithm>
#include <array>
#include <set>
#include <utility>

namespace qw
{
namespace
{

constexpr int kMaxCoordinate = 4096;
constexpr int kMaxFrame = 999;
constexpr std::size_t kMaxControls = 512;
constexpr std::size_t kMaxEntries = 4096; // texts, variables, behaviours

constexpr std::array<std::pair<std::string_view, ControlKind>, 14> kKinds{{
    {"title", ControlKind::Title},
    {"label", ControlKind::Label},
    {"message", ControlKind::Message},
    {"button", ControlKind::Button},
    {"checkbox", ControlKind::CheckBox},
    {"radio", ControlKind::Radio},
    {"stepper", ControlKind::Stepper},
    {"combo", ControlKind::Combo},
    {"list", ControlKind::List},
    {"edit", ControlKind::Edit},
    {"progress", ControlKind::Progress},
    {"icon", ControlKind::Icon},
    {"image", ControlKind::Image},
    {"tabs", ControlKind::Tabs},
}};

constexpr std::array<std::string_view, 4> kIcons{"info", "warning", "question", "error"};

bool IsVariableName(std::string_view name)
{
    if (name.size() <= kRootPrefix.size() || name.substr(0, kRootPrefix.size()) != kRootPrefix)
    {
        return false;
    }
    return std::all_of(name.begin(), name.end(),
                       [](char c)
                       {
                           return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                  (c >= '0' && c <= '9') || c == '_' || c == '.';
                       });
}

bool IsId(std::string_view id)
{
    return !id.empty() && std::all_of(id.begin(), id.end(),
                                      [](char c)
                                      {
                                          return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                                 (c >= '0' && c <= '9') || c == '_' || c == '-';
                                      });
}

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= text.size())
    {
        const std::size_t end = std::min(text.find(',', start), text.size());
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

class CMovieParser
{
public:
    CMovieParser(const std::string& file, Diagnostics& diagnostics)
        : m_file(file), m_diagnostics(diagnostics)
    {
    }

    std::optional<MovieDefinition> Parse(std::string_view text)
    {
        const std::size_t before = m_diagnostics.size();
        const std::vector<Line> lines = SplitLines(text, m_file, m_diagnostics);
        if (m_diagnostics.size() == before && lines.empty())
        {
            Error(0, "the file is empty; a movie begins with \"movie 1\"");
        }
        for (std::size_t i = 0; i < lines.size(); ++i)
        {
            const Line& line = lines[i];
            if (i == 0)
            {
                Header(line);
                continue;
            }
            Statement(line);
        }
        if (!lines.empty() && m_movie.width == 0)
        {
            Error(0, "the movie has no \"size\"");
        }
        CheckReferences();
        if (m_diagnostics.size() != before)
        {
            return std::nullopt;
        }
        return std::move(m_movie);
    }

private:
    void Error(int line, std::string message)
    {
        m_diagnostics.push_back({m_file, line, std::move(message)});
    }

    bool Expect(const Line& line, std::size_t count, std::string_view form)
    {
        std::size_t plain = 0;
        for (const Word& word : line.words)
        {
            plain += word.attribute ? 0 : 1;
        }
        if (plain != count || line.words.size() != count)
        {
            Error(line.number, "expected \"" + std::string(form) + "\"");
            return false;
        }
        return true;
    }

    bool Variable(const Line& line, const std::string& name)
    {
        if (!IsVariableName(name))
        {
            Error(line.number, "\"" + name + "\" is not a variable name beginning \"_root.\"");
            return false;
        }
        return true;
    }

    std::optional<int> Number(const Line& line, const std::string& text, int low, int high,
                              std::string_view what)
    {
        auto value = ParseInt(text, low, high);
        if (!value)
        {
            Error(line.number, std::string(what) + " \"" + text + "\" is not a whole number from " +
                                   std::to_string(low) + " to " + std::to_string(high));
        }
        return value;
    }

    void Header(const Line& line)
    {
        if (line.words[0].attribute || line.words[0].value != "movie" || line.words.size() != 2 ||
            line.words[1].value != "1")
        {
            Error(line.number, "a movie begins with \"movie 1\"");
        }
    }

    void Statement(const Line& line)
    {
        const Word& keyword = line.words[0];
        if (keyword.attribute)
        {
            Error(line.number, "a line begins with a keyword, not \"" + keyword.name + "=\"");
            return;
        }
        const std::string& word = keyword.value;
        if (word == "size")
        {
            Size(line);
        }
        else if (word == "frame")
        {
            Frame(line);
        }
        else if (word == "text")
        {
            Text(line);
        }
        else if (word == "variable")
        {
            DefineVariable(line);
        }
        else if (word == "array")
        {
            DefineArray(line);
        }
        else if (word == "control")
        {
            ParseControl(line);
        }
        else if (word == "on")
        {
            On(line);
        }
        else
        {
            Error(line.number, "unknown keyword \"" + word + "\"");
        }
    }

    void Size(const Line& line)
    {
        if (!Expect(line, 3, "size <width> <height>"))
        {
            return;
        }
        if (m_movie.width != 0)
        {
            Error(line.number, "the size is given twice");
            return;
        }
        const auto width = Number(line, line.words[1].value, 1, kMaxCoordinate, "width");
        const auto height = Number(line, line.words[2].value, 1, kMaxCoordinate, "height");
        if (width && height)
        {
            m_movie.width = *width;
            m_movie.height = *height;
        }
    }

    void Frame(const Line& line)
    {
        if (!Expect(line, 2, "frame <number>"))
        {
            return;
        }
        if (auto frame = Number(line, line.words[1].value, 1, kMaxFrame, "frame"))
        {
            if (std::find(m_movie.frames.begin(), m_movie.frames.end(), *frame) !=
                m_movie.frames.end())
            {
                Error(line.number, "frame " + std::to_string(*frame) + " is declared twice");
                return;
            }
            m_movie.frames.push_back(*frame);
        }
    }

    bool Room(const Line& line, std::size_t used)
    {
        if (used >= kMaxEntries)
        {
            Error(line.number, "too many entries of this kind");
            return false;
        }
        return true;
    }

    void Text(const Line& line)
    {
        if (!Expect(line, 4, "text <language> <id> \"<text>\"") || !Room(line, m_textCount))
        {
            return;
        }
        const std::string& id = line.words[2].value;
        if (!IsId(id))
        {
            Error(line.number, "\"" + id + "\" is not a text id");
            return;
        }
        auto& texts = m_movie.texts[line.words[1].value];
        if (!texts.emplace(id, line.words[3].value).second)
        {
            Error(line.number, "text \"" + id + "\" is given twice for " + line.words[1].value);
            return;
        }
        ++m_textCount;
    }

    bool NewName(const Line& line, const std::string& name)
    {
        if (!Variable(line, name) || !Room(line, m_movie.variables.size() + m_movie.arrays.size()))
        {
            return false;
        }
        if (m_movie.variables.count(name) != 0 || IsArray(name))
        {
            Error(line.number, "\"" + name + "\" is defined twice");
            return false;
        }
        return true;
    }

    void DefineVariable(const Line& line)
    {
        if (line.words.size() != 2 && !Expect(line, 3, "variable <name> \"<initial value>\""))
        {
            return;
        }
        if (line.words[1].attribute || (line.words.size() == 3 && line.words[2].attribute))
        {
            Error(line.number, "expected \"variable <name> \"<initial value>\"\"");
            return;
        }
        const std::string& name = line.words[1].value;
        if (NewName(line, name))
        {
            m_movie.variables[name] = line.words.size() == 3 ? line.words[2].value : "";
        }
    }

    void DefineArray(const Line& line)
    {
        if (Expect(line, 2, "array <name>") && NewName(line, line.words[1].value))
        {
            m_movie.arrays.push_back(line.words[1].value);
        }
    }

    bool IsArray(std::string_view name) const
    {
        return std::find(m_movie.arrays.begin(), m_movie.arrays.end(), name) !=
               m_movie.arrays.end();
    }

    const Control* FindControl(std::string_view id) const
    {
        for (const Control& control : m_movie.controls)
        {
            if (control.id == id)
            {
                return &control;
            }
        }
        return nullptr;
    }

    TextRef ParseText(const std::string& value)
    {
        if (!value.empty() && value[0] == '@')
        {
            return {value.substr(1), true, false};
        }
        if (!value.empty() && value[0] == '$')
        {
            return {value.substr(1), false, true};
        }
        return {value, false, false};
    }

    void ParseControl(const Line& line)
    {
        const auto& words = line.words;
        if (words.size() < 7 || std::any_of(words.begin(), words.begin() + 7,
                                            [](const Word& w) { return w.attribute; }))
        {
            Error(line.number, "expected \"control <kind> <id> <x> <y> <width> <height> ...\"");
            return;
        }
        if (m_movie.width == 0)
        {
            Error(line.number, "controls come after the movie's \"size\"");
            return;
        }
        if (m_movie.controls.size() >= kMaxControls)
        {
            Error(line.number, "too many controls");
            return;
        }
        Control control;
        control.line = line.number;
        const auto kind = std::find_if(kKinds.begin(), kKinds.end(),
                                       [&](const auto& k) { return k.first == words[1].value; });
        if (kind == kKinds.end())
        {
            Error(line.number, "unknown control kind \"" + words[1].value + "\"");
            return;
        }
        control.kind = kind->second;
        control.id = words[2].value;
        if (!IsId(control.id) || FindControl(control.id) != nullptr)
        {
            Error(line.number, "control id \"" + control.id + "\" is not a new id");
            return;
        }
        const auto x = Number(line, words[3].value, 0, kMaxCoordinate, "x");
        const auto y = Number(line, words[4].value, 0, kMaxCoordinate, "y");
        const auto width = Number(line, words[5].value, 1, kMaxCoordinate, "width");
        const auto height = Number(line, words[6].value, 1, kMaxCoordinate, "height");
        if (!x || !y || !width || !height)
        {
            return;
        }
        control.x = *x;
        control.y = *y;
        control.width = *width;
        control.height = *height;
        if (control.x + control.width > m_movie.width ||
            control.y + control.height > m_movie.height)
        {
            Error(line.number, "control \"" + control.id + "\" reaches beyond the movie's size");
            return;
        }
        bool ok = true;
        for (std::size_t i = 7; i < words.size() && ok; ++i)
        {
            ok = ControlWord(line, words[i], control);
        }
        if (ok && Complete(line, control))
        {
            m_movie.controls.push_back(std::move(control));
        }
    }

    bool ControlWord(const Line& line, const Word& word, Control& control)
    {
        if (!word.attribute)
        {
            if (word.value == "default" || word.value == "cancel")
            {
                (word.value == "default" ? control.isDefault : control.isCancel) = true;
                return true;
            }
            Error(line.number, "unknown word \"" + word.value + "\"");
            return false;
        }
        const std::string& name = word.name;
        const std::string& value = word.value;
        if (name == "text")
        {
            control.text = ParseText(value);
            return !control.text.isVariable || Variable(line, control.text.text);
        }
        else if (name == "value")
        {
            control.value = value;
            return Variable(line, value);
        }
        else if (name == "items")
        {
            control.items = value;
            if (!IsArray(value))
            {
                Error(line.number, "\"" + value + "\" is not a declared array");
                return false;
            }
        }
        else if (name == "labels")
        {
            const std::size_t colon = value.find(':');
            if (colon == std::string::npos)
            {
                Error(line.number, "expected \"labels=<prefix>:<count variable>\"");
                return false;
            }
            control.labelPrefix = value.substr(0, colon);
            control.labelCount = value.substr(colon + 1);
            return Variable(line, control.labelPrefix + "0") && Variable(line, control.labelCount);
        }
        else if (name == "chosen")
        {
            control.chosen = value;
            return Variable(line, value);
        }
        else if (name == "commands")
        {
            control.pageCommands = SplitList(value);
        }
        else if (name == "choice")
        {
            control.choice = value;
        }
        else if (name == "image")
        {
            control.image = value;
        }
        else if (name == "pages")
        {
            for (const std::string& page : SplitList(value))
            {
                control.pages.push_back(ParseText(page));
            }
        }
        else if (name == "panel")
        {
            control.panel = value;
            return Panel(line, value);
        }
        else if (name == "frames")
        {
            for (const std::string& part : SplitList(value))
            {
                const auto frame = Number(line, part, 1, kMaxFrame, "frame");
                if (!frame)
                {
                    return false;
                }
                control.frames.push_back(*frame);
            }
        }
        else if (name == "when")
        {
            const std::size_t equals = value.find('=');
            if (equals == std::string::npos)
            {
                Error(line.number, "expected \"when=<variable>=<value>\"");
                return false;
            }
            control.when = Condition{value.substr(0, equals), value.substr(equals + 1)};
            return Variable(line, control.when->variable);
        }
        else if (name == "min" || name == "max")
        {
            const auto number = Number(line, value, -1'000'000'000, 1'000'000'000, name);
            if (!number)
            {
                return false;
            }
            (name == "min" ? control.low : control.high) = *number;
        }
        else if (name == "command")
        {
            control.command = value;
        }
        else if (name == "argument")
        {
            control.argument = value;
        }
        else if (name == "set")
        {
            const std::size_t equals = value.find('=');
            if (equals == std::string::npos)
            {
                Error(line.number, "expected \"set=<variable>=<value>\"");
                return false;
            }
            control.writes.push_back({value.substr(0, equals), value.substr(equals + 1)});
            return Variable(line, control.writes.back().name);
        }
        else
        {
            Error(line.number, "unknown attribute \"" + name + "\"");
            return false;
        }
        return true;
    }

    bool Panel(const Line& line, const std::string& value)
    {
        const std::size_t colon = value.find(':');
        const Control* tabs =
            colon == std::string::npos ? nullptr : FindControl(value.substr(0, colon));
        if (tabs == nullptr || tabs->kind != ControlKind::Tabs)
        {
            Error(line.number, "\"" + value + "\" does not name a page of earlier tabs");
            return false;
        }
        const int pages = static_cast<int>(tabs->pages.size());
        return Number(line, value.substr(colon + 1), 0, pages - 1, "page").has_value();
    }

    bool Complete(const Line& line, Control& control)
    {
        const auto missing = [&](std::string_view what)
        {
            Error(line.number, "control \"" + control.id + "\" needs " + std::string(what));
            return false;
        };
        switch (control.kind)
        {
        case ControlKind::Title:
            if (control.command.empty())
            {
                control.command = kDragCommand;
            }
            break;
        case ControlKind::Button:
            if (control.command.empty())
            {
                return missing("a command");
            }
            break;
        case ControlKind::Radio:
            if (control.value.empty() || control.choice.empty())
            {
                return missing("a value and a choice");
            }
            break;
        case ControlKind::List:
        case ControlKind::Combo:
            if (control.items.empty() == control.labelPrefix.empty())
            {
                return missing("either items or labels");
            }
            break;
        case ControlKind::Tabs:
            if (control.pages.empty())
            {
                return missing("pages");
            }
            break;
        case ControlKind::Icon:
            if (std::find(kIcons.begin(), kIcons.end(), control.image) == kIcons.end())
            {
                return missing("an image of info, warning, question or error");
            }
            break;
        case ControlKind::Image:
            if (control.image.empty())
            {
                return missing("an image file");
            }
            break;
        case ControlKind::Stepper:
        case ControlKind::Progress:
            if (control.low > control.high)
            {
                return missing("a min not above its max");
            }
            break;
        default:
            break;
        }
        if (!control.value.empty() && m_movie.variables.count(control.value) == 0 &&
            !IsArray(control.value))
        {
            // Binding a control defines its variable, with the control's own
            // starting state.
            const bool numeric =
                control.kind == ControlKind::Stepper || control.kind == ControlKind::Progress;
            m_movie.variables[control.value] =
                control.kind == ControlKind::CheckBox ? "false"
                : numeric                             ? std::to_string(control.low)
                : control.kind == ControlKind::Tabs || control.kind == ControlKind::Combo ? "0"
                                                                                          : "";
        }
        return true;
    }

    void On(const Line& line)
    {
        const auto& words = line.words;
        const bool plain =
            std::none_of(words.begin(), words.end(), [](const Word& w) { return w.attribute; });
        const std::string form =
            "on <variable> \"<value>\" append <array> <variable> \"<separator>\" [\"<end>\"]"
            " | remove-selected <array> | clear <array> | set <variable> "
            "\"<value>\"";
        if (!plain || words.size() < 5 || !Room(line, m_movie.behaviours.size()))
        {
            Error(line.number, "expected \"" + form + "\"");
            return;
        }
        Behaviour behaviour;
        behaviour.variable = words[1].value;
        behaviour.value = words[2].value;
        behaviour.target = words[4].value;
        const std::string& action = words[3].value;
        bool arrayTarget = true;
        if (action == "append" && (words.size() == 7 || words.size() == 8))
        {
            behaviour.action = ActionKind::Append;
            behaviour.source = words[5].value;
            behaviour.separator = words[6].value;
            behaviour.end = words.size() == 8 ? words[7].value : std::string();
            if (behaviour.separator.empty() || !Variable(line, behaviour.source))
            {
                Error(line.number, "append needs a text variable and a separator");
                return;
            }
        }
        else if ((action == "remove-selected" || action == "clear") && words.size() == 5)
        {
            behaviour.action = action == "clear" ? ActionKind::Clear : ActionKind::RemoveSelected;
        }
        else if (action == "set" && words.size() == 6)
        {
            behaviour.action = ActionKind::Set;
            behaviour.source = words[5].value;
            arrayTarget = false;
        }
        else
        {
            Error(line.number, "expected \"" + form + "\"");
            return;
        }
        if (!Variable(line, behaviour.variable) || !Variable(line, behaviour.target))
        {
            return;
        }
        if (arrayTarget != IsArray(behaviour.target))
        {
            Error(line.number, "\"" + behaviour.target + "\" is " +
                                   (arrayTarget ? "not a declared array" : "an array"));
            return;
        }
        m_movie.behaviours.push_back(std::move(behaviour));
    }

    void CheckReferences()
    {
        const auto english = m_movie.texts.find(kFallbackLanguage);
        const auto checkText = [&](const Control& control, const TextRef& text)
        {
            if (text.isId &&
                (english == m_movie.texts.end() || english->second.count(text.text) == 0))
            {
                Error(control.line, "text \"" + text.text + "\" has no English form");
            }
        };
        for (const Control& control : m_movie.controls)
        {
            checkText(control, control.text);
            for (const TextRef& page : control.pages)
            {
                checkText(control, page);
            }
            for (int frame : control.frames)
            {
                if (std::find(m_movie.frames.begin(), m_movie.frames.end(), frame) ==
                    m_movie.frames.end())
                {
                    Error(control.line, "frame " + std::to_string(frame) + " is not declared");
                }
            }
        }
    }

    const std::string& m_file;
    Diagnostics& m_diagnostics;
    MovieDefinition m_movie;
    std::size_t m_textCount = 0;
};

} // namespace

std::optional<MovieDefinition> ParseMovie(std::string_view text, const std::string& file,
                                          Diagnostics& diagnostics)
{
    return CMovieParser(file, diagnostics).Parse(text);
}

} // namespace qw
