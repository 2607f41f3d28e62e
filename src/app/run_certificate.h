#pragma once

#include "app/erasure_record.h"
#include "engine/run_events.h"

#include <cstddef>
#include <functional>
#include <string>

namespace qw
{

class IFileSystem;

// Texts of the program's current language, by pack key.
using CertificateTexts = std::function<std::string(int key)>;

// Shredded items listed by name on a certificate; beyond them it gives their
// number. A run over a tree of 100,000 files would otherwise make a page of
// thousands of printed sheets that a browser opens slowly; the record keeps
// every item, and every item left is always listed.
inline constexpr std::size_t kCertificateShreddedListed = 1000;

// The certificate of a run as one self-contained HTML page, everything in it
// escaped.
std::string CertificateHtml(const RecordedRun& run, const CertificateTexts& texts);

// "2026-12-10 134500 interactive": the run's start (UTC) and its task,
// without the characters a file name cannot hold.
std::string CertificateBaseName(const RecordedRun& run);

// Where the certificates of the record kept in `recordFolder` go.
std::string ReportsFolderOf(const std::string& recordFolder);

// Writes a certificate at the end of every run, beside the erasure record it
// is made from. It must hear RunEnded after the record. Whatever fails here,
// the run's outcome stays as it was.
class CRunCertificate : public IRunEvents
{
public:
    // `folder`: the record's folder, asked at each run's end; empty: none.
    CRunCertificate(const CErasureRecord& record, IFileSystem& files, CertificateTexts texts,
                    std::function<std::string()> folder);

    void RunEnded(const RunEnd& end) override;

    // The certificate written at the last run's end; empty when none was.
    const std::string& Path() const { return m_path; }

private:
    bool Write(const std::string& folder, const std::string& html);

    const CErasureRecord& m_record;
    IFileSystem& m_files;
    CertificateTexts m_texts;
    std::function<std::string()> m_folder;
    std::string m_path;
};

} // namespace qw
