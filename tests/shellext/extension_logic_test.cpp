#include "shellext/extension_logic.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

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

// Keys and their string values; a key with subkeys cannot be deleted, as on
// Windows NT. A key named in failKeys cannot be created or deleted.
class CFakeRegistry : public IRegistryWriter
{
public:
    using Key = std::pair<RegistryRoot, std::string>;

    bool SetString(const RegistryRow& row) override
    {
        if (failKeys.count(row.key))
        {
            return false;
        }
        keys[{row.root, row.key}][row.valueName] = row.data;
        written.push_back(row.key + "|" + row.valueName);
        return true;
    }
    bool DeleteKey(RegistryRoot root, const std::string& key) override
    {
        auto it = keys.find({root, key});
        if (failKeys.count(key) || it == keys.end())
        {
            return false;
        }
        for (const auto& [other, values] : keys)
        {
            if (other.first == root && other.second.rfind(key + "\\", 0) == 0)
            {
                return false;
            }
        }
        keys.erase(it);
        deleted.push_back(key);
        return true;
    }
    void DeleteValue(RegistryRoot root, const std::string& key,
                     const std::string& valueName) override
    {
        valueDeletes.push_back(key + "|" + valueName);
        if (auto it = keys.find({root, key}); it != keys.end())
        {
            it->second.erase(valueName);
        }
    }

    std::map<Key, std::map<std::string, std::string>> keys;
    std::set<std::string> failKeys;
    std::vector<std::string> written, deleted, valueDeletes;
};

const std::string kClsid(kShellvaneClsid);
const std::string kClass = "CLSID\\" + kClsid;
const std::string kServer = kClass + "\\InProcServer32";
const std::string kFiles = "*\\shellex\\ContextMenuHandlers\\Quell Wipe Context Menu";
const std::string kFolders = "Folder\\shellex\\ContextMenuHandlers\\Quell Wipe Context Menu";
const std::string kApproved =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const std::string kLibrary = "C:\\Program Files\\Quellwipe\\Shellvane.dll";

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
    ASSERT_TRUE(RegisterExtension(registry, kClsid, kLibrary, false));
    EXPECT_EQ(registry.written.size(), 5u);
    EXPECT_EQ(registry.keys.count({RegistryRoot::LocalMachine, kApproved}), 0u);
    ASSERT_TRUE(UnregisterExtension(registry, kClsid, false));
    EXPECT_TRUE(registry.valueDeletes.empty());
    EXPECT_TRUE(registry.keys.empty());
}

TEST(Registration, StopsAtTheFirstKeyThatCannotBeWritten)
{
    for (const std::string& failing : {kServer, kFolders, kApproved})
    {
        CFakeRegistry registry;
        registry.failKeys = {failing};
        EXPECT_FALSE(RegisterExtension(registry, kClsid, kLibrary, true)) << failing;
        std::size_t before = 0;
        for (const RegistryRow& row : RegistrationRows(kClsid, kLibrary, true))
        {
            if (row.key == failing)
            {
                break;
            }
            ++before;
        }
        // The rows before it stay, nothing after it is written.
        EXPECT_EQ(registry.written.size(), before) << failing;
    }
}

TEST(Registration, UnregistrationOrderAndFailures)
{
    CFakeRegistry registry;
    ASSERT_TRUE(RegisterExtension(registry, kClsid, kLibrary, true));
    ASSERT_TRUE(UnregisterExtension(registry, kClsid, true));
    // The server key first: the class key cannot go while it has a subkey.
    EXPECT_EQ(registry.deleted, (std::vector<std::string>{kServer, kClass, kFiles, kFolders}));
    EXPECT_EQ(registry.valueDeletes, std::vector<std::string>{kApproved + "|" + kClsid});
    EXPECT_TRUE((registry.keys[{RegistryRoot::LocalMachine, kApproved}].empty()));

    // Again: the first key is missing, so it fails and deletes nothing.
    registry.deleted.clear();
    registry.valueDeletes.clear();
    EXPECT_FALSE(UnregisterExtension(registry, kClsid, true));
    EXPECT_TRUE(registry.deleted.empty());
    EXPECT_TRUE(registry.valueDeletes.empty());

    // A half registration stops at its first missing key.
    CFakeRegistry half;
    half.failKeys = {kFiles};
    EXPECT_FALSE(RegisterExtension(half, kClsid, kLibrary, true));
    half.failKeys.clear();
    EXPECT_FALSE(UnregisterExtension(half, kClsid, true));
    EXPECT_EQ(half.deleted, (std::vector<std::string>{kServer, kClass}));
}

} // namespace
} // namespace qw
