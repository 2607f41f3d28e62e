#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qw
{

class IFileSystem;
class ITextCodec;

inline constexpr std::string_view kPackSection = "Tarnwell Language Pack";
inline constexpr std::string_view kMessagesSection = "Messages";
inline constexpr std::string_view kMissingText = "Error";

// Longest texts each kind of lookup returns, in characters.
inline constexpr std::size_t kTextLimit = 1999;
inline constexpr std::size_t kControlTextLimit = 499;
inline constexpr std::size_t kCaptionLimit = 99;

// Whether `language` can name a pack file of the Lang folder: one plain
// file name, never a path that leads out of it nor a device ("CON") that
// would be opened instead of a file.
bool IsLanguageName(std::string_view language);

// folder + "\Lang\" + language + ".ini"; nothing for a name that is no
// language name.
std::optional<std::string> LanguagePackPath(std::string_view folder, std::string_view language);

// Reads language packs anew at every lookup, so a change of language or of
// a pack takes effect at the next one.
class CLanguagePack
{
public:
    CLanguagePack(IFileSystem& files, ITextCodec& codec) : m_files(files), m_codec(codec) {}

    std::string Lookup(std::string_view folder, std::string_view language, std::string_view section,
                       int key, std::string_view defaultText, std::size_t limit) const;

    // Whether the pack of `language` in `folder` can be read and holds the
    // main section: without it every text would read "Error".
    bool HasPack(std::string_view folder, std::string_view language) const;

    // `language` where it has a pack; otherwise English, the first entry of
    // every language list, whose texts at least exist.
    std::string Usable(std::string_view folder, std::string_view language) const;

private:
    IFileSystem& m_files;
    ITextCodec& m_codec;
};

// The child controls of a window whose labels come from the language pack.
class IControlTexts
{
public:
    virtual ~IControlTexts() = default;
    virtual void SetItemText(int controlId, const std::string& text) = 0;
};

} // namespace qw
