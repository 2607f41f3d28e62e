#include "ui/win32/message_box_presenter.h"

#include "platform/win32/wide.h"

#include <windows.h>

namespace qw
{

std::string AnswerOfButton(int id)
{
    switch (id)
    {
    case IDOK:
        return "Ok";
    case IDYES:
        return "Yes";
    case IDNO:
        return "No";
    case IDCANCEL:
        return "Cancel";
    default:
        return {};
    }
}

unsigned MessageBoxStyle(int frame, const std::string& type)
{
    unsigned buttons = MB_OK;
    switch (frame)
    {
    case 2:
        buttons = MB_OKCANCEL;
        break;
    case 3:
        buttons = MB_YESNO;
        break;
    case 4:
        buttons = MB_YESNOCANCEL;
        break;
    default:
        break;
    }
    unsigned icon = type == "warning" ? MB_ICONWARNING : MB_ICONINFORMATION;
    return buttons | icon | MB_SETFOREGROUND | MB_TASKMODAL;
}

std::string CMessageBoxPresenter::Show(const MessageRequest& request)
{
    int id =
        MessageBoxW(nullptr, Utf8ToWide(request.text).c_str(), Utf8ToWide(request.caption).c_str(),
                    MessageBoxStyle(request.frame, request.type));
    return AnswerOfButton(id);
}

ShellAlertResult CMessageBoxPresenter::ShowShellAlert(int /*frame*/, const std::string& text,
                                                      const std::string& checkBoxLabel,
                                                      const std::string& caption)
{
    // A message box has no check box: Yes stands for OK with the box ticked,
    // and Cancel keeps the warning's way out.
    std::string body = text + "\n\n" + checkBoxLabel + "?";
    int id = MessageBoxW(nullptr, Utf8ToWide(body).c_str(), Utf8ToWide(caption).c_str(),
                         MB_YESNOCANCEL | MB_ICONWARNING | MB_SETFOREGROUND | MB_TASKMODAL);
    return ShellAlertOfButton(id);
}

ShellAlertResult ShellAlertOfButton(int id)
{
    ShellAlertResult result;
    result.answer = id == IDYES || id == IDNO ? "Ok" : id == IDCANCEL ? "Cancel" : "";
    result.dontShowAgain = id == IDYES;
    return result;
}

} // namespace qw
