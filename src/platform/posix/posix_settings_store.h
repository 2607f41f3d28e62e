#pragma once

#include "platform/settings_store.h"

namespace qw
{

// The settings in a file of their own, one "Name=dword:N" or "Name=sz:text"
// line per value. Names match without regard to case, as in the registry.
class CPosixSettingsStore : public ISettingsStore
{
public:
    explicit CPosixSettingsStore(std::string filePath) : m_filePath(std::move(filePath)) {}

    // $XDG_CONFIG_HOME (or ~/.config) + /<company>/<profile>.conf
    static std::string DefaultPath(std::string_view company, std::string_view profile);

    int ReadInt(std::string_view name, int defaultValue) override;
    std::string ReadText(std::string_view name, std::string_view defaultValue) override;
    bool WriteInt(std::string_view name, int value) override;
    bool WriteText(std::string_view name, std::string_view value) override;

    const std::string& FilePath() const { return m_filePath; }

private:
    // The stored "type:value" of a name, or nothing.
    bool Find(std::string_view name, std::string& typedValue) const;
    bool Store(std::string_view name, const std::string& typedValue);

    std::string m_filePath;
};

} // namespace qw
