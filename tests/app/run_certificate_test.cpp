// The certificate a run leaves: its facts on one page that is safe to open,
// and the page written beside the record without ever changing the run.

#include "app/run_certificate.h"

#include "fakes/fake_platform.h"

#include <gtest/gtest.h>

#include <map>

namespace qw
{
namespace
{

using namespace std::chrono_literals;

// Texts that show their key, with the placeholders the packs have; they hold
// markup of their own, which the page must escape too.
std::string Text(int key)
{
    static const std::map<int, std::string> templates = {
        {9044, "Error %u: %s"},
        {9126, "quick, rounds %u"},
        {9127, "thorough, rounds %u"},
        {9136, "%u (%t bytes)"},
        {9138, "%u more"},
        {9141, "free space of %s"},
    };
    auto found = templates.find(key);
    return found != templates.end() ? found->second : "<" + std::to_string(key) + ">";
}

std::string Key(int key)
{
    return "&lt;" + std::to_string(key) + "&gt;";
}

RecordedItem Item(std::string path, bool shredded, LeftReason reason = LeftReason::None,
                  std::uint32_t code = 0)
{
    RecordedItem item;
    item.path = std::move(path);
    item.kind = ItemKind::File;
    item.shredded = shredded;
    item.reason = reason;
    item.code = code;
    return item;
}

RecordedRun SampleRun()
{
    RecordedRun run;
    run.id = "r-1";
    run.taskName = "Nightly <a>&\"b\"|c";
    run.version = "2.1.0";
    run.computer = "DESK&TOP";
    run.user = "ann<script>";
    run.method = 1;
    run.passes = 3;
    run.targets = {"C:\\in\\<b>.txt", "C:\\x|y&z"};
    run.start = std::chrono::sys_days{std::chrono::December / 10 / 2026} + 13h + 45min;
    run.end = run.start + 70s;
    run.items = {Item("C:\\in\\<b>.txt", true), Item("C:\\in\\held.txt", false, LeftReason::CannotOpen, 32),
                 Item("C:\\x|y&z", false, LeftReason::NotFound)};
    run.items.push_back(Item("D:\\", true));
    run.items.back().kind = ItemKind::FreeSpace;
    run.shredded = 2;
    run.left = 2;
    run.bytes = 1234567;
    run.exitCode = 1;
    run.lastLineHash = std::string(64, 'a');
    return run;
}

bool Has(const std::string& page, const std::string& text)
{
    return page.find(text) != std::string::npos;
}

TEST(RunCertificate, PageHoldsTheRunsFactsEscaped)
{
    const std::string page = CertificateHtml(SampleRun(), Text);
    const char* facts[] = {
        "<meta charset=\"utf-8\">",
        // Who, where, when, how.
        "Nightly &lt;a&gt;&amp;&quot;b&quot;|c", "DESK&amp;TOP", "ann&lt;script&gt;",
        "2026-12-10 13:45:00 &ndash; 2026-12-10 13:46:10", "thorough, rounds 3",
        // Named, shredded, left with the reason's text and the system's code.
        "<li>C:\\in\\&lt;b&gt;.txt</li>", "<li>C:\\x|y&amp;z</li>",
        "<td>C:\\in\\&lt;b&gt;.txt</td>", "<td>free space of D:\\</td>",
        "<td>C:\\in\\held.txt</td><td>Error 32: &lt;9147&gt;</td>",
        "<td>C:\\x|y&amp;z</td><td>&lt;9144&gt;</td>",
        "2 (1\xE2\x80\xAF" "234\xE2\x80\xAF" "567 bytes)",
    };
    for (const char* fact : facts)
    {
        EXPECT_TRUE(Has(page, fact)) << fact;
    }
    EXPECT_TRUE(Has(page, Key(9133))) << "items left";
    EXPECT_TRUE(Has(page, Key(9128))) << "read back";
    EXPECT_TRUE(Has(page, "<code>" + std::string(64, 'a') + "</code>"));
    // Nothing of a name reaches the page as markup.
    for (const char* raw : {"<a>", "<b>", "<script>", "&\"", "y&z", "<9"})
    {
        EXPECT_FALSE(Has(page, raw)) << raw;
    }
    EXPECT_FALSE(Has(page, Key(9139))) << "names were recorded";
}

TEST(RunCertificate, ResultMethodAndRecordFollowTheRun)
{
    const struct
    {
        int exitCode, method;
        bool verify, withheld;
        std::string hash;
        std::vector<std::string> present, absent;
    } cases[] = {
        {0, 0, false, false, "ff", {Key(9132), "quick, rounds 3", Key(9129), "<code>ff</code>"},
         {Key(9133), Key(9128)}},
        {2, 1, true, false, "", {Key(9070), "&mdash;"}, {Key(9132), "<code>"}},
        {3, 1, true, true, "ab", {Key(9134), Key(9139)}, {Key(9070)}},
    };
    for (const auto& c : cases)
    {
        RecordedRun run = SampleRun();
        run.exitCode = c.exitCode;
        run.method = c.method;
        run.verify = c.verify;
        run.namesWithheld = c.withheld;
        run.lastLineHash = c.hash;
        run.taskName.clear();
        const std::string page = CertificateHtml(run, Text);
        for (const std::string& text : c.present)
        {
            EXPECT_TRUE(Has(page, text)) << c.exitCode << ": " << text;
        }
        for (const std::string& text : c.absent)
        {
            EXPECT_FALSE(Has(page, text)) << c.exitCode << ": " << text;
        }
        EXPECT_FALSE(Has(page, Key(9121))) << "no task row for a run a person started";
    }
}

TEST(RunCertificate, ManyShreddedItemsAreCountedBeyondTheListedOnesButEveryLeftOneIsListed)
{
    RecordedRun run = SampleRun();
    run.items.clear();
    const std::size_t shredded = kCertificateShreddedListed + 5;
    for (std::size_t i = 0; i < shredded; ++i)
    {
        run.items.push_back(Item("C:\\t\\s" + std::to_string(i), true));
        if (i % 100 == 0)
        {
            run.items.push_back(Item("C:\\t\\l" + std::to_string(i), false, LeftReason::Grew));
        }
    }
    const std::string page = CertificateHtml(run, Text);
    EXPECT_TRUE(Has(page, "C:\\t\\s" + std::to_string(kCertificateShreddedListed - 1) + "<"));
    EXPECT_FALSE(Has(page, "C:\\t\\s" + std::to_string(kCertificateShreddedListed) + "<"));
    EXPECT_TRUE(Has(page, "<em>5 more</em>"));
    EXPECT_TRUE(Has(page, "C:\\t\\l1000<"));
    std::size_t reasons = 0;
    for (std::size_t at = 0; (at = page.find(Key(9150), at)) != std::string::npos; ++at)
    {
        ++reasons;
    }
    EXPECT_EQ(reasons, 11u);
}

TEST(RunCertificate, FileNamesHoldTheStartAndAFileNameSafeTaskName)
{
    RecordedRun run = SampleRun();
    const std::pair<std::string, std::string> cases[] = {
        {"", "2026-12-10 134500 interactive"},
        {"Nightly <a>&\"b\"|c", "2026-12-10 134500 Nightly _a_&_b__c"},
        {"a/b\\c:d*e?f\tg", "2026-12-10 134500 a_b_c_d_e_f_g"},
        // Cut at 80 bytes, never inside a character.
        {std::string(79, 'x') + "\xC3\xA4z", "2026-12-10 134500 " + std::string(79, 'x')},
    };
    for (const auto& [task, name] : cases)
    {
        run.taskName = task;
        EXPECT_EQ(CertificateBaseName(run), name) << task;
    }
}

} // namespace
} // namespace qw
