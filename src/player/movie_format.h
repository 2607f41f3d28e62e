#pragma once

#include "player/diagnostic.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qw
{

enum class ControlKind
{
    Title, // the skinned window's title area; mouse-down raises its command
    Label,
    Message, // multi-line text that wraps and scrolls
    Button,
    CheckBox,
    Radio,
    Stepper,
    Combo,
    List,
    Edit,
    Progress,
    Icon,
    Image,
    Tabs,
};

// A text shown by a control: a literal, the id of one of the movie's own
// texts ("@id", chosen by the current language), or a variable's value
// ("$_root.name").
struct TextRef
{
    std::string text;
    bool isId = false;
    bool isVariable = false;
};

// A variable written before a control's command is raised.
struct VariableWrite
{
    std::string name;
    std::string value;
};

// Shown only while `variable` holds `value`.
struct Condition
{
    std::string variable;
    std::string value;
};

struct Control
{
    ControlKind kind = ControlKind::Label;
    std::string id;
    int line = 0;
    // Position and size at 96 DPI, in the movie's own coordinates.
    int x = 0, y = 0, width = 0, height = 0;
    TextRef text;
    std::string value; // the variable its state reads and writes
    std::string items; // the array variable its entries come from
    // Or entries from numbered variables: labelPrefix + 0, 1, ... below the
    // number labelCount holds.
    std::string labelPrefix;
    std::string labelCount;
    std::string chosen;                    // receives the text of the entry the user picks
    std::vector<std::string> pageCommands; // tabs: raised when that page is picked
    std::string choice;                    // a radio button's value in its group
    std::string image;                     // icon: info, warning, question, error; image: a file
    std::vector<TextRef> pages;            // tab captions
    std::string panel;                     // "tabs-id:page" when shown on one tab page only
    std::vector<int> frames;               // empty: every frame
    std::optional<Condition> when;
    int low = 0, high = 100; // stepper and progress bar range
    std::string command;
    std::string argument;
    std::vector<VariableWrite> writes;
    bool isDefault = false; // Enter presses it
    bool isCancel = false;  // Esc presses it
};

enum class ActionKind
{
    Append,         // split a text variable into an array's new entries
    RemoveSelected, // drop the selected entry of an array
    Clear,          // empty an array
    Set,            // write a variable
};

// What writing `value` to `variable` starts.
inline constexpr std::string_view kAnyValue = "*";

// Started by a write of `value` to `variable`, or of any value for "*".
struct Behaviour
{
    std::string variable;
    std::string value;
    ActionKind action = ActionKind::Set;
    std::string target;    // the array, or the variable Set writes
    std::string source;    // Append: the text variable; Set: the value
    std::string separator; // Append
    std::string end;       // Append: a closing mark of the text, not part of its last piece
};

struct MovieDefinition
{
    int width = 0, height = 0;
    std::vector<int> frames;
    std::vector<Control> controls;
    // language -> text id -> text
    std::map<std::string, std::map<std::string, std::string>, std::less<>> texts;
    std::map<std::string, std::string, std::less<>> variables; // name -> initial value
    std::vector<std::string> arrays;
    std::vector<Behaviour> behaviours;
};

inline constexpr std::string_view kFallbackLanguage = "English";
inline constexpr std::string_view kRootPrefix = "_root.";
inline constexpr std::string_view kDragCommand = "IDC_FS_Drag";

// Reads a movie; nothing when it has any error, each reported with its line.
std::optional<MovieDefinition> ParseMovie(std::string_view text, const std::string& file,
                                          Diagnostics& diagnostics);

} // namespace qw
