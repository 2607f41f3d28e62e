#pragma once

#include <string>

namespace qw
{

enum class MessageSize
{
    Small,
    Middle,
    Big,
};

// A message window ready to be shown: its text is already prepared.
struct MessageRequest
{
    MessageSize size = MessageSize::Small;
    int frame = 1;    // 1 OK; 2 OK, Cancel; 3 Yes, No; 4 Yes, No, Cancel
    std::string type; // "info" or "warning"
    std::string text;
    std::string caption;
};

struct ShellAlertResult
{
    std::string answer;
    bool dontShowAgain = false;
};

// Shows windows modally and returns the answer: "Ok", "Yes", "No",
// "Cancel", or empty when the window was closed another way.
class IMessagePresenter
{
public:
    virtual ~IMessagePresenter() = default;
    virtual std::string Show(const MessageRequest& request) = 0;
    virtual ShellAlertResult ShowShellAlert(int frame, const std::string& text,
                                            const std::string& checkBoxLabel,
                                            const std::string& caption) = 0;
};

} // namespace qw
