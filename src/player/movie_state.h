#pragma once

#include "player/movie_format.h"
#include "player/variable_store.h"

#include <cstdint>
#include <optional>
#include <string>

namespace qw
{

struct MovieCommand
{
    std::string command;
    std::string argument;
};

inline constexpr std::string_view kLanguageVariable = "_root.strLanguage";
inline constexpr std::string_view kSelectedIndexVariable = "_root.SelectedIndex";

// A loaded movie while it plays: its variables, its frame, what each control
// shows, and what a user action on a control writes and raises. A renderer
// draws from here and feeds the user's actions back; it keeps no state of
// its own beyond what the system controls hold.
class CMovieState
{
public:
    CMovieState() = default;
    explicit CMovieState(MovieDefinition definition);

    const MovieDefinition& Definition() const { return m_definition; }
    // Grows at every change a renderer has to show.
    std::uint64_t Revision() const { return m_revision; }

    int Frame() const { return m_frame; }
    // A frame the movie does not declare is ignored.
    bool GotoFrame(int frame);

    // Writes and then runs the behaviours the write starts.
    void SetVariable(const std::string& name, const std::string& value);
    std::string GetVariable(std::string_view name) const;

    const Control* Find(std::string_view id) const;
    bool IsVisible(const Control& control) const;
    // A text in the language "_root.strLanguage" names, or English.
    std::string Text(const TextRef& text) const;
    // What a label, message, edit or button shows.
    std::string Caption(const Control& control) const;
    bool Checked(const Control& control) const;
    std::vector<std::string> Items(const Control& control) const;
    std::optional<std::size_t> Selection(const Control& control) const;
    // A stepper's or progress bar's value within its range; a tab's page.
    int Number(const Control& control) const;

    // The user's actions. Each writes the control's variables and returns
    // the command to raise, if the control has one. Actions on a control
    // that is not visible do nothing.
    std::optional<MovieCommand> Press(const Control& control);
    std::optional<MovieCommand> Toggle(const Control& control, bool checked);
    std::optional<MovieCommand> Select(const Control& control, std::optional<std::size_t> index);
    std::optional<MovieCommand> Change(const Control& control, const std::string& text);

    // The visible button Enter or Esc presses, if any.
    const Control* DefaultButton() const;
    const Control* CancelButton() const;

private:
    std::optional<MovieCommand> Raise(const Control& control);
    void RunBehaviours(const std::string& name, const std::string& value);
    const Control* VisibleList() const;

    MovieDefinition m_definition;
    CVariableStore m_store;
    int m_frame = 1;
    std::uint64_t m_revision = 0;
};

} // namespace qw
