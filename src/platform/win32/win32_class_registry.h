#pragma once

#include "platform/class_registry.h"

namespace qw
{

class CWin32ClassRegistry : public IClassRegistry
{
public:
    bool ClassKeyExists(const std::string& key) override;
    bool SetUserClassText(const std::string& key, const std::string& text) override;
};

} // namespace qw
