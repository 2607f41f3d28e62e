#include "lang/message_window.h"

#include "fakes/fake_platform.h"
#include "lang/language_pack.h"
#include "lang/placeholders.h"

#include <gtest/gtest.h>

namespace qw
{
namespace
{

class MessageWindowTest : public ::testing::Test
{
protected:
    CMessageWindow Make(MessageSize size)
    {
        return CMessageWindow(size, m_pack, "C:\\Prog", "English");
    }

    test::CFakeFileSystem m_files;
    test::CLatin1Codec m_codec;
    CLanguagePack m_pack{m_files, m_codec};
    test::CFakePresenter m_presenter;
};

TEST_F(MessageWindowTest, PreparesLineBreaksAndInsertsLiterally)
{
    CMessageWindow small = Make(MessageSize::Small);
    small.SetMessage("File %s is gone.#Code %u, again %s.");
    small.SetInsert("C:\\a#b%u.txt");
    small.SetSecondInsert("17");
    // Text brought in by an insert is never replaced again.
    EXPECT_EQ(small.PreparedMessage(),
              "File C:\\a#b%u.txt is gone.\nCode 17, again C:\\a#b%u.txt.");
    EXPECT_EQ(small.RawMessage(), "File %s is gone.#Code %u, again %s.");

    CMessageWindow middle = Make(MessageSize::Middle);
    middle.SetMessage("%s and %u");
    middle.SetInsert("x");
    middle.SetSecondInsert("17");
    EXPECT_EQ(middle.PreparedMessage(), "x and %u"); // only the Small window has "%u"
}

TEST_F(MessageWindowTest, ShowsFrameAndTypeAndKeepsTheAnswer)
{
    m_presenter.answers = {"Yes"};
    CMessageWindow window = Make(MessageSize::Big);
    window.SetFrame(3);
    window.SetType("warning");
    window.SetMessage("Go?");
    EXPECT_EQ(window.DoModal(m_presenter, "Title"), "Yes");
    EXPECT_EQ(window.Answer(), "Yes");
    ASSERT_EQ(m_presenter.shown.size(), 1u);
    EXPECT_EQ(m_presenter.shown[0].size, MessageSize::Big);
    EXPECT_EQ(m_presenter.shown[0].frame, 3);
    EXPECT_EQ(m_presenter.shown[0].type, "warning");
    EXPECT_EQ(m_presenter.shown[0].caption, "Title");
}

TEST_F(MessageWindowTest, MessageTextReadsTheMessagesSectionInTheProgramFolder)
{
    m_files.files["C:\\Prog\\Lang\\English.ini"] = "[Messages]\n9034=Not found: %s\n";
    CMessageWindow window = Make(MessageSize::Small);
    EXPECT_EQ(window.MessageText(9034), "Not found: %s");
    EXPECT_EQ(window.MessageText(9035), "Error");
}

TEST(Substitute, ReplacesEveryOccurrenceInOneScan)
{
    EXPECT_EQ(Substitute("%s-%s-%t", {{"%s", "a"}, {"%t", "%s"}}), "a-a-%s");
    EXPECT_EQ(Substitute("no tokens", {{"%s", "a"}}), "no tokens");
    EXPECT_EQ(Substitute("", {{"%s", "a"}}), "");
}

} // namespace
} // namespace qw
