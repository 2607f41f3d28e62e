#include "ui/win32/movie_presenter.h"

#include "ui/movie_windows.h"
#include "ui/win32/movie_dialog.h"

namespace qw
{

CMoviePresenter::CMoviePresenter(IFileSystem& files, std::string programFolder,
                                 std::function<std::string()> language)
    : m_files(files), m_programFolder(std::move(programFolder)), m_language(std::move(language))
{
}

std::string CMoviePresenter::Show(const MessageRequest& request)
{
    CMovieDialog dialog(m_files, request.caption, true,
                        [&](IMovie& movie, ISkinControl* skin, IWindowFrame& frame)
                        {
                            return std::make_unique<CMessageFlashWindow>(
                                movie, skin, frame, *this, m_programFolder, m_language(), request);
                        });
    dialog.RunModal(nullptr);
    return dialog.Window() ? dialog.Window()->Answer() : std::string();
}

ShellAlertResult CMoviePresenter::ShowShellAlert(int frame, const std::string& text,
                                                 const std::string& checkBoxLabel,
                                                 const std::string& caption)
{
    CShellAlertFlashWindow::Input input{m_language(), "warning", frame, text, checkBoxLabel};
    CMovieDialog dialog(m_files, caption, true,
                        [&](IMovie& movie, ISkinControl* skin, IWindowFrame& windowFrame)
                        {
                            return std::make_unique<CShellAlertFlashWindow>(
                                movie, skin, windowFrame, *this, m_programFolder, input);
                        });
    dialog.RunModal(nullptr);
    ShellAlertResult result;
    if (const auto* alert = static_cast<const CShellAlertFlashWindow*>(dialog.Window()))
    {
        result.answer = alert->Answer();
        result.dontShowAgain = alert->DontShow();
    }
    return result;
}

} // namespace qw
