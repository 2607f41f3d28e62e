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
    CMoviePresenter(IFileSystem& files, std::string programFolder,
                    std::function<std::string()> language);

    std::string Show(const MessageRequest& request) override;
    ShellAlertResult ShowShellAlert(int frame, const std::string& text,
                                    const std::string& checkBoxLabel,
                                    const std::string& caption) override;

private:
    IFileSystem& m_files;
    std::string m_programFolder;
    std::function<std::string()> m_language;
};

// Passes windows on unless nobody is there to answer them: a scheduled
// run's progress window whose skin failed must not wait for a person; it
// closes unasked, which cancels the run.
class CPresenterForPeople : public IMessagePresenter
{
public:
    CPresenterForPeople(IMessagePresenter& presenter, std::function<bool()> unattended)
        : m_presenter(presenter), m_unattended(std::move(unattended))
    {
    }
    std::string Show(const MessageRequest& request) override
    {
        return m_unattended() ? std::string() : m_presenter.Show(request);
    }
    ShellAlertResult ShowShellAlert(int frame, const std::string& text,
                                    const std::string& checkBoxLabel,
                                    const std::string& caption) override
    {
        return m_unattended() ? ShellAlertResult{}
                              : m_presenter.ShowShellAlert(frame, text, checkBoxLabel, caption);
    }

private:
    IMessagePresenter& m_presenter;
    std::function<bool()> m_unattended;
};

} // namespace qw
