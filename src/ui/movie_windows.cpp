#include "ui/movie_windows.h"

#include <cstdio>
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

CTaskNameWindow::CTaskNameWindow(IMovie& movie, IWindowFrame& frame, IMessagePresenter& presenter,
                                 std::string programFolder, std::string language,
                                 std::function<bool(const std::string&)> refuse)
    : CFlashWindow(movie, nullptr, frame, presenter, std::move(programFolder),
                   {"\\Lang\\taskname.movie", "", 1}),
      m_language(std::move(language)), m_refuse(std::move(refuse))
{
}

void CTaskNameWindow::SetVariables()
{
    Movie().SetVariable(std::string(kLanguageVar), m_language);
}

std::vector<CFlashWindow::CommandEntry> CTaskNameWindow::Commands()
{
    return {
        DragCommand(),
        {"IDC_FS_Cancel",
         [this](const std::string&)
         {
             m_name.clear();
             Close("Cancel");
         }},
        {"IDC_FS_Ok",
         [this](const std::string&)
         {
             const std::string name = Movie().GetVariable("_root.taskname_txt.text");
             // Blanks alone name nothing: the panel could not show such a task.
             if (name.find_first_not_of(" \t") == std::string::npos || name == "undefined")
             {
                 m_emptyOnOk = true;
                 Close("Ok");
                 return;
             }
             if (m_refuse && m_refuse(name))
             {
                 return;
             }
             m_name = name;
             Close("Ok");
         }},
    };
}

namespace
{

bool LeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && LeapYear(year) ? 29 : kDays[month - 1];
}

// Digits only, at least one, at most `most`.
bool ReadNumber(const std::string& text, std::size_t& at, std::size_t most, int& value)
{
    const std::size_t start = at;
    value = 0;
    while (at < text.size() && at - start < most && text[at] >= '0' && text[at] <= '9')
    {
        value = value * 10 + (text[at] - '0');
        ++at;
    }
    return at > start;
}

std::string TwoDigits(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

} // namespace

bool ParseTaskDate(const std::string& text, int& year, int& month, int& day)
{
    std::size_t at = 0;
    int y = 0, m = 0, d = 0;
    if (!ReadNumber(text, at, 4, y) || at != 4 || at >= text.size() || text[at++] != '-' ||
        !ReadNumber(text, at, 2, m) || at >= text.size() || text[at++] != '-' ||
        !ReadNumber(text, at, 2, d) || at != text.size())
    {
        return false;
    }
    // The scheduler keeps years in 16 bits; before 1900 no task can run.
    if (y < 1900 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m))
    {
        return false;
    }
    year = y;
    month = m;
    day = d;
    return true;
}

bool ParseTaskTime(const std::string& text, int& hour, int& minute)
{
    std::size_t at = 0;
    int h = 0, m = 0;
    const std::size_t colon = text.find(':');
    if (!ReadNumber(text, at, 2, h) || at >= text.size() || text[at++] != ':' ||
        !ReadNumber(text, at, 2, m) || at != text.size() || at - colon != 3 || h > 23 || m > 59)
    {
        return false;
    }
    hour = h;
    minute = m;
    return true;
}

CScheduleWindow::CScheduleWindow(IMovie& movie, IWindowFrame& frame, IMessagePresenter& presenter,
                                 std::string programFolder, std::string language,
                                 std::string taskName, TaskTrigger trigger,
                                 std::function<void(int)> tell)
    : CFlashWindow(movie, nullptr, frame, presenter, std::move(programFolder),
                   {"\\Lang\\schedule.movie", "", 1}),
      m_language(std::move(language)), m_taskName(std::move(taskName)), m_trigger(trigger),
      m_tell(std::move(tell))
{
}

void CScheduleWindow::SetVariables()
{
    IMovie& movie = Movie();
    movie.SetVariable(std::string(kLanguageVar), m_language);
    movie.SetVariable("_root.TaskName", m_taskName);
    movie.SetVariable("_root.ScheduleKind", std::to_string(m_trigger.kind));
    movie.SetVariable("_root.StartDate", std::to_string(m_trigger.year) + "-" +
                                             TwoDigits(m_trigger.month) + "-" +
                                             TwoDigits(m_trigger.day));
    movie.SetVariable("_root.StartTime",
                      TwoDigits(m_trigger.hour) + ":" + TwoDigits(m_trigger.minute));
    for (int day = 0; day < 7; ++day)
    {
        movie.SetVariable("_root.Day" + std::to_string(day),
                          (m_trigger.weekDays & (1 << day)) != 0 ? "true" : "false");
    }
    movie.SetVariable("_root.MonthDay", std::to_string(m_trigger.monthDay));
}

bool CScheduleWindow::Read()
{
    IMovie& movie = Movie();
    TaskTrigger read = m_trigger;
    read.kind = std::atoi(movie.GetVariable("_root.ScheduleKind").c_str());
    if (read.kind < TaskTrigger::Once || read.kind > TaskTrigger::Monthly)
    {
        read.kind = TaskTrigger::Once;
    }
    if (!ParseTaskDate(movie.GetVariable("_root.StartDate"), read.year, read.month, read.day) ||
        !ParseTaskTime(movie.GetVariable("_root.StartTime"), read.hour, read.minute))
    {
        m_tell(kKeyBadDateTime);
        return false;
    }
    read.weekDays = 0;
    for (int day = 0; day < 7; ++day)
    {
        if (movie.GetVariable("_root.Day" + std::to_string(day)) == "true")
        {
            read.weekDays |= 1 << day;
        }
    }
    if (read.kind == TaskTrigger::Weekly && read.weekDays == 0)
    {
        m_tell(kKeyNoWeekDay);
        return false;
    }
    read.monthDay = std::atoi(movie.GetVariable("_root.MonthDay").c_str());
    if (read.monthDay < 1 || read.monthDay > kLastMonthDay)
    {
        read.monthDay = 1;
    }
    m_trigger = read;
    return true;
}

std::vector<CFlashWindow::CommandEntry> CScheduleWindow::Commands()
{
    return {
        DragCommand(),
        {"IDC_FS_Cancel", [this](const std::string&) { Close("Cancel"); }},
        {"IDC_FS_Ok",
         [this](const std::string&)
         {
             if (Read())
             {
                 Close("Ok");
             }
         }},
    };
}

} // namespace qw
