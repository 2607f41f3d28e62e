#include "fakes/fake_platform.h"

namespace qw::test
{

std::string FoldKey(std::string_view name)
{
    std::string out(name);
    for (char& c : out)
    {
        if (c >= 'A' && c <= 'Z')
        {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

int CFakeSettingsStore::ReadInt(std::string_view name, int defaultValue)
{
    auto it = values.find(FoldKey(name));
    if (it == values.end() || !std::holds_alternative<int>(it->second))
    {
        return defaultValue;
    }
    return std::get<int>(it->second);
}

std::string CFakeSettingsStore::ReadText(std::string_view name, std::string_view defaultValue)
{
    auto it = values.find(FoldKey(name));
    if (it == values.end() || !std::holds_alternative<std::string>(it->second))
    {
        return std::string(defaultValue);
    }
    return std::get<std::string>(it->second);
}

bool CFakeSettingsStore::WriteInt(std::string_view name, int value)
{
    values[FoldKey(name)] = value;
    writes.emplace_back(name);
    return true;
}

bool CFakeSettingsStore::WriteText(std::string_view name, std::string_view value)
{
    values[FoldKey(name)] = std::string(value);
    writes.emplace_back(name);
    return true;
}

std::optional<std::string> CFakeFileSystem::ReadWholeFile(const std::string& path)
{
    reads.push_back(path);
    auto it = files.find(path);
    if (it == files.end())
    {
        return std::nullopt;
    }
    return it->second;
}

bool CFakeFileSystem::AppendToFile(const std::string& path, std::string_view bytes)
{
    if (failAppends)
    {
        return false;
    }
    files[path] += bytes;
    return true;
}

std::string CLatin1Codec::AnsiToUtf8(std::string_view text)
{
    std::string out;
    for (char c : text)
    {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x80)
        {
            out += c;
        }
        else
        {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

DriveType CFakeSystemInfo::DriveTypeOf(const std::string& root)
{
    auto it = driveTypes.find(root);
    return it == driveTypes.end() ? DriveType::NoRootDir : it->second;
}

std::string CFakeSystemInfo::FileSystemName(const std::string& root)
{
    auto it = fileSystems.find(root);
    return it == fileSystems.end() ? std::string() : it->second;
}

std::string CFakeSystemInfo::SpecialFolder(int folderId)
{
    auto it = specialFolders.find(folderId);
    return it == specialFolders.end() ? std::string() : it->second;
}

namespace
{

class CFakeModule : public ILoadedModule
{
public:
    CFakeModule(FakeModuleSpec spec, int& unloaded) : m_spec(std::move(spec)), m_unloaded(unloaded)
    {
    }
    ~CFakeModule() override { ++m_unloaded; }
    bool HasExport(const std::string& name) override { return m_spec.exports.count(name) != 0; }
    std::optional<ModuleVersion> DllVersion() override { return m_spec.version; }

private:
    FakeModuleSpec m_spec;
    int& m_unloaded;
};

} // namespace

CFakeModuleLoader::CFakeModuleLoader()
{
    // A system like any current one: a recycle-capable shell and both
    // free-space functions.
    modules["shell32.dll"] = {{"SHQueryRecycleBinA", "SHEmptyRecycleBinA"}, ModuleVersion{6, 0}};
    modules["kernel32.dll"] = {{"GetDiskFreeSpaceA", "GetDiskFreeSpaceExA"}, std::nullopt};
}

std::unique_ptr<ILoadedModule> CFakeModuleLoader::Load(const std::string& name)
{
    auto it = modules.find(FoldKey(name));
    if (it == modules.end())
    {
        return nullptr;
    }
    loaded.push_back(name);
    return std::make_unique<CFakeModule>(it->second, unloaded);
}

std::string CFakePresenter::Show(const MessageRequest& request)
{
    shown.push_back(request);
    if (answers.empty())
    {
        return {};
    }
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
}

ShellAlertResult CFakePresenter::ShowShellAlert(int, const std::string&, const std::string&,
                                                const std::string&)
{
    ++shellAlerts;
    if (shellAlertAnswers.empty())
    {
        return {};
    }
    ShellAlertResult result = shellAlertAnswers.front();
    shellAlertAnswers.erase(shellAlertAnswers.begin());
    return result;
}

} // namespace qw::test
