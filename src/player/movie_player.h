#pragma once

#include "player/diagnostic.h"
#include "player/movie.h"
#include "player/movie_state.h"
#include "player/skin_format.h"

#include <optional>
#include <string>

namespace qw
{

class IFileSystem;

// Reads a movie or skin file, refusing one too large to be a window's
// description before reading it. Failures go to `diagnostics`.
std::optional<std::string> ReadPlayerFile(IFileSystem& files, const std::string& path,
                                          Diagnostics& diagnostics);
std::optional<MovieDefinition> LoadMovieFile(IFileSystem& files, const std::string& path,
                                             Diagnostics& diagnostics);
std::optional<SkinDefinition> LoadSkinFile(IFileSystem& files, const std::string& path,
                                           Diagnostics& diagnostics);

// The movie operations over a playing movie, without drawing: a renderer
// derives from it, draws in Refresh and feeds the user's actions to Raise.
// A movie that could not be loaded plays as an empty one, in which every
// variable the program has not written reads "undefined".
class CMoviePlayer : public IMovie
{
public:
    explicit CMoviePlayer(IFileSystem& files) : m_files(files) {}

    bool LoadMovie(const std::string& path) override;
    void SetScale(const std::string& scale) override { m_scale = scale; }
    void SetAlignMode(int mode) override;
    void SetBackgroundColor(std::uint32_t rgb) override;
    void GotoFrame(int frame) override;
    void SetVariable(const std::string& name, const std::string& value) override;
    std::string GetVariable(const std::string& name) override;
    void SetCommandHandler(CommandHandler handler) override { m_handler = std::move(handler); }

    const CMovieState& State() const { return m_state; }
    const Diagnostics& GetDiagnostics() const { return m_diagnostics; }
    const std::string& Scale() const { return m_scale; }
    int AlignMode() const { return m_alignMode; }
    std::uint32_t BackgroundColor() const { return m_background; }

protected:
    CMovieState& MutableState() { return m_state; }
    // Raises a user action's command, if it has one, to the window.
    void Raise(const std::optional<MovieCommand>& command);
    // Called after every change the face must show.
    virtual void Refresh() {}

private:
    IFileSystem& m_files;
    CMovieState m_state;
    Diagnostics m_diagnostics;
    CommandHandler m_handler;
    std::string m_scale;
    int m_alignMode = 0;
    std::uint32_t m_background = kWhite;
};

} // namespace qw
