#include "lang/language_pack.h"

#include "lang/ini_file.h"
#include "platform/file_system.h"
#include "platform/setting_names.h"

#include <array>

namespace qw
{

bool IsLanguageName(std::string_view language)
{
    // Windows drops trailing dots and blanks from a name, a name made of
    // dots is no file of the folder, and with ".ini" one name holds at most
    // 255 characters.
    if (language.empty() || language.size() > 251 || language.back() == '.' ||
        language.back() == ' ' || language.front() == ' ' ||
        language.find("..") != std::string_view::npos)
    {
        return false;
    }
    for (char c : language)
    {
        if (static_cast<unsigned char>(c) < 0x20 ||
            std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos)
        {
            return false;
        }
    }
    // "CON.ini", "nul.ini" and their kin open devices, whatever the folder.
    const std::string_view stem = language.substr(0, language.find('.'));
    static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN",    "AUX",
                                                                 "NUL", "CONIN$", "CONOUT$"};
    for (std::string_view device : kDevices)
    {
        if (EqualsNoCase(stem, device))
        {
            return false;
        }
    }
    return !(stem.size() == 4 &&
             (EqualsNoCase(stem.substr(0, 3), "COM") || EqualsNoCase(stem.substr(0, 3), "LPT")) &&
             stem[3] >= '0' && stem[3] <= '9');
}

std::optional<std::string> LanguagePackPath(std::string_view folder, std::string_view language)
{
    if (!IsLanguageName(language))
    {
        return std::nullopt;
    }
    std::string path(folder);
    path += "\\Lang\\";
    path += language;
    path += ".ini";
    return path;
}

std::string CLanguagePack::Lookup(std::string_view folder, std::string_view language,
                                  std::string_view section, int key, std::string_view defaultText,
                                  std::size_t limit) const
{
    std::string value(defaultText);
    const std::optional<std::string> path = LanguagePackPath(folder, language);
    if (auto bytes = path ? m_files.ReadWholeFile(*path) : std::nullopt)
    {
        std::string text = DecodeTextFile(*bytes, m_codec);
        if (auto found = FindIniValue(text, section, std::to_string(key)))
        {
            value = std::move(*found);
        }
    }
    return CutToCharacters(value, limit);
}

bool CLanguagePack::HasPack(std::string_view folder, std::string_view language) const
{
    const std::optional<std::string> path = LanguagePackPath(folder, language);
    const auto bytes = path ? m_files.ReadWholeFile(*path) : std::nullopt;
    return bytes && HasIniSection(DecodeTextFile(*bytes, m_codec), kPackSection);
}

std::string CLanguagePack::Usable(std::string_view folder, std::string_view language) const
{
    return HasPack(folder, language) ? std::string(language) : std::string(kDefaultLanguage);
}

} // namespace qw
