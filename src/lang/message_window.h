#pragma once

#include "platform/presenter.h"

#include <string>

namespace qw
{

class CLanguagePack;

inline constexpr std::string_view kAnswerOk = "Ok";
inline constexpr std::string_view kAnswerYes = "Yes";
inline constexpr std::string_view kAnswerNo = "No";
inline constexpr std::string_view kAnswerCancel = "Cancel";

// One message window: filled by its creator, shown once, then read back.
// Texts come from the "Messages" section of the pack in the program folder.
class CMessageWindow
{
public:
    CMessageWindow(MessageSize size, const CLanguagePack& pack, std::string programFolder,
                   std::string language);

    std::string MessageText(int key) const;

    void SetFrame(int frame) { m_frame = frame; }
    void SetType(std::string type) { m_type = std::move(type); }
    void SetMessage(std::string message) { m_message = std::move(message); }
    void SetInsert(std::string insert) { m_insert = std::move(insert); }
    // Replaces "%u"; only the Small window has it.
    void SetSecondInsert(std::string insert) { m_secondInsert = std::move(insert); }

    MessageSize Size() const { return m_size; }
    int Frame() const { return m_frame; }
    const std::string& Type() const { return m_type; }
    // The message as the creator set it, as an unattended run logs it.
    const std::string& RawMessage() const { return m_message; }
    // "#" as a line break, then the inserts.
    std::string PreparedMessage() const;

    const std::string& DoModal(IMessagePresenter& presenter, const std::string& caption);
    const std::string& Answer() const { return m_answer; }

private:
    MessageSize m_size;
    const CLanguagePack& m_pack;
    std::string m_programFolder;
    std::string m_language;
    int m_frame = 1;
    std::string m_type;
    std::string m_message;
    std::string m_insert;
    std::string m_secondInsert;
    std::string m_answer;
};

} // namespace qw
