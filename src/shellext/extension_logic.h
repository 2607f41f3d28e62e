#pragma once

// What the Explorer extension decides without asking Windows: the argument
// text, the language rule, which program to start, and its registry rows.

#include "lang/utf16_length.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qw
{

inline constexpr std::string_view kShellvaneClsid = "{51917337-5113-4EC2-9CB6-C6212D0EF3E9}";
inline constexpr std::string_view kHandlerName = "Quell Wipe Context Menu";
inline constexpr std::string_view kMenuTextDefault = "Quell Wipe";
inline constexpr int kMenuTextKey = 9606;
inline constexpr std::size_t kMenuTextLimit = 199;

// Each path in double quotes, one blank between two, nothing after the last.
std::string LaunchArguments(const std::vector<std::string>& paths);

// CreateProcess takes at most 32,767 UTF-16 characters, its terminating null
// included. Each launch stays well below that, so that a system which adds to
// the line (a compatibility layer, a debugger set for the program) cannot
// push it over.
inline constexpr std::size_t kLaunchLineLimit = 32000;

// The program's full path in double quotes, a blank, the arguments.
std::string LaunchCommandLine(std::string_view program, std::string_view arguments);

// The selection in launches whose command lines fit `lineLimit`: each holds
// only whole paths, in selection order, and every path lies in exactly one.
// A path that cannot fit even alone is named in `tooLong`, and then there is
// no launch at all, so that nothing runs on a part of what was picked.
struct LaunchPlan
{
    std::vector<std::vector<std::string>> launches; // the paths of each launch
    std::optional<std::string> tooLong;
};
LaunchPlan PlanLaunches(std::string_view program, const std::vector<std::string>& paths,
                        std::size_t lineLimit = kLaunchLineLimit);

// The name by which a program may call our menu item instead of its offset.
inline constexpr std::string_view kVerbName = "quellwipe";

// Flags of a menu request, by their values in the shell's headers.
inline constexpr unsigned kMenuDefaultOnly = 0x1;
inline constexpr unsigned kMenuVerbsOnly = 0x2;

// Whether our item goes into a menu asked for with these flags. Not when only
// the default verb is wanted: a double click on a type without a default verb
// would start a shred. Not for the menu of a shortcut's target either: what
// the person named is the shortcut, not the file it points to.
bool OffersMenuItem(unsigned flags);

// What a caller asks of GetCommandString, by the shell's type values.
inline constexpr unsigned kCommandVerbA = 0x0;
inline constexpr unsigned kCommandHelpTextA = 0x1;
inline constexpr unsigned kCommandValidateA = 0x2;
inline constexpr unsigned kCommandUnicode = 0x4;

enum class CommandStringKind
{
    Valid,          // our command: S_OK, nothing written
    Verb,           // kVerbName
    HelpText,       // the menu item's own text
    NotImplemented, // a type we have no string for (verb icons, ...)
    NotOurs,        // another command offset
};

struct CommandStringRequest
{
    CommandStringKind kind;
    bool wide;
};

CommandStringRequest ClassifyCommandString(std::size_t command, unsigned type);

// How many UTF-16 units of `text` to copy into a buffer of `room` units that
// also needs its terminator: all of it, or, when it may be cut, as many as
// fit without splitting a surrogate pair. None when it may not be cut and
// does not fit, or when there is no room even for the terminator.
std::optional<std::size_t> FittedUnits(std::u16string_view text, std::size_t room, bool mayCut);

// One verb field of an invocation: a command offset or a verb text.
struct VerbField
{
    bool isText = false;
    std::size_t offset = 0;
    std::string text; // UTF-8
};

enum class CommandMatch
{
    Ours,
    ForeignOffset,
    ForeignVerb,
};

// Ours only when every field given names our item: offset 0 or our verb
// (verbs compare without case, as the shell compares them). Callers fill the
// ANSI and the wide field differently; a request on which they disagree is
// not ours.
CommandMatch MatchCommand(const std::vector<VerbField>& fields);

// The Language setting as a pack name: its first ".ini" removed; empty means
// English.
std::string MenuLanguage(std::string_view stored);

struct ProgramToStart
{
    std::string program; // full path of Quellwipe.exe
    std::string folder;  // its folder, the working folder of the run
};

// Quellwipe.exe in the application folder, or in the extension's own folder
// when no application folder is set; nothing when that folder lacks it. Never
// a bare name, which the shell would look up in the current folder and path.
std::optional<ProgramToStart> ChooseProgram(std::string_view appPath, std::string_view moduleFolder,
                                            const std::function<bool(const std::string&)>& isFile);

enum class RegistryRoot
{
    ClassesRoot,
    LocalMachine,
};

struct RegistryRow
{
    RegistryRoot root;
    std::string key;
    std::string valueName; // empty: the key's default value
    std::string data;
};

// What a value held before registration wrote over it, kept as it was
// (type and bytes) so that an undone registration can put it back.
struct SavedValue
{
    std::uint32_t type = 0;
    std::string bytes;
};

// Deleting a key or value: one that is already gone counts as removed.
enum class Removal
{
    Removed,
    Absent,
    Failed,
};

// Reads, writes and deletes what registration needs. Keys are created or
// opened for writing; SetString is false when the key cannot be, or the
// value not set. A key with subkeys is not deleted (Failed).
class IRegistryWriter
{
public:
    virtual ~IRegistryWriter() = default;
    virtual bool KeyExists(RegistryRoot root, const std::string& key) = 0;
    virtual std::optional<SavedValue> SaveValue(RegistryRoot root, const std::string& key,
                                                const std::string& valueName) = 0;
    virtual bool RestoreValue(RegistryRoot root, const std::string& key,
                              const std::string& valueName, const SavedValue& value) = 0;
    virtual bool SetString(const RegistryRow& row) = 0;
    virtual Removal DeleteKey(RegistryRoot root, const std::string& key) = 0;
    virtual Removal DeleteValue(RegistryRoot root, const std::string& key,
                                const std::string& valueName) = 0;
};

// The rows in the order they are written; the Approved value only on the NT
// family.
std::vector<RegistryRow> RegistrationRows(std::string_view clsid, std::string_view libraryPath,
                                          bool ntFamily);

// All rows, or none: when a row cannot be written, the values written are
// put back as they were and the keys this call created are deleted again.
bool RegisterExtension(IRegistryWriter& registry, std::string_view clsid,
                       std::string_view libraryPath, bool ntFamily);

// Removes every key and value of ours that it can, whatever is already gone,
// and names what is present but could not be removed (empty: success).
std::vector<std::string> UnregisterExtension(IRegistryWriter& registry, std::string_view clsid,
                                             bool ntFamily);

} // namespace qw
