#pragma once

#include <string_view>

namespace qw
{

// Registry key HKEY_CURRENT_USER\Software\<kSettingsCompany>\<kSettingsProfile>.
inline constexpr std::string_view kSettingsCompany = "Quellwipe";
inline constexpr std::string_view kSettingsProfile = "Shred";

inline constexpr std::string_view kPassCount = "PassCount";
inline constexpr std::string_view kMethod = "Method";
inline constexpr std::string_view kLanguage = "Language";
inline constexpr std::string_view kAppPath = "AppPath";
inline constexpr std::string_view kAlertDisabled = "AlertDisabled";
inline constexpr std::string_view kBinAlertDisabled = "BinAlertDisabled";
inline constexpr std::string_view kFolder = "Folder";
inline constexpr std::string_view kRemove = "Remove";
// 0: the last pass of a shred is not read back; the default reads it back.
inline constexpr std::string_view kVerify = "Verify";
// 0: the erasure record and the certificates say "withheld" for every name.
inline constexpr std::string_view kRecordNames = "RecordNames";

inline constexpr int kDefaultPassCount = 3;
inline constexpr int kDefaultMethod = 0;
// Folder and Remove: never.
inline constexpr int kDefaultRule = 0;
inline constexpr int kDefaultVerify = 1;
inline constexpr int kDefaultRecordNames = 1;
inline constexpr std::string_view kDefaultLanguage = "English";
// AppPath reads this at an interactive start when it was never written.
inline constexpr std::string_view kAppPathUnset = "Empty";

} // namespace qw
