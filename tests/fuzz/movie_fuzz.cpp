// Any bytes given to the movie parser, and a movie that parses played
// through every user action.
#include "player/movie_format.h"
#include "player/movie_state.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    qw::Diagnostics diagnostics;
    auto movie = qw::ParseMovie(std::string_view(reinterpret_cast<const char*>(data), size),
                                "fuzz.movie", diagnostics);
    if (!movie)
    {
        return 0;
    }
    qw::CMovieState state(std::move(*movie));
    const auto& definition = state.Definition();
    for (int frame : definition.frames)
    {
        state.GotoFrame(frame);
    }
    for (const auto& behaviour : definition.behaviours)
    {
        state.SetVariable(behaviour.source, "a|b||c");
        state.SetVariable(behaviour.variable, behaviour.value);
    }
    state.SetVariable("_root.strLanguage", "Deutsch");
    for (const qw::Control& control : definition.controls)
    {
        state.Caption(control);
        state.IsVisible(control);
        state.Number(control);
        state.Press(control);
        state.Toggle(control, true);
        state.Select(control, 1);
        state.Change(control, "7");
        state.GetVariable("_root.SelectedIndex");
        for (const auto& behaviour : definition.behaviours)
        {
            state.SetVariable(behaviour.variable, behaviour.value);
        }
    }
    state.DefaultButton();
    state.CancelButton();
    return 0;
}
