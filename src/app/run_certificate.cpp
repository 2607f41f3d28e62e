#include "app/run_certificate.h"

#include "app/run_outcome.h"
#include "lang/placeholders.h"
#include "platform/file_system.h"

#include <algorithm>
#include <exception>

namespace qw
{
namespace
{

constexpr int kKeyTitle = 9120;
constexpr int kKeyTask = 9121;
constexpr int kKeyUser = 9122;
constexpr int kKeyComputer = 9123;
constexpr int kKeyTime = 9124;
constexpr int kKeyMethod = 9125;
constexpr int kKeyMethodRounds = 9126; // "%s; rounds: %u"
constexpr int kKeyQuick = 9915;        // the progress window's names of the methods
constexpr int kKeyThorough = 9916;
constexpr int kKeyVerified = 9128;
constexpr int kKeyNotVerified = 9129;
constexpr int kKeyTargets = 9130;
constexpr int kKeyResult = 9131;
constexpr int kKeyAllShredded = 9132;
constexpr int kKeyItemsLeft = 9133;
constexpr int kKeyNotStarted = 9134;
constexpr int kKeyCancelled = 9070; // the log's text for a cancelled run
constexpr int kKeyShreddedHeading = 9135;
constexpr int kKeyShreddedCount = 9136;
constexpr int kKeyLeftHeading = 9137;
constexpr int kKeyMoreShredded = 9138;
constexpr int kKeyWithheld = 9139;
constexpr int kKeyHash = 9140;
constexpr int kKeyFreeSpace = 9141;
constexpr int kKeyRecycleBin = 9142;
constexpr int kKeyErrorCode = 9044; // "Error %u: %s"

// Names already taken as the first, " (2)" ... after it.
constexpr int kMostNames = 1000;
// Keeps the file name, with its folders, well inside MAX_PATH.
constexpr std::size_t kTaskNameMost = 80;
constexpr std::size_t kWriteChunk = 1 << 20;

std::string Escaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 16);
    for (char c : text)
    {
        switch (c)
        {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// "2026-12-10 13:45:00" from "2026-12-10T13:45:00Z".
std::string ShownTime(std::chrono::system_clock::time_point time)
{
    std::string iso = IsoUtc(time);
    std::replace(iso.begin(), iso.end(), 'T', ' ');
    if (!iso.empty() && iso.back() == 'Z')
    {
        iso.pop_back();
    }
    return iso;
}

// 1234567 as "1 234 567", with narrow no-break spaces: read alike in every
// language.
std::string Grouped(std::uint64_t value)
{
    std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i)
    {
        if (i != 0 && (digits.size() - i) % 3 == 0)
        {
            out += "\xE2\x80\xAF";
        }
        out += digits[i];
    }
    return out;
}

std::string ResultText(const RecordedRun& run, const CertificateTexts& texts)
{
    switch (run.exitCode)
    {
    case kExitShredded:
        return texts(kKeyAllShredded);
    case kExitItemsLeft:
        return texts(kKeyItemsLeft);
    case kExitCancelled:
        return texts(kKeyCancelled);
    case kExitNotStarted:
        return texts(kKeyNotStarted);
    default:
        return std::to_string(run.exitCode);
    }
}

std::string ItemName(const RecordedItem& item, const CertificateTexts& texts)
{
    if (item.kind == ItemKind::FreeSpace)
    {
        return Substitute(texts(kKeyFreeSpace), {{"%s", item.path}});
    }
    if (item.kind == ItemKind::RecycleBin)
    {
        return texts(kKeyRecycleBin);
    }
    return item.path.empty() ? "\xE2\x80\x94" : item.path;
}

// No default: a new reason must get its text.
int ReasonKey(LeftReason reason)
{
    switch (reason)
    {
    case LeftReason::Declined:
        return 9143;
    case LeftReason::NotFound:
        return 9144;
    case LeftReason::Protected:
        return 9145;
    case LeftReason::Changed:
        return 9146;
    case LeftReason::CannotOpen:
        return 9147;
    case LeftReason::WriteFailed:
        return 9148;
    case LeftReason::NotVerified:
        return 9149;
    case LeftReason::Grew:
        return 9150;
    case LeftReason::Stopped:
        return 9151;
    case LeftReason::NotRenamed:
        return 9152;
    case LeftReason::NotDeleted:
        return 9153;
    case LeftReason::NotRemoved:
        return 9154;
    case LeftReason::LinkKept:
        return 9155;
    case LeftReason::OtherNames:
        return 9156;
    case LeftReason::NotEmptied:
        return 9157;
    case LeftReason::ContentsLeft:
        return 9127;
    case LeftReason::Unavailable:
        return 9158;
    case LeftReason::None:
    case LeftReason::Other:
        break;
    }
    return 9159;
}

std::string ReasonText(const RecordedItem& item, const CertificateTexts& texts)
{
    const std::string text = texts(ReasonKey(item.reason));
    if (item.code == 0)
    {
        return text;
    }
    return Substitute(texts(kKeyErrorCode), {{"%u", std::to_string(item.code)}, {"%s", text}});
}

void Row(std::string& page, const std::string& label, const std::string& escapedValue)
{
    page += "<tr><th>" + Escaped(label) + "</th><td>" + escapedValue + "</td></tr>\n";
}

constexpr std::string_view kStyle =
    "body{font-family:'Segoe UI',Tahoma,Arial,sans-serif;font-size:10.5pt;color:#000;"
    "background:#fff;margin:2em auto;max-width:60em;padding:0 1em}"
    "h1{font-size:17pt;margin:0 0 .1em}"
    "h2{font-size:12.5pt;margin:1.6em 0 .4em}"
    ".sub{color:#444;margin:0 0 1.2em}"
    "table{border-collapse:collapse;width:100%}"
    "th,td{border:1px solid #999;padding:.3em .5em;text-align:left;vertical-align:top;"
    "overflow-wrap:anywhere}"
    "th{background:#eee;font-weight:600}"
    ".facts th{width:26%}"
    "tr{break-inside:avoid}"
    "ul{margin:0;padding-left:1.2em}"
    "code{font-family:Consolas,'Courier New',monospace;overflow-wrap:anywhere}"
    ".note{border:2px solid #b60;padding:.5em .7em;margin:1em 0}"
    "@media print{body{margin:0;max-width:none}}";

} // namespace

std::string CertificateHtml(const RecordedRun& run, const CertificateTexts& texts)
{
    std::size_t shredded = 0;
    std::size_t left = 0;
    for (const RecordedItem& item : run.items)
    {
        ++(item.shredded ? shredded : left);
    }

    std::string page;
    page.reserve(4096 + 160 * (left + std::min(shredded, kCertificateShreddedListed)));
    const std::string title = Escaped(texts(kKeyTitle));
    page += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n";
    page += "<title>" + title + " " + Escaped(ShownTime(run.start)) + " UTC</title>\n";
    page += "<style>" + std::string(kStyle) + "</style>\n</head>\n<body>\n";
    page += "<h1>" + title + "</h1>\n";
    page += "<p class=\"sub\">Quellwipe " + Escaped(run.version) + " &middot; " + Escaped(run.id) +
            "</p>\n";
    if (run.namesWithheld)
    {
        page += "<p class=\"note\">" + Escaped(texts(kKeyWithheld)) + "</p>\n";
    }

    page += "<table class=\"facts\">\n";
    if (!run.taskName.empty())
    {
        Row(page, texts(kKeyTask), Escaped(run.taskName));
    }
    Row(page, texts(kKeyUser), Escaped(run.user));
    Row(page, texts(kKeyComputer), Escaped(run.computer));
    Row(page, texts(kKeyTime),
        Escaped(ShownTime(run.start)) + " &ndash; " + Escaped(ShownTime(run.end)));
    Row(page, texts(kKeyMethod),
        Escaped(Substitute(texts(kKeyMethodRounds),
                           {{"%s", texts(run.method == 1 ? kKeyThorough : kKeyQuick)},
                            {"%u", std::to_string(run.rounds)}})) +
            "<br>" + Escaped(texts(run.verify ? kKeyVerified : kKeyNotVerified)));
    std::string targets = "<ul>";
    for (const std::string& target : run.targets)
    {
        targets += "<li>" + Escaped(target == "recycle" ? texts(kKeyRecycleBin) : target) + "</li>";
    }
    Row(page, texts(kKeyTargets), targets + "</ul>");
    Row(page, texts(kKeyResult), "<strong>" + Escaped(ResultText(run, texts)) + "</strong>");
    Row(page, texts(kKeyShreddedHeading),
        Escaped(Substitute(texts(kKeyShreddedCount),
                           {{"%u", Grouped(run.shredded)}, {"%t", Grouped(run.bytes)}})));
    Row(page, texts(kKeyLeftHeading), Grouped(run.left));
    Row(page, texts(kKeyHash),
        run.lastLineHash.empty() ? std::string("&mdash;")
                                 : "<code>" + Escaped(run.lastLineHash) + "</code>");
    page += "</table>\n";

    if (left != 0)
    {
        page += "<h2>" + Escaped(texts(kKeyLeftHeading)) + "</h2>\n<table>\n";
        for (const RecordedItem& item : run.items)
        {
            if (!item.shredded)
            {
                page += "<tr><td>" + Escaped(ItemName(item, texts)) + "</td><td>" +
                        Escaped(ReasonText(item, texts)) + "</td></tr>\n";
            }
        }
        page += "</table>\n";
    }
    if (shredded != 0)
    {
        page += "<h2>" + Escaped(texts(kKeyShreddedHeading)) + "</h2>\n<table>\n";
        std::size_t listed = 0;
        for (const RecordedItem& item : run.items)
        {
            if (item.shredded && listed++ < kCertificateShreddedListed)
            {
                page += "<tr><td>" + Escaped(ItemName(item, texts)) + "</td></tr>\n";
            }
        }
        if (shredded > kCertificateShreddedListed)
        {
            page += "<tr><td><em>" +
                    Escaped(Substitute(texts(kKeyMoreShredded),
                                       {{"%u", Grouped(shredded - kCertificateShreddedListed)}})) +
                    "</em></td></tr>\n";
        }
        page += "</table>\n";
    }
    page += "</body>\n</html>\n";
    return page;
}

std::string CertificateBaseName(const RecordedRun& run)
{
    const auto when = run.start == std::chrono::system_clock::time_point{} ? run.end : run.start;
    std::string name = ShownTime(when);
    name.erase(std::remove(name.begin(), name.end(), ':'), name.end());
    std::string task;
    for (char c : run.taskName)
    {
        const bool refused = static_cast<unsigned char>(c) < 0x20 ||
                             std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos;
        task += refused ? '_' : c;
    }
    if (task.size() > kTaskNameMost)
    {
        std::size_t cut = kTaskNameMost;
        // Never half a UTF-8 character.
        while (cut > 0 && (static_cast<unsigned char>(task[cut]) & 0xC0) == 0x80)
        {
            --cut;
        }
        task.resize(cut);
    }
    return name + " " + (task.empty() ? std::string("interactive") : task);
}

std::string ReportsFolderOf(const std::string& recordFolder)
{
    return JoinPath(recordFolder, "Reports");
}

CRunCertificate::CRunCertificate(const CErasureRecord& record, IFileSystem& files,
                                 CertificateTexts texts, std::function<std::string()> folder)
    : m_record(record), m_files(files), m_texts(std::move(texts)), m_folder(std::move(folder))
{
}

void CRunCertificate::RunEnded(const RunEnd&)
{
    m_path.clear();
    // The run is over and its exit code decided: running out of memory for
    // the page must not end the program before it says so.
    try
    {
        const std::string folder = m_folder ? m_folder() : std::string();
        if (!folder.empty())
        {
            Write(folder, CertificateHtml(m_record.Run(), m_texts));
        }
    }
    catch (const std::exception&)
    {
        m_path.clear();
    }
}

bool CRunCertificate::Write(const std::string& folder, const std::string& html)
{
    OsError error;
    const std::string reports = ReportsFolderOf(folder);
    for (const std::string& made : {folder, reports})
    {
        if (!m_files.CreateFolder(made, error) && error.kind != ErrorKind::AlreadyExists)
        {
            return false;
        }
    }
    const std::string base = JoinPath(reports, CertificateBaseName(m_record.Run()));
    for (int n = 1; n <= kMostNames; ++n)
    {
        const std::string path =
            base + (n == 1 ? std::string() : " (" + std::to_string(n) + ")") + ".html";
        std::unique_ptr<IOpenFile> file = m_files.CreateNewForWriting(path, error);
        if (!file)
        {
            if (error.kind == ErrorKind::AlreadyExists)
            {
                continue;
            }
            return false;
        }
        bool written = true;
        for (std::size_t at = 0; written && at < html.size(); at += kWriteChunk)
        {
            written = file->WriteAt(at, reinterpret_cast<const std::uint8_t*>(html.data()) + at,
                                    std::min(kWriteChunk, html.size() - at), error);
        }
        written = written && file->Flush(error);
        const bool closed = file->Close(error);
        file.reset();
        if (!written || !closed)
        {
            // Half a certificate would read as a whole one.
            m_files.RemoveFile(path, error);
            return false;
        }
        m_path = path;
        return true;
    }
    return false;
}

} // namespace qw
