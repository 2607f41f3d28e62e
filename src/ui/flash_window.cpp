#include "ui/flash_window.h"

#include "lang/ini_file.h"
#include "platform/presenter.h"

namespace qw
{

CFlashWindow::CFlashWindow(IMovie& movie, ISkinControl* skin, IWindowFrame& frame,
                           IMessagePresenter& presenter, std::string programFolder,
                           FlashWindowSetup setup)
    : m_movie(movie), m_skin(skin), m_frame(frame), m_presenter(presenter),
      m_programFolder(std::move(programFolder)), m_setup(std::move(setup))
{
    m_movie.SetCommandHandler([this](const std::string& command, const std::string& argument)
                              { OnCommand(command, argument); });
}

CFlashWindow::~CFlashWindow()
{
    m_movie.SetCommandHandler(nullptr);
}

bool CFlashWindow::InitDialog()
{
    Prepare();
    if (!m_setup.skinRegion.empty())
    {
        const bool skinned = m_skin != nullptr &&
                             m_skin->LoadSkin(m_programFolder + std::string(kSkinFile)) &&
                             m_skin->ApplySkin(m_setup.skinRegion);
        if (!skinned)
        {
            OnSkinFailure();
            return false;
        }
    }
    m_movie.LoadMovie(m_programFolder + m_setup.movie);
    m_movie.SetScale("NoScale");
    m_movie.SetAlignMode(m_setup.alignMode);
    m_movie.SetBackgroundColor(kWhite);
    SetVariables();
    return true;
}

void CFlashWindow::OnSkinFailure()
{
    MessageRequest request;
    request.size = MessageSize::Small;
    request.frame = 1;
    request.type = "info";
    request.text = std::string(kSkinFailureText);
    request.caption = m_frame.Caption();
    m_presenter.Show(request);
    m_frame.PostClose();
}

void CFlashWindow::OnCommand(const std::string& command, const std::string& argument)
{
    for (const CommandEntry& entry : Commands())
    {
        if (EqualsNoCase(command, entry.name))
        {
            entry.action(argument);
            return;
        }
    }
}

std::vector<CFlashWindow::CommandEntry> CFlashWindow::Commands()
{
    return CommonCommands();
}

CFlashWindow::CommandEntry CFlashWindow::DragCommand()
{
    return {"IDC_FS_Drag", [this](const std::string&) { m_frame.BeginDrag(); }};
}

std::vector<CFlashWindow::CommandEntry> CFlashWindow::CommonCommands()
{
    return {
        DragCommand(),
        {"IDC_FS_Cancel", [this](const std::string&) { Close("Cancel"); }},
        {"IDC_FS_Ok", [this](const std::string&) { Close("Ok"); }},
        {"IDC_FS_Yes", [this](const std::string&) { Close("Yes"); }},
        {"IDC_FS_No", [this](const std::string&) { Close("No"); }},
    };
}

void CFlashWindow::Close(std::string_view answer)
{
    m_answer = answer;
    m_frame.EndModal();
}

} // namespace qw
