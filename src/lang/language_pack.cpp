#include "lang/language_pack.h"

#include "lang/ini_file.h"
#include "platform/file_system.h"

namespace qw
{

std::string LanguagePackPath(std::string_view folder, std::string_view language)
{
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
    if (auto bytes = m_files.ReadWholeFile(LanguagePackPath(folder, language)))
    {
        std::string text = DecodeTextFile(*bytes, m_codec);
        if (auto found = FindIniValue(text, section, std::to_string(key)))
        {
            value = std::move(*found);
        }
    }
    return CutToCharacters(value, limit);
}

} // namespace qw
