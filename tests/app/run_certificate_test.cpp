// The certificate a run leaves: its facts on one page that is safe to open,
// and the page written beside the record without ever changing the run.

#include "app/run_certificate.h"

#include "app/targets_run.h"
#include "fakes/fake_platform.h"
#include "platform/setting_names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>

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
        {9044, "Error %u: %s"},     {9126, "%s, rounds %u"}, {9915, "quick"},
        {9916, "thorough"},         {9136, "%u (%t bytes)"}, {9138, "%u more"},
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
    run.rounds = 3;
    run.passes = 9;
    run.targets = {"C:\\in\\<b>.txt", "C:\\x|y&z", "recycle"};
    run.start = std::chrono::sys_days{std::chrono::December / 10 / 2026} + 13h + 45min;
    run.end = run.start + 70s;
    run.items = {Item("C:\\in\\<b>.txt", true),
                 Item("C:\\in\\held.txt", false, LeftReason::CannotOpen, 32),
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
        "Nightly &lt;a&gt;&amp;&quot;b&quot;|c",
        "DESK&amp;TOP",
        "ann&lt;script&gt;",
        "2026-12-10 13:45:00 &ndash; 2026-12-10 13:46:10",
        "thorough, rounds 3",
        // Named, shredded, left with the reason's text and the system's code.
        "<li>C:\\in\\&lt;b&gt;.txt</li><li>C:\\x|y&amp;z</li><li>&lt;9142&gt;</li>",
        "<td>C:\\in\\&lt;b&gt;.txt</td>",
        "<td>free space of D:\\</td>",
        "<td>C:\\in\\held.txt</td><td>Error 32: &lt;9147&gt;</td>",
        "<td>C:\\x|y&amp;z</td><td>&lt;9144&gt;</td>",
        "2 (1\xE2\x80\xAF"
        "234\xE2\x80\xAF"
        "567 bytes)",
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
        {0,
         0,
         false,
         false,
         "ff",
         {Key(9132), "quick, rounds 3", Key(9129), "<code>ff</code>"},
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

TEST(RunCertificate, EveryReasonHasItsOwnTextOfTheCertificatesKeys)
{
    RecordedRun run = SampleRun();
    std::set<int> keys;
    for (int reason = 1; reason <= static_cast<int>(LeftReason::Other); ++reason)
    {
        run.items = {Item("C:\\r", false, static_cast<LeftReason>(reason))};
        const std::string page = CertificateHtml(run, Text);
        const std::string cells = "<td>C:\\r</td><td>&lt;";
        const std::size_t at = page.find(cells);
        ASSERT_NE(at, std::string::npos) << reason;
        const int key = std::atoi(page.c_str() + at + cells.size());
        EXPECT_TRUE(key >= 9120 && key <= 9159) << reason << ": " << key;
        EXPECT_TRUE(keys.insert(key).second) << reason << " shares " << key;
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

constexpr const char* kReports = "C:\\Users\\u\\AppData\\Local\\Quellwipe\\Reports\\";
constexpr const char* kRecord = "C:\\Users\\u\\AppData\\Local\\Quellwipe\\erasure.jsonl";

// Whole unattended runs over the fake machine, one after another at the same
// second: each leaves its page beside the record, and a page that cannot be
// written leaves nothing and changes nothing.
TEST(RunCertificate, EveryRunLeavesOneBesideTheRecordAndAFailureChangesNothing)
{
    test::FakePlatform fake("C:\\Qw\\Quellwipe.exe");
    fake.files.files["C:\\Qw\\Lang\\English.ini"] =
        "[Tarnwell Language Pack]\n9053=Not found: %s\n9120=Certificate\n9144=Was not there\n";
    fake.settings.WriteText(kAppPath, "C:\\Qw");
    fake.system.driveMask = 0b100;
    fake.system.driveTypes = {{"C:\\", DriveType::Fixed}};
    fake.files.folders = {"C:\\", "C:\\d"};
    fake.platform.sha256 = &fake.sha;
    const std::string name = std::string(kReports) + "2026-12-10 134500 Nightly";
    const struct
    {
        const char* what;
        std::function<void()> arrange;
        const char* written; // none: no page
    } runs[] = {
        {"the first run", nullptr, " Nightly.html"},
        {"a second run in the same second", nullptr, " Nightly (2).html"},
        // Without a file to shred, the page's are the run's only writes.
        {"a Reports folder that cannot be made",
         [&]
         {
             const std::string folder(kReports, std::strlen(kReports) - 1);
             fake.files.folders.erase(folder);
             fake.files.failCreate.insert(folder);
         },
         nullptr},
        {"a write that fails", [&] { fake.files.failWriteAt = fake.files.writeCount; }, nullptr},
        {"a close that fails", [&] { fake.files.failCloseAt = fake.files.closeCount; }, nullptr},
    };
    std::size_t pages = 0;
    for (const auto& run : runs)
    {
        fake.files.failCreate.clear();
        if (run.written)
        {
            fake.files.files["C:\\d\\f.bin"] = std::string(5000, 'S');
        }
        if (run.arrange)
        {
            run.arrange();
        }
        CShredApp app(fake.platform);
        ASSERT_EQ(app.InitInstance(run.written ? R"("/s" "Nightly" "C:\d\f.bin" "C:\d\<gone>")"
                                               : R"("/s" "Nightly" "C:\d\<gone>")"),
                  StartOutcome::Completed);
        CTargetsRun().Run(app);
        EXPECT_EQ(app.ExitInstance(), kExitItemsLeft) << run.what;
        EXPECT_EQ(fake.files.files.count("C:\\d\\f.bin"), 0u) << run.what;

        std::size_t found = 0;
        for (const auto& [path, bytes] : fake.files.files)
        {
            found += path.starts_with(kReports) ? 1 : 0;
        }
        pages += run.written ? 1 : 0;
        EXPECT_EQ(found, pages) << run.what << ": a page only when written whole";
        if (!run.written)
        {
            continue;
        }
        const auto page = fake.files.files.find(name.substr(0, name.size() - 8) + run.written);
        ASSERT_NE(page, fake.files.files.end()) << run.what;
        const std::string& html = page->second;
        EXPECT_TRUE(Has(html, "<h1>Certificate</h1>")) << run.what;
        EXPECT_TRUE(Has(html, "<td>C:\\d\\&lt;gone&gt;</td><td>Was not there</td>")) << run.what;
        EXPECT_TRUE(Has(html, "<td>C:\\d\\f.bin</td>")) << run.what;
        std::string record = fake.files.files[kRecord];
        record.pop_back();
        const std::string last = record.substr(record.rfind('\n') + 1);
        EXPECT_TRUE(Has(html, "<code>" + fake.sha.Hex(last) + "</code>")) << run.what;
    }
}

} // namespace
} // namespace qw
