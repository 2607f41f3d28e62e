#pragma once

#include "platform/settings_store.h"

#include <windows.h>

namespace qw
{

// Values directly in HKEY_CURRENT_USER\Software\<company>\<profile>:
// integers as REG_DWORD, texts as REG_SZ. The key is made on first write.
class CRegistrySettingsStore : public ISettingsStore
{
public:
    CRegistrySettingsStore(std::string_view company, std::string_view profile,
                           HKEY root = HKEY_CURRENT_USER);

    int ReadInt(std::string_view name, int defaultValue) override;
    std::string ReadText(std::string_view name, std::string_view defaultValue) override;
    bool WriteInt(std::string_view name, int value) override;
    bool WriteText(std::string_view name, std::string_view value) override;

private:
    bool Write(std::string_view name, DWORD type, const BYTE* data, DWORD size);

    HKEY m_root;
    std::wstring m_subKey;
};

} // namespace qw
