#include "shellext/extension_logic.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <tuple>

namespace qw
{
namespace
{

TEST(LaunchArguments, EachPathQuotedOneBlankBetween)
{
    struct Case
    {
        std::vector<std::string> paths;
        std::string text;
    };
    const Case cases[] = {
        {{}, ""},
        {{"C:\\a.txt"}, "\"C:\\a.txt\""},
        {{"C:\\with blank.txt", "C:\\Ünïcode ファイル.txt", "C:\\a folder"},
         "\"C:\\with blank.txt\" \"C:\\Ünïcode ファイル.txt\" \"C:\\a folder\""},
    };
    for (const Case& c : cases)
    {
        EXPECT_EQ(LaunchArguments(c.paths), c.text);
    }
    // Nothing is cut: a path far beyond MAX_PATH arrives whole.
    std::string deep = "C:\\" + std::string(400, 'd') + "\\f.txt";
    EXPECT_EQ(LaunchArguments({deep}), "\"" + deep + "\"");
}

// `units` UTF-16 code units made of `piece` (worth `pieceUnits` each).
std::string Text(std::size_t units, std::string_view piece = "a", std::size_t pieceUnits = 1)
{
    std::string text;
    for (std::size_t i = 0; i < units / pieceUnits; ++i)
    {
        text += piece;
    }
    return text + std::string(units % pieceUnits, 'a');
}

TEST(PlanLaunches, WholePathsInOrderEachLineWithinTheLimit)
{
    const std::string program = "C:\\Q\\Quellwipe.exe"; // 18 units
    // The quoted program, then a blank and a quoted path for each path.
    auto line = [&](const std::vector<std::string>& paths, auto unitsOf)
    {
        std::size_t length = 18 + 2;
        for (const std::string& path : paths)
        {
            length += unitsOf(path) + 3;
        }
        return length;
    };
    const std::size_t limit = 100;
    const std::size_t alone = limit - 23; // one path that fills a line exactly
    std::vector<std::string> many;
    for (int i = 0; i < 400; ++i)
    {
        many.push_back("C:\\sel\\" + std::to_string(1000 + i) + " " + Text(93)); // 105 characters
    }
    struct Case
    {
        const char* what;
        std::vector<std::string> paths;
        std::size_t limit;
        std::size_t launches;
        int tooLong;       // index of the refused path, or -1
        std::size_t units; // UTF-16 units of each path, for the check of every line
    };
    const Case cases[] = {
        {"nothing selected", {}, limit, 0, -1, 0},
        {"one path exactly at the limit", {Text(alone)}, limit, 1, -1, alone},
        {"one path one over", {Text(alone + 1)}, limit, 0, 0, alone + 1},
        {"two paths exactly filling one line", {Text(30), Text(alone - 33)}, limit, 1, -1, 0},
        {"two paths one over", {Text(30), Text(alone - 32)}, limit, 2, -1, 0},
        // Counted in UTF-16 units: twice as many bytes still fit.
        {"two-byte characters", {Text(alone, "\xC3\xA4")}, limit, 1, -1, alone},
        // A character outside the basic plane takes two units.
        {"surrogate pairs", {Text(alone + 1, "\xF0\x9F\x98\x80", 2)}, limit, 0, 0, alone + 1},
        {"a too long path among others",
         {Text(10), Text(10), Text(alone + 5), Text(10)},
         limit,
         0,
         2,
         0},
        {"400 long paths", many, kLaunchLineLimit, 2, -1, 0},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        auto unitsOf = [&](const std::string& path) { return c.units ? c.units : path.size(); };
        LaunchPlan plan = PlanLaunches(program, c.paths, c.limit);
        ASSERT_EQ(plan.launches.size(), c.launches);
        if (c.tooLong >= 0)
        {
            EXPECT_EQ(plan.tooLong, c.paths[static_cast<std::size_t>(c.tooLong)]);
            continue;
        }
        EXPECT_FALSE(plan.tooLong);
        std::vector<std::string> joined;
        for (std::size_t i = 0; i < plan.launches.size(); ++i)
        {
            const auto& launch = plan.launches[i];
            ASSERT_FALSE(launch.empty());
            EXPECT_LE(line(launch, unitsOf), c.limit);
            EXPECT_EQ(Utf16Length(LaunchCommandLine(program, LaunchArguments(launch))),
                      line(launch, unitsOf));
            // No launch is split early: the next path would not have fitted.
            if (i + 1 < plan.launches.size())
            {
                auto grown = launch;
                grown.push_back(plan.launches[i + 1].front());
                EXPECT_GT(line(grown, unitsOf), c.limit);
            }
            joined.insert(joined.end(), launch.begin(), launch.end());
        }
        EXPECT_EQ(joined, c.paths);
    }
}

TEST(MatchCommand, OnlyOffsetZeroAndOurVerb)
{
    auto offset = [](std::size_t n) { return VerbField{false, n, {}}; };
    auto verb = [](std::string text) { return VerbField{true, 0, std::move(text)}; };
    struct Case
    {
        std::vector<VerbField> fields;
        CommandMatch match;
    };
    const Case cases[] = {
        {{offset(0)}, CommandMatch::Ours},
        {{offset(0), offset(0)}, CommandMatch::Ours},
        {{verb("quellwipe")}, CommandMatch::Ours},
        {{verb("QuellWipe"), offset(0)}, CommandMatch::Ours},
        {{offset(3)}, CommandMatch::ForeignOffset},
        {{offset(0), offset(3)}, CommandMatch::ForeignOffset},
        {{verb("quellwipe"), offset(1)}, CommandMatch::ForeignOffset},
        {{verb("open")}, CommandMatch::ForeignVerb},
        // Explorer's way: the offset field zero, the verb in the wide field.
        {{offset(0), verb("delete")}, CommandMatch::ForeignVerb},
        {{offset(3), verb("open")}, CommandMatch::ForeignVerb},
        {{verb("quellwipe2")}, CommandMatch::ForeignVerb},
        {{verb("")}, CommandMatch::ForeignVerb},
    };
    for (const Case& c : cases)
    {
        std::string shown;
        for (const VerbField& f : c.fields)
        {
            shown += f.isText ? "'" + f.text + "' " : std::to_string(f.offset) + " ";
        }
        EXPECT_EQ(MatchCommand(c.fields), c.match) << shown;
    }
}

TEST(MenuLanguage, FirstIniRemovedEmptyIsEnglish)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "English"},
        {"Deutsch", "Deutsch"},
        {"Deutsch.ini", "Deutsch"},
        {".ini", "English"},
        {"a.inib.ini", "ab.ini"},
        {"Français", "Français"},
        {"English.INI", "English.INI"}, // only the lower-case extension is removed
    };
    for (const auto& [stored, language] : cases)
    {
        EXPECT_EQ(MenuLanguage(stored), language) << stored;
    }
}

TEST(ChooseProgram, FullPathInTheApplicationFolderOrNothing)
{
    std::set<std::string> files{"C:\\App\\Quellwipe.exe", "C:\\Ext\\Quellwipe.exe",
                                "D:\\Quellwipe.exe"};
    auto isFile = [&](const std::string& path) { return files.count(path) > 0; };
    struct Case
    {
        std::string appPath, moduleFolder;
        std::optional<std::string> program;
    };
    const Case cases[] = {
        {"C:\\App", "C:\\Ext", "C:\\App\\Quellwipe.exe"},
        {"C:\\App\\", "C:\\Ext", "C:\\App\\Quellwipe.exe"},
        {"", "C:\\Ext", "C:\\Ext\\Quellwipe.exe"},
        {"D:\\", "C:\\Ext", "D:\\Quellwipe.exe"},
        // The application folder set but without the program: nothing.
        {"C:\\Moved", "C:\\Ext", std::nullopt},
        {"", "C:\\Lonely", std::nullopt},
        // Never a bare name, which the shell would find in the current folder.
        {"", "", std::nullopt},
    };
    for (const Case& c : cases)
    {
        auto chosen = ChooseProgram(c.appPath, c.moduleFolder, isFile);
        ASSERT_EQ(chosen.has_value(), c.program.has_value()) << c.appPath << "|" << c.moduleFolder;
        if (chosen)
        {
            EXPECT_EQ(chosen->program, *c.program);
            EXPECT_EQ(chosen->program.rfind(chosen->folder, 0), 0u);
        }
    }
}

// Keys and their string values, as the registry keeps them: writing a value
// creates its key and every missing parent; a key with subkeys cannot be
// deleted. Keys in failWrites are created but their value is refused; keys in
// stuckKeys cannot be deleted.
class CFakeRegistry : public IRegistryWriter
{
public:
    bool KeyExists(RegistryRoot root, const std::string& key) override
    {
        return keys.count({root, key}) > 0;
    }
    std::optional<SavedValue> SaveValue(RegistryRoot root, const std::string& key,
                                        const std::string& name) override
    {
        auto it = keys.find({root, key});
        if (it == keys.end() || !it->second.count(name))
        {
            return std::nullopt;
        }
        return SavedValue{1, it->second[name]};
    }
    bool RestoreValue(RegistryRoot root, const std::string& key, const std::string& name,
                      const SavedValue& value) override
    {
        auto it = keys.find({root, key});
        return it != keys.end() && (it->second[name] = value.bytes, true);
    }
    bool SetString(const RegistryRow& row) override
    {
        for (std::size_t at = row.key.find('\\'); at != std::string::npos;
             at = row.key.find('\\', at + 1))
        {
            keys[{row.root, row.key.substr(0, at)}];
        }
        auto& values = keys[{row.root, row.key}];
        if (failWrites.count(row.key))
        {
            return false;
        }
        values[row.valueName] = row.data;
        written.push_back(row.key + "|" + row.valueName);
        return true;
    }
    Removal DeleteKey(RegistryRoot root, const std::string& key) override
    {
        auto it = keys.find({root, key});
        auto sub = keys.lower_bound({root, key + "\\"});
        if (it == keys.end())
        {
            return Removal::Absent;
        }
        if (stuckKeys.count(key) || (sub != keys.end() && sub->first.first == root &&
                                     sub->first.second.rfind(key + "\\", 0) == 0))
        {
            return Removal::Failed;
        }
        keys.erase(it);
        return Removal::Removed;
    }
    Removal DeleteValue(RegistryRoot root, const std::string& key, const std::string& name) override
    {
        auto it = keys.find({root, key});
        return it != keys.end() && it->second.erase(name) ? Removal::Removed : Removal::Absent;
    }

    std::map<std::pair<RegistryRoot, std::string>, std::map<std::string, std::string>> keys;
    std::set<std::string> failWrites, stuckKeys;
    std::vector<std::string> written;
};

const std::string kClsid(kShellvaneClsid);
const std::string kClass = "CLSID\\" + kClsid;
const std::string kServer = kClass + "\\InProcServer32";
const std::string kFiles = "*\\shellex\\ContextMenuHandlers\\Quell Wipe Context Menu";
const std::string kFolders = "Folder\\shellex\\ContextMenuHandlers\\Quell Wipe Context Menu";
const std::string kApproved =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const std::string kLibrary = "C:\\Program Files\\Quellwipe\\Shellvane.dll";
constexpr RegistryRoot kClasses = RegistryRoot::ClassesRoot;
constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;
using Values = std::map<std::string, std::string>;

TEST(Registration, SixRowsInOrderTwiceIsOnce)
{
    CFakeRegistry registry;
    ASSERT_TRUE(RegisterExtension(registry, kClsid, kLibrary, true));
    EXPECT_EQ(registry.written,
              (std::vector<std::string>{kClass + "|", kServer + "|", kServer + "|ThreadingModel",
                                        kFiles + "|", kFolders + "|", kApproved + "|" + kClsid}));
    using Values = std::map<std::string, std::string>;
    const RegistryRoot classes = RegistryRoot::ClassesRoot;
    EXPECT_EQ((registry.keys[{classes, kClass}]), (Values{{"", "Quell Wipe Context Menu"}}));
    EXPECT_EQ((registry.keys[{classes, kServer}]),
              (Values{{"", kLibrary}, {"ThreadingModel", "Apartment"}}));
    EXPECT_EQ((registry.keys[{classes, kFiles}]), (Values{{"", kClsid}}));
    EXPECT_EQ((registry.keys[{classes, kFolders}]), (Values{{"", kClsid}}));
    EXPECT_EQ((registry.keys[{RegistryRoot::LocalMachine, kApproved}]),
              (Values{{kClsid, "Quell Wipe Context Menu"}}));

    auto once = registry.keys;
    ASSERT_TRUE(RegisterExtension(registry, kClsid, kLibrary, true));
    EXPECT_EQ(registry.keys, once);
}

TEST(Registration, OutsideTheNtFamilyNoApprovedValue)
{
    CFakeRegistry registry;
    registry.SetString({kMachine, kApproved, kClsid, "left by hand"});
    ASSERT_TRUE(RegisterExtension(registry, kClsid, kLibrary, false));
    EXPECT_EQ(registry.written.size(), 6u); // the planted value and five rows
    EXPECT_TRUE(UnregisterExtension(registry, kClsid, false).empty());
    EXPECT_EQ((registry.keys[{kMachine, kApproved}]), (Values{{kClsid, "left by hand"}}));
    EXPECT_EQ(registry.keys.count({kClasses, kClass}), 0u);
}

// What a machine holds besides us: another class, handler and approved
// extension, and an older registration of ours from another folder.
CFakeRegistry LivedInRegistry()
{
    CFakeRegistry registry;
    registry.SetString({kClasses, "CLSID\\{0000-other}", "", "Other"});
    registry.SetString({kClasses, "*\\shellex\\ContextMenuHandlers\\Other", "", "{0000-other}"});
    registry.SetString({kMachine, kApproved, "{0000-other}", "Other"});
    registry.SetString({kClasses, kServer, "", "D:\\Old\\Shellvane.dll"});
    return registry;
}

TEST(Registration, AFailedRowLeavesTheRegistryAsItWas)
{
    for (bool livedIn : {false, true})
    {
        for (const std::string& failing : {kClass, kServer, kFolders, kApproved})
        {
            SCOPED_TRACE(failing + (livedIn ? " over a lived-in registry" : " on an empty one"));
            CFakeRegistry registry = livedIn ? LivedInRegistry() : CFakeRegistry();
            const auto before = registry.keys;
            registry.failWrites = {failing};
            EXPECT_FALSE(RegisterExtension(registry, kClsid, kLibrary, true));
            // Created keys and parents gone, overwritten values back.
            EXPECT_EQ(registry.keys, before);
        }
    }
}

TEST(Registration, UnregistrationRemovesWhatItCanAndNamesTheRest)
{
    struct Case
    {
        const char* what;
        std::function<void(CFakeRegistry&)> damage; // after a full registration
        std::vector<std::string> left;
    };
    const Case cases[] = {
        {"a full registration", [](CFakeRegistry&) {}, {}},
        {"the class key deleted by hand",
         [](CFakeRegistry& r) {
             r.keys.erase({kClasses, kServer}), r.keys.erase({kClasses, kClass});
         },
         {}},
        {"only the Approved value left",
         [](CFakeRegistry& r) { UnregisterExtension(r, kClsid, false); },
         {}},
        {"the folders' key holding another's subkey",
         [](CFakeRegistry& r) {
             r.SetString({kClasses, kFolders + "\\Other", "", "x"});
         },
         {kFolders}},
        {"a server key that cannot be deleted",
         [](CFakeRegistry& r) { r.stuckKeys = {kServer}; },
         {kServer, kClass}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        CFakeRegistry registry = LivedInRegistry();
        ASSERT_TRUE(RegisterExtension(registry, kClsid, kLibrary, true));
        c.damage(registry);
        EXPECT_EQ(UnregisterExtension(registry, kClsid, true), c.left);
        // Of our keys exactly those named stay; nothing of others goes.
        for (const std::string& key : {kServer, kClass, kFiles, kFolders})
        {
            bool named = std::find(c.left.begin(), c.left.end(), key) != c.left.end();
            EXPECT_EQ(registry.keys.count({kClasses, key}), named ? 1u : 0u) << key;
        }
        EXPECT_EQ((registry.keys[{kMachine, kApproved}]), (Values{{"{0000-other}", "Other"}}));
        EXPECT_EQ((registry.keys[{kClasses, "CLSID\\{0000-other}"}][""]), "Other");
        EXPECT_EQ(registry.keys.count({kClasses, "*\\shellex\\ContextMenuHandlers\\Other"}), 1u);
        // Again: what is already gone is removed.
        EXPECT_EQ(UnregisterExtension(registry, kClsid, true), c.left);
    }
}

TEST(MenuItem, OfferedOnlyForAnOrdinaryMenu)
{
    // CMF_DEFAULTONLY 0x1 and CMF_VERBSONLY 0x2 refuse it, whatever else is set
    // (CMF_EXPLORE 0x4, CMF_CANRENAME 0x10, CMF_EXTENDEDVERBS 0x100).
    const std::pair<unsigned, bool> cases[] = {{0x0, true},  {0x4, true},  {0x110, true},
                                               {0x1, false}, {0x5, false}, {0x102, false}};
    for (const auto& [flags, offered] : cases)
    {
        EXPECT_EQ(OffersMenuItem(flags), offered) << std::hex << flags;
    }
}

TEST(CommandString, TextFittedToTheRoomWithItsTerminator)
{
    const std::u16string text = u"Quell Wipe";     // 10 units
    const std::u16string pair = u"ab\U0001F600cd"; // the pair at units 2 and 3
    using Case = std::tuple<std::u16string_view, std::size_t, bool, std::optional<std::size_t>>;
    const Case cases[] = {
        {text, 11, false, 10},
        {text, 10, false, std::nullopt}, // no room for the terminator
        {text, 10, true, 9},
        {text, 1, true, 0},
        {text, 0, true, std::nullopt},
        {pair, 4, true, 2}, // never half a pair
        {pair, 5, true, 4},
    };
    for (const auto& [in, room, mayCut, units] : cases)
    {
        EXPECT_EQ(FittedUnits(in, room, mayCut), units) << room << (mayCut ? " cut" : " whole");
    }
}

} // namespace
} // namespace qw
