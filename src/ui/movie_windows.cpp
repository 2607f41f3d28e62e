#include "ui/movie_windows.h"

#include <cstdlib>

namespace qw
{

FlashWindowSetup MessageWindowSetup(MessageSize size)
{
    switch (size)
    {
    case MessageSize::Middle:
        return {"\\Lang\\middle_warnings.movie", "Middle_Mask", 1};
    case MessageSize::Big:
        return {"\\Lang\\Big_warnings.movie", "Big_Mask", 1};
    case MessageSize::Small:
        break;
    }
    return {"\\Lang\\small_warnings.movie", "Small_Mask", 1};
}

CMessageFlashWindow::CMessageFlashWindow(IMovie& movie, ISkinControl* skin, IWindowFrame& frame,
                                         IMessagePresenter& presenter, std::string programFolder,
                                         std::string language, MessageRequest request)
    : CFlashWindow(movie, skin, frame, presenter, std::move(programFolder),
                   MessageWindowSetup(request.size)),
      m_language(std::move(language)), m_request(std::move(request))
{
}

void CMessageFlashWindow::SetVariables()
{
    Movie().SetVariable(std::string(kLanguageVar), m_language);
    Movie().SetVariable("_root.windowtype", m_request.type);
    Movie().SetVariable("_root.txtmessage", m_request.text);
    Movie().GotoFrame(m_request.frame);
}

void CMessageFlashWindow::OnSkinFailure()
{
    if (m_request.size != MessageSize::Small)
    {
        CFlashWindow::OnSkinFailure();
        return;
    }
    Frame().ShowPlainMessage(std::string(kSkinFailureText));
    Frame().PostClose();
}

CShellAlertFlashWindow::CShellAlertFlashWindow(IMovie& movie, ISkinControl* skin,
                                               IWindowFrame& frame, IMessagePresenter& presenter,
                                               std::string programFolder, Input input)
    : CFlashWindow(movie, skin, frame, presenter, std::move(programFolder),
                   {"\\Lang\\Shell_Alert.movie", "Shell_Mask", 0}),
      m_input(std::move(input))
{
}

void CShellAlertFlashWindow::SetVariables()
{
    Movie().SetVariable(std::string(kLanguageVar), m_input.language);
    Movie().SetVariable("_root.windowtype", m_input.type);
    Movie().GotoFrame(m_input.frame);
    Movie().SetVariable("_root.message_txt.text", m_input.message);
    Movie().SetVariable("_root.DontShow_chk.label", m_input.checkBoxLabel);
}

std::vector<CFlashWindow::CommandEntry> CShellAlertFlashWindow::Commands()
{
    return {
        DragCommand(),
        {"IDC_FS_Cancel", [this](const std::string&) { Close("Cancel"); }},
        {"IDC_FS_Ok",
         [this](const std::string&)
         {
             // Anything but "true" or "false" leaves the flag as it was.
             const std::string checked = Movie().GetVariable("_root.bChecked");
             if (checked == "true" || checked == "false")
             {
                 m_dontShow = checked == "true";
             }
             Close("Ok");
         }},
    };
}

CProgressFlashWindow::CProgressFlashWindow(IMovie& movie, ISkinControl* skin, IWindowFrame& frame,
                                           IMessagePresenter& presenter, std::string programFolder,
                                           std::string language, std::function<void()> onCancel)
    : CFlashWindow(movie, skin, frame, presenter, std::move(programFolder),
                   {"\\Lang\\shredding.movie", "Shredding_Mask", 1}),
      m_language(std::move(language)), m_onCancel(std::move(onCancel))
{
}

void CProgressFlashWindow::SetLine(int line, const std::string& text)
{
    if (line < 1 || line > static_cast<int>(m_lines.size()))
    {
        return;
    }
    m_lines[line - 1] = text;
    Movie().SetVariable("_root.Message" + std::to_string(line), text);
}

void CProgressFlashWindow::SetVariables()
{
    Movie().SetVariable(std::string(kLanguageVar), m_language);
    for (int line = 1; line <= static_cast<int>(m_lines.size()); ++line)
    {
        Movie().SetVariable("_root.Message" + std::to_string(line), m_lines[line - 1]);
    }
}

std::vector<CFlashWindow::CommandEntry> CProgressFlashWindow::Commands()
{
    return {
        DragCommand(),
        {"IDC_FS_Cancel",
         [this](const std::string&)
         {
             Close("Cancel");
             // Last: the engine's cancel may end this window's life.
             if (m_onCancel)
             {
                 m_onCancel();
             }
         }},
    };
}

CSubfolderOptionsWindow::CSubfolderOptionsWindow(IMovie& movie, IWindowFrame& frame,
                                                 IMessagePresenter& presenter,
                                                 std::string programFolder, std::string language,
                                                 int shredRule, int removeRule)
    : CFlashWindow(movie, nullptr, frame, presenter, std::move(programFolder),
                   {"\\Lang\\subfolder.movie", "", 1}),
      m_language(std::move(language)), m_shredRule(shredRule), m_removeRule(removeRule)
{
}

void CSubfolderOptionsWindow::SetVariables()
{
    Movie().SetVariable(std::string(kLanguageVar), m_language);
    Movie().SetVariable("_root.ShredSubfolder", std::to_string(m_shredRule));
    Movie().SetVariable("_root.RemoveSubfolder", std::to_string(m_removeRule));
}

std::vector<CFlashWindow::CommandEntry> CSubfolderOptionsWindow::Commands()
{
    return {
        DragCommand(),
        {"IDC_FS_Cancel", [this](const std::string&) { Close("Cancel"); }},
        {"IDC_FS_Help",
         [this](const std::string&)
         {
             if (m_help)
             {
                 m_help();
             }
         }},
        {"IDC_FS_Ok",
         [this](const std::string&)
         {
             // Out of range reads as "never": a rule the folder shredder
             // does not know must not reach the settings.
             const auto rule = [this](const char* name)
             {
                 const int value = std::atoi(Movie().GetVariable(name).c_str());
                 return value >= 0 && value <= 2 ? value : 0;
             };
             m_shredRule = rule("_root.ShredSubfolder");
             m_removeRule = rule("_root.RemoveSubfolder");
             Close("Ok");
         }},
    };
}

CAboutWindow::CAboutWindow(IMovie& movie, IWindowFrame& frame, IMessagePresenter& presenter,
                           std::string programFolder, std::string language, int frameNumber,
                           std::string version, std::function<void()> systemInfo)
    : CFlashWindow(movie, nullptr, frame, presenter, std::move(programFolder),
                   {"\\Lang\\about.movie", "", 1}),
      m_language(std::move(language)), m_frameNumber(frameNumber), m_version(std::move(version)),
      m_systemInfo(std::move(systemInfo))
{
}

void CAboutWindow::SetVariables()
{
    Movie().SetVariable(std::string(kLanguageVar), m_language);
    Movie().SetVariable("_root.Version", m_version);
    Movie().GotoFrame(m_frameNumber);
}

std::vector<CFlashWindow::CommandEntry> CAboutWindow::Commands()
{
    return {
        DragCommand(),
        {"IDC_FS_Cancel", [this](const std::string&) { Close("Cancel"); }},
        {"IDC_FS_SysInfo",
         [this](const std::string&)
         {
             m_systemInfo();
             Close("Cancel");
         }},
    };
}

} // namespace qw
