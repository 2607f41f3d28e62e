#include "player/movie_player.h"

#include "platform/file_system.h"
#include "player/text_lines.h"

namespace qw
{

std::optional<std::string> ReadPlayerFile(IFileSystem& files, const std::string& path,
                                          Diagnostics& diagnostics)
{
    OsError error;
    const auto status = files.Status(path, error);
    if (!status || status->isFolder)
    {
        diagnostics.push_back({path, 0, "the file is missing"});
        return std::nullopt;
    }
    if (status->size > kMaxFileBytes)
    {
        diagnostics.push_back(
            {path, 0, "the file is larger than " + std::to_string(kMaxFileBytes) + " bytes"});
        return std::nullopt;
    }
    auto text = files.ReadWholeFile(path);
    if (!text)
    {
        diagnostics.push_back({path, 0, "the file cannot be read"});
    }
    return text;
}

std::optional<MovieDefinition> LoadMovieFile(IFileSystem& files, const std::string& path,
                                             Diagnostics& diagnostics)
{
    const auto text = ReadPlayerFile(files, path, diagnostics);
    return text ? ParseMovie(*text, path, diagnostics) : std::nullopt;
}

std::optional<SkinDefinition> LoadSkinFile(IFileSystem& files, const std::string& path,
                                           Diagnostics& diagnostics)
{
    const auto text = ReadPlayerFile(files, path, diagnostics);
    return text ? ParseSkin(*text, path, diagnostics) : std::nullopt;
}

bool CMoviePlayer::LoadMovie(const std::string& path)
{
    auto definition = LoadMovieFile(m_files, path, m_diagnostics);
    m_state = definition ? CMovieState(std::move(*definition)) : CMovieState();
    Refresh();
    return definition.has_value();
}

void CMoviePlayer::SetAlignMode(int mode)
{
    m_alignMode = mode;
    Refresh();
}

void CMoviePlayer::SetBackgroundColor(std::uint32_t rgb)
{
    m_background = rgb & kWhite;
    Refresh();
}

void CMoviePlayer::GotoFrame(int frame)
{
    if (m_state.GotoFrame(frame))
    {
        Refresh();
    }
}

void CMoviePlayer::SetVariable(const std::string& name, const std::string& value)
{
    const std::uint64_t before = m_state.Revision();
    m_state.SetVariable(name, value);
    if (m_state.Revision() != before)
    {
        Refresh();
    }
}

std::string CMoviePlayer::GetVariable(const std::string& name)
{
    return m_state.GetVariable(name);
}

void CMoviePlayer::Raise(const std::optional<MovieCommand>& command)
{
    Refresh();
    if (command && m_handler)
    {
        // The handler may close the window and end this player's life.
        const CommandHandler handler = m_handler;
        handler(command->command, command->argument);
    }
}

} // namespace qw
