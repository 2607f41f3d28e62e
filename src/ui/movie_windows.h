#pragma once

#include "platform/presenter.h"
#include "ui/flash_window.h"

#include <array>
#include <functional>
#include <string>

namespace qw
{

inline constexpr std::string_view kLanguageVar = "_root.strLanguage";

// Movie and skin region of each message window size.
FlashWindowSetup MessageWindowSetup(MessageSize size);

// A message window: the prepared text, its window type and frame. Its
// answer is "Ok", "Yes", "No", "Cancel" or empty.
class CMessageFlashWindow : public CFlashWindow
{
public:
    CMessageFlashWindow(IMovie& movie, ISkinControl* skin, IWindowFrame& frame,
                        IMessagePresenter& presenter, std::string programFolder,
                        std::string language, MessageRequest request);

protected:
    void SetVariables() override;
    // The small window cannot fall back on itself: a plain message box.
    void OnSkinFailure() override;

private:
    std::string m_language;
    MessageRequest m_request;
};

// The warning with a don't-show-again check box.
class CShellAlertFlashWindow : public CFlashWindow
{
public:
    struct Input
    {
        std::string language;
        std::string type = "warning";
        int frame = 1;
        std::string message;
        std::string checkBoxLabel;
    };
    CShellAlertFlashWindow(IMovie& movie, ISkinControl* skin, IWindowFrame& frame,
                           IMessagePresenter& presenter, std::string programFolder, Input input);

    bool DontShow() const { return m_dontShow; }

protected:
    void SetVariables() override;
    std::vector<CommandEntry> Commands() override;

private:
    Input m_input;
    bool m_dontShow = false;
};

// The progress window's face: three lines mirrored into the movie, and
// Cancel, which reaches the engine only through `onCancel`.
class CProgressFlashWindow : public CFlashWindow
{
public:
    CProgressFlashWindow(IMovie& movie, ISkinControl* skin, IWindowFrame& frame,
                         IMessagePresenter& presenter, std::string programFolder,
                         std::string language, std::function<void()> onCancel);

    void SetLine(int line, const std::string& text);
    const std::string& Line(int line) const { return m_lines.at(line - 1); }

protected:
    void SetVariables() override;
    std::vector<CommandEntry> Commands() override;

private:
    std::string m_language;
    std::function<void()> m_onCancel;
    std::array<std::string, 3> m_lines;
};

// The sub-folder rules (0 never, 1 ask, 2 always): shown, and taken back
// on OK.
class CSubfolderOptionsWindow : public CFlashWindow
{
public:
    CSubfolderOptionsWindow(IMovie& movie, IWindowFrame& frame, IMessagePresenter& presenter,
                            std::string programFolder, std::string language, int shredRule,
                            int removeRule);

    int ShredRule() const { return m_shredRule; }
    int RemoveRule() const { return m_removeRule; }
    // The Help button's page.
    void SetHelp(std::function<void()> help) { m_help = std::move(help); }

protected:
    void SetVariables() override;
    std::vector<CommandEntry> Commands() override;

private:
    std::string m_language;
    int m_shredRule;
    int m_removeRule;
    std::function<void()> m_help;
};

// The product's name and version, on the frame its caller chose.
class CAboutWindow : public CFlashWindow
{
public:
    CAboutWindow(IMovie& movie, IWindowFrame& frame, IMessagePresenter& presenter,
                 std::string programFolder, std::string language, int frameNumber,
                 std::string version, std::function<void()> systemInfo);

protected:
    void SetVariables() override;
    std::vector<CommandEntry> Commands() override;

private:
    std::string m_language;
    int m_frameNumber;
    std::string m_version;
    std::function<void()> m_systemInfo;
};

// The name of a new scheduled task. `refuse` sees each name offered with
// OK; when it returns true (the name is taken, and it has said so) the
// window stays open for another.
class CTaskNameWindow : public CFlashWindow
{
public:
    CTaskNameWindow(IMovie& movie, IWindowFrame& frame, IMessagePresenter& presenter,
                    std::string programFolder, std::string language,
                    std::function<bool(const std::string& name)> refuse);

    // Empty after Cancel, and after OK with no name typed.
    const std::string& TaskName() const { return m_name; }
    // OK was pressed with no name: the caller says so once the window has
    // closed.
    bool EmptyOnOk() const { return m_emptyOnOk; }

protected:
    void SetVariables() override;
    std::vector<CommandEntry> Commands() override;

private:
    std::string m_language;
    std::function<bool(const std::string&)> m_refuse;
    std::string m_name;
    bool m_emptyOnOk = false;
};

// When a task runs: once, daily, weekly on some days of the week or monthly
// on a day of the month, from a start date at a time of day.
struct TaskTrigger
{
    enum Kind
    {
        Once = 0,
        Daily = 1,
        Weekly = 2,
        Monthly = 3,
    };
    int kind = Once;
    int year = 2000, month = 1, day = 1;
    int hour = 0, minute = 0;
    // Sunday 1, Monday 2, ... Saturday 64.
    int weekDays = 0;
    // The component reaches days 1 to 16 of a month only.
    int monthDay = 1;
};

inline constexpr int kLastMonthDay = 16;

// "2026-12-31" (or "2026-1-5") and "22:30" (or "7:05"); false for anything
// that is not a real date or time of day.
bool ParseTaskDate(const std::string& text, int& year, int& month, int& day);
bool ParseTaskTime(const std::string& text, int& hour, int& minute);

// The schedule of one task, shown and taken back on OK. `tell` shows the
// message of a language key while the window stays open.
class CScheduleWindow : public CFlashWindow
{
public:
    static constexpr int kKeyBadDateTime = 9081;
    static constexpr int kKeyNoWeekDay = 9082;

    CScheduleWindow(IMovie& movie, IWindowFrame& frame, IMessagePresenter& presenter,
                    std::string programFolder, std::string language, std::string taskName,
                    TaskTrigger trigger, std::function<void(int key)> tell);

    const TaskTrigger& Trigger() const { return m_trigger; }

protected:
    void SetVariables() override;
    std::vector<CommandEntry> Commands() override;

private:
    bool Read();

    std::string m_language;
    std::string m_taskName;
    TaskTrigger m_trigger;
    std::function<void(int)> m_tell;
};

} // namespace qw
