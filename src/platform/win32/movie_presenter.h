#pragma once

#include "platform/presenter.h"

#include <functional>
#include <string>

namespace qw
{

class IFileSystem;

// The message windows and the shell alert as movie windows.
class CMoviePresenter : public IMessagePresenter
{
public:
    // Movies and the skin are read below `programFolder`; the language is
    // asked at every window, as a change takes effect at once.
    // `unattended` says whether nobody is there to answer: a window that
    // would wait for a person (a skin that failed) is then not shown.
    CMoviePresenter(IFileSystem& files, std::string programFolder,
                    std::function<std::string()> language, std::function<bool()> unattended);

    std::string Show(const MessageRequest& request) override;
    ShellAlertResult ShowShellAlert(int frame, const std::string& text,
                                    const std::string& checkBoxLabel,
                                    const std::string& caption) override;

private:
    IFileSystem& m_files;
    std::string m_programFolder;
    std::function<std::string()> m_language;
    std::function<bool()> m_unattended;
};

} // namespace qw
