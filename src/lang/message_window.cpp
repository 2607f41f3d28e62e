#include "lang/message_window.h"

#include "lang/language_pack.h"
#include "lang/placeholders.h"

namespace qw
{

CMessageWindow::CMessageWindow(MessageSize size, const CLanguagePack& pack,
                               std::string programFolder, std::string language)
    : m_size(size), m_pack(pack), m_programFolder(std::move(programFolder)),
      m_language(std::move(language))
{
}

std::string CMessageWindow::MessageText(int key) const
{
    return m_pack.Lookup(m_programFolder, m_language, kMessagesSection, key, kMissingText,
                         kTextLimit);
}

std::string CMessageWindow::PreparedMessage() const
{
    if (m_size == MessageSize::Small)
    {
        return Substitute(m_message, {{"#", "\n"}, {"%s", m_insert}, {"%u", m_secondInsert}});
    }
    return Substitute(m_message, {{"#", "\n"}, {"%s", m_insert}});
}

const std::string& CMessageWindow::DoModal(IMessagePresenter& presenter, const std::string& caption)
{
    MessageRequest request;
    request.size = m_size;
    request.frame = m_frame;
    request.type = m_type;
    request.text = PreparedMessage();
    request.caption = caption;
    m_answer = presenter.Show(request);
    return m_answer;
}

} // namespace qw
