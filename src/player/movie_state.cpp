#include "player/movie_state.h"

#include "player/text_lines.h"

#include <algorithm>
#include <limits>

namespace qw
{

CMovieState::CMovieState(MovieDefinition definition) : m_definition(std::move(definition))
{
    for (const auto& [name, value] : m_definition.variables)
    {
        m_store.Define(name, value);
    }
    for (const std::string& array : m_definition.arrays)
    {
        m_store.DefineArray(array);
    }
    if (!m_definition.frames.empty())
    {
        m_frame = *std::min_element(m_definition.frames.begin(), m_definition.frames.end());
    }
}

bool CMovieState::GotoFrame(int frame)
{
    const auto& frames = m_definition.frames;
    if (std::find(frames.begin(), frames.end(), frame) == frames.end())
    {
        return false;
    }
    m_frame = frame;
    ++m_revision;
    return true;
}

void CMovieState::SetVariable(const std::string& name, const std::string& value)
{
    if (m_store.Set(name, value))
    {
        ++m_revision;
        RunBehaviours(name, value);
    }
}

std::string CMovieState::GetVariable(std::string_view name) const
{
    if (name == kSelectedIndexVariable)
    {
        const Control* list = VisibleList();
        const auto selected = list == nullptr ? std::nullopt : Selection(*list);
        return selected ? std::to_string(*selected) : std::string(kUndefined);
    }
    return m_store.Get(name);
}

void CMovieState::RunBehaviours(const std::string& name, const std::string& value)
{
    for (const Behaviour& behaviour : m_definition.behaviours)
    {
        if (behaviour.variable != name ||
            (behaviour.value != value && behaviour.value != kAnyValue))
        {
            continue;
        }
        switch (behaviour.action)
        {
        case ActionKind::Append:
        {
            std::string source = m_store.Get(behaviour.source);
            if (!m_store.IsDefined(behaviour.source))
            {
                break;
            }
            if (!behaviour.end.empty() && source.ends_with(behaviour.end))
            {
                source.resize(source.size() - behaviour.end.size());
            }
            std::size_t start = 0;
            while (start <= source.size())
            {
                const std::size_t end =
                    std::min(source.find(behaviour.separator, start), source.size());
                // A piece of blanks only is no entry.
                const std::string piece = source.substr(start, end - start);
                if (piece.find_first_not_of(' ') != std::string::npos)
                {
                    m_store.Append(behaviour.target, piece);
                }
                start = end + behaviour.separator.size();
            }
            break;
        }
        case ActionKind::RemoveSelected:
            m_store.RemoveSelected(behaviour.target);
            break;
        case ActionKind::Clear:
            m_store.Clear(behaviour.target);
            break;
        case ActionKind::Set:
            // Straight into the store: a behaviour never starts another,
            // so no movie can loop.
            m_store.Set(behaviour.target, behaviour.source);
            break;
        }
    }
}

const Control* CMovieState::Find(std::string_view id) const
{
    for (const Control& control : m_definition.controls)
    {
        if (control.id == id)
        {
            return &control;
        }
    }
    return nullptr;
}

bool CMovieState::IsVisible(const Control& control) const
{
    if (!control.frames.empty() &&
        std::find(control.frames.begin(), control.frames.end(), m_frame) == control.frames.end())
    {
        return false;
    }
    if (control.when && m_store.Get(control.when->variable) != control.when->value)
    {
        return false;
    }
    if (!control.panel.empty())
    {
        // The parser made sure the tabs come earlier, so this ends.
        const std::size_t colon = control.panel.find(':');
        const Control* tabs = Find(std::string_view(control.panel).substr(0, colon));
        const auto page = ParseInt(std::string_view(control.panel).substr(colon + 1), 0,
                                   std::numeric_limits<int>::max());
        return tabs != nullptr && page && IsVisible(*tabs) && Number(*tabs) == *page;
    }
    return true;
}

std::string CMovieState::Text(const TextRef& text) const
{
    if (text.isVariable)
    {
        return m_store.Get(text.text);
    }
    if (!text.isId)
    {
        return text.text;
    }
    for (const std::string& language :
         {m_store.Get(kLanguageVariable), std::string(kFallbackLanguage)})
    {
        const auto texts = m_definition.texts.find(language);
        if (texts == m_definition.texts.end())
        {
            continue;
        }
        if (const auto found = texts->second.find(text.text); found != texts->second.end())
        {
            return found->second;
        }
    }
    return text.text;
}

std::string CMovieState::Caption(const Control& control) const
{
    const bool showsValue = control.kind == ControlKind::Label ||
                            control.kind == ControlKind::Message ||
                            control.kind == ControlKind::Edit;
    if (showsValue && !control.value.empty())
    {
        return m_store.Get(control.value);
    }
    return Text(control.text);
}

bool CMovieState::Checked(const Control& control) const
{
    if (control.kind == ControlKind::Radio)
    {
        return m_store.Get(control.value) == control.choice;
    }
    return !control.value.empty() && m_store.Get(control.value) == "true";
}

std::vector<std::string> CMovieState::Items(const Control& control) const
{
    if (control.labelPrefix.empty())
    {
        return m_store.Items(control.items);
    }
    // A count the program set wrong must not make a list of a million
    // "undefined" entries.
    constexpr int kMostLabels = 1000;
    const int count =
        ParseInt(m_store.Get(control.labelCount), 0, std::numeric_limits<int>::max()).value_or(0);
    std::vector<std::string> items;
    for (int i = 0; i < std::min(count, kMostLabels); ++i)
    {
        items.push_back(m_store.Get(control.labelPrefix + std::to_string(i)));
    }
    return items;
}

std::optional<std::size_t> CMovieState::Selection(const Control& control) const
{
    if (control.kind == ControlKind::Combo && !control.value.empty())
    {
        const auto index = ParseInt(m_store.Get(control.value), 0, std::numeric_limits<int>::max());
        if (index && static_cast<std::size_t>(*index) < Items(control).size())
        {
            return static_cast<std::size_t>(*index);
        }
        return std::nullopt;
    }
    return m_store.Selected(control.items);
}

int CMovieState::Number(const Control& control) const
{
    const auto value = ParseInt(m_store.Get(control.value), std::numeric_limits<int>::min(),
                                std::numeric_limits<int>::max());
    if (control.kind == ControlKind::Tabs)
    {
        const int last = static_cast<int>(control.pages.size()) - 1;
        return value ? std::clamp(*value, 0, last) : 0;
    }
    return value ? std::clamp(*value, control.low, control.high) : control.low;
}

std::optional<MovieCommand> CMovieState::Raise(const Control& control)
{
    for (const VariableWrite& write : control.writes)
    {
        SetVariable(write.name, write.value);
    }
    if (control.command.empty())
    {
        return std::nullopt;
    }
    return MovieCommand{control.command, control.argument};
}

std::optional<MovieCommand> CMovieState::Press(const Control& control)
{
    if (!IsVisible(control))
    {
        return std::nullopt;
    }
    if (control.kind == ControlKind::Radio)
    {
        return Toggle(control, true);
    }
    return Raise(control);
}

std::optional<MovieCommand> CMovieState::Toggle(const Control& control, bool checked)
{
    if (!IsVisible(control))
    {
        return std::nullopt;
    }
    if (control.kind == ControlKind::Radio)
    {
        if (!checked)
        {
            return std::nullopt;
        }
        SetVariable(control.value, control.choice);
    }
    else if (!control.value.empty())
    {
        SetVariable(control.value, checked ? "true" : "false");
    }
    return Raise(control);
}

std::optional<MovieCommand> CMovieState::Select(const Control& control,
                                                std::optional<std::size_t> index)
{
    if (!IsVisible(control))
    {
        return std::nullopt;
    }
    if (control.kind == ControlKind::Combo || control.kind == ControlKind::Tabs)
    {
        if (!control.value.empty() && index)
        {
            SetVariable(control.value, std::to_string(*index));
        }
    }
    else
    {
        m_store.Select(control.items, index);
        ++m_revision;
    }
    if (!control.chosen.empty() && index)
    {
        const std::vector<std::string> items = Items(control);
        if (*index < items.size())
        {
            SetVariable(control.chosen, items[*index]);
        }
    }
    if (control.kind == ControlKind::Tabs && !control.pageCommands.empty())
    {
        auto command = Raise(control);
        if (index && *index < control.pageCommands.size() && !control.pageCommands[*index].empty())
        {
            return MovieCommand{control.pageCommands[*index], std::to_string(*index)};
        }
        return command;
    }
    auto command = Raise(control);
    // A pick in a drop-down list tells its index unless the movie says more.
    if (command && control.kind == ControlKind::Combo && control.argument.empty() && index)
    {
        command->argument = std::to_string(*index);
    }
    return command;
}

std::optional<MovieCommand> CMovieState::Change(const Control& control, const std::string& text)
{
    if (!IsVisible(control) || control.value.empty())
    {
        return std::nullopt;
    }
    if (control.kind == ControlKind::Stepper)
    {
        const auto number = ParseInt(text, control.low, control.high);
        if (!number)
        {
            return std::nullopt;
        }
        SetVariable(control.value, std::to_string(*number));
    }
    else
    {
        SetVariable(control.value, text);
    }
    return Raise(control);
}

const Control* CMovieState::DefaultButton() const
{
    for (const Control& control : m_definition.controls)
    {
        if (control.isDefault && IsVisible(control))
        {
            return &control;
        }
    }
    return nullptr;
}

const Control* CMovieState::CancelButton() const
{
    for (const Control& control : m_definition.controls)
    {
        if (control.isCancel && IsVisible(control))
        {
            return &control;
        }
    }
    return nullptr;
}

const Control* CMovieState::VisibleList() const
{
    for (const Control& control : m_definition.controls)
    {
        if (control.kind == ControlKind::List && IsVisible(control))
        {
            return &control;
        }
    }
    return nullptr;
}

} // namespace qw
