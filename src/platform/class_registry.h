#pragma once

#include <string>

namespace qw
{

// The classes the shell and COM see. Keys are relative to the classes root,
// for example "CLSID\{...}".
class IClassRegistry
{
public:
    virtual ~IClassRegistry() = default;
    // Whether the key exists for this user to read.
    virtual bool ClassKeyExists(const std::string& key) = 0;
    // Sets the default value of a key in the current user's own classes,
    // creating the key. False when that cannot be done.
    virtual bool SetUserClassText(const std::string& key, const std::string& text) = 0;
};

} // namespace qw
