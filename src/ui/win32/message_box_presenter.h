#pragma once

#include "platform/presenter.h"

namespace qw
{

// Message windows as system message boxes, until the movie windows exist.
class CMessageBoxPresenter : public IMessagePresenter
{
public:
    std::string Show(const MessageRequest& request) override;
    ShellAlertResult ShowShellAlert(int frame, const std::string& text,
                                    const std::string& checkBoxLabel,
                                    const std::string& caption) override;
};

// The answer text of a message-box button id ("Ok", "Yes", "No", "Cancel").
std::string AnswerOfButton(int id);
// The shell alert answered in a Yes/No/Cancel box: Yes goes on and ticks
// the "don't show again" box, No goes on, Cancel (or closing) declines.
ShellAlertResult ShellAlertOfButton(int id);
// Message-box style bits for a frame and window type.
unsigned MessageBoxStyle(int frame, const std::string& type);

} // namespace qw
