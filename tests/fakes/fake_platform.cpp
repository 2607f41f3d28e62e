#include "fakes/fake_platform.h"

#include <algorithm>

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

namespace
{

class CFakeHeldMutex : public IHeldMutex
{
public:
    CFakeHeldMutex(CFakeNamedMutexes& owner, std::string name)
        : m_owner(owner), m_name(std::move(name))
    {
    }
    ~CFakeHeldMutex() override { m_owner.held.erase(m_name); }

private:
    CFakeNamedMutexes& m_owner;
    std::string m_name;
};

} // namespace

std::unique_ptr<IHeldMutex> CFakeNamedMutexes::Hold(const std::string& name,
                                                    std::chrono::milliseconds)
{
    holds.push_back(name);
    // One thread: a mutex still held is never let go while waiting.
    if (unavailable.count(name) || !held.insert(name).second)
    {
        return nullptr;
    }
    return std::make_unique<CFakeHeldMutex>(*this, name);
}

bool CFakeFileSystem::AppendToFile(const std::string& path, std::string_view bytes)
{
    if (failAppends)
    {
        return false;
    }
    if (failAppendsTo.count(path))
    {
        return false;
    }
    files[path] += bytes;
    writeTimes[path] = ++clock;
    return true;
}

namespace
{

OsError Fail(ErrorKind kind, std::uint32_t code)
{
    return OsError{kind, code};
}

std::string ParentOf(const std::string& path)
{
    std::size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

class CFakeOpenFile : public IOpenFile
{
public:
    CFakeOpenFile(CFakeFileSystem& fs, std::string path) : m_fs(fs), m_path(std::move(path)) {}

    bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size,
                 OsError& error) override
    {
        if (m_fs.failWritesFrom >= 0 && m_fs.writeCount >= m_fs.failWritesFrom)
        {
            ++m_fs.writeCount;
            error = Fail(ErrorKind::Other, 1117);
            return false;
        }
        if (m_fs.writeCount++ == m_fs.failWriteAt)
        {
            error = Fail(ErrorKind::DiskFull, 112);
            return false;
        }
        if (m_fs.writeErrorCode)
        {
            error = Fail(ErrorKind::Other, *m_fs.writeErrorCode);
            return false;
        }
        if (m_fs.spaceLeft)
        {
            // Only growth takes space; overwriting in place does not.
            std::uint64_t known =
                m_fs.sizeOnly.count(m_path) ? m_fs.sizeOnly[m_path] : m_fs.files[m_path].size();
            std::uint64_t growth = offset + size > known ? offset + size - known : 0;
            if (offset + size <= m_fs.residentBytes)
            {
                growth = 0;
            }
            if (growth > *m_fs.spaceLeft)
            {
                error = Fail(ErrorKind::DiskFull, 112);
                return false;
            }
            *m_fs.spaceLeft -= growth;
        }
        const char* bytes = reinterpret_cast<const char*>(data);
        if (m_fs.sizeOnly.count(m_path))
        {
            std::uint64_t& known = m_fs.sizeOnly[m_path];
            known = std::max<std::uint64_t>(known, offset + size);
            // Only zeroes can be read back from a file whose bytes are not
            // kept; a lost write reads back as other bytes.
            auto& lost = m_fs.sizeOnlyLost[m_path];
            if (m_fs.loseWrite && m_fs.loseWrite(m_path, offset))
            {
                lost[offset] = offset + size;
            }
            else
            {
                lost.erase(lost.lower_bound(offset), lost.lower_bound(offset + size));
                if (std::any_of(data, data + size, [](std::uint8_t b) { return b != 0; }))
                {
                    m_fs.sizeOnlyNotZero.insert(m_path);
                }
            }
            m_fs.writes.push_back({m_path, offset, std::string()});
            m_fs.events.push_back("write " + m_path + " " + std::to_string(offset) + " " +
                                  std::to_string(size));
            return true;
        }
        if (m_fs.loseWrite && m_fs.loseWrite(m_path, offset))
        {
            m_fs.writes.push_back({m_path, offset, std::string(bytes, size)});
            return true; // reported done, never made
        }
        std::string& content = m_fs.files[m_path];
        if (content.size() < offset + size)
        {
            content.resize(offset + size);
        }
        content.replace(offset, size, bytes, size);
        m_fs.writes.push_back({m_path, offset, std::string(bytes, size)});
        return true;
    }

    bool Flush(OsError& error) override
    {
        m_fs.events.push_back("flush " + m_path);
        if (m_fs.onFlush)
        {
            m_fs.onFlush(m_path);
        }
        if (m_fs.flushCount++ == m_fs.failFlushAt)
        {
            error = Fail(ErrorKind::Other, 1117);
            return false;
        }
        return true;
    }

    bool Truncate(std::uint64_t size, OsError& error) override
    {
        m_fs.events.push_back("truncate " + m_path + " " + std::to_string(size));
        if (m_fs.truncateCount++ == m_fs.failTruncateAt)
        {
            error = Fail(ErrorKind::Other, 1117);
            return false;
        }
        if (m_fs.sizeOnly.count(m_path))
        {
            m_fs.sizeOnly[m_path] = size;
        }
        else
        {
            m_fs.files[m_path].resize(size);
        }
        return true;
    }

    std::optional<std::uint64_t> Size(OsError&) override
    {
        if (m_fs.sizeOnly.count(m_path))
        {
            return m_fs.sizeOnly[m_path];
        }
        return m_fs.files[m_path].size();
    }

    std::optional<std::span<const std::uint8_t>> ReadBack(std::uint64_t offset, std::size_t most,
                                                          OsError& error) override
    {
        if (offset == 0)
        {
            ++m_fs.readBacks;
            if (m_fs.beforeReadBack)
            {
                m_fs.beforeReadBack(m_path);
            }
        }
        if (m_fs.failReadBack.count(m_path))
        {
            error = Fail(ErrorKind::Other, 23);
            return std::nullopt;
        }
        if (m_fs.sizeOnlyNotZero.count(m_path) || offset % kReadBackAlignment != 0)
        {
            error = Fail(ErrorKind::Other, 1);
            return std::nullopt;
        }
        if (auto huge = m_fs.sizeOnly.find(m_path); huge != m_fs.sizeOnly.end())
        {
            std::uint64_t end = std::min<std::uint64_t>(huge->second, offset + most);
            m_read.assign(end > offset ? end - offset : 0, '\0');
            for (const auto& [from, to] : m_fs.sizeOnlyLost[m_path])
            {
                for (std::uint64_t i = std::max(from, offset); i < std::min(to, end); ++i)
                {
                    m_read[i - offset] = '\xEE';
                }
            }
            return std::span<const std::uint8_t>(
                reinterpret_cast<const std::uint8_t*>(m_read.data()), m_read.size());
        }
        const std::string& content = m_fs.files[m_path];
        const std::size_t from = static_cast<std::size_t>(std::min<std::uint64_t>(offset, content.size()));
        m_read.assign(content.begin() + from, content.begin() + std::min(content.size(), from + most));
        return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(m_read.data()),
                                             m_read.size());
    }

    // Handle-bound: what moves and goes is the file this was opened on.
    bool Rename(IEntry& folder, const std::string&, const std::string& to, OsError& error) override
    {
        std::string target = JoinPath(folder.Path(), to);
        if (!m_fs.MoveEntry(m_path, target, error))
        {
            return false;
        }
        m_path = target;
        return true;
    }

    bool Delete(IEntry&, const std::string&, OsError& error) override
    {
        return m_fs.RemoveFileAndStreams(m_path, error);
    }

    bool Close(OsError& error) override
    {
        if (m_closed)
        {
            return true;
        }
        m_fs.events.push_back("close " + m_path);
        m_closed = true;
        if (m_fs.closeCount++ == m_fs.failCloseAt)
        {
            error = Fail(ErrorKind::Other, 1117);
            return false;
        }
        return true;
    }

private:
    CFakeFileSystem& m_fs;
    std::string m_path;
    bool m_closed = false;
    std::string m_read;
};

class CFakeEntry : public IEntry
{
public:
    CFakeEntry(std::string path, FileStatus status) : m_path(std::move(path)), m_status(status) {}
    const FileStatus& Status() const override { return m_status; }
    std::string Path() const override { return m_path; }

private:
    std::string m_path;
    FileStatus m_status;
};

// A stream's bytes are kept under its file's path and its name.
bool IsStreamKey(const std::string& path)
{
    std::size_t slash = path.rfind('\\');
    return path.find(':', slash == std::string::npos ? 2 : slash) != std::string::npos;
}

} // namespace

std::unique_ptr<IEntry> CFakeFileSystem::Open(const std::string& path, OsError& error)
{
    std::optional<FileStatus> status = Status(path, error);
    if (!status)
    {
        return nullptr;
    }
    // Identity by name: the fake has no aliases. A renamed file keeps its own.
    auto moved = movedIdentity.find(FoldKey(path));
    status->identity = {
        1, moved != movedIdentity.end() ? moved->second : std::hash<std::string>{}(FoldKey(path)),
        true};
    return std::make_unique<CFakeEntry>(path, *status);
}

std::unique_ptr<IEntry> CFakeFileSystem::OpenIn(IEntry& folder, const std::string& name,
                                                OsError& error)
{
    std::string path = JoinPath(folder.Path(), name);
    if (beforeOpenIn)
    {
        beforeOpenIn(path);
    }
    return Open(path, error);
}

bool CFakeFileSystem::List(IEntry& folder, std::vector<FolderEntry>& entries, OsError& error)
{
    if (folder.Status().isLink)
    {
        error = Fail(ErrorKind::Other, 267);
        return false;
    }
    return ListFolder(folder.Path(), entries, error);
}

bool CFakeFileSystem::SetNormalAttributes(IEntry& entry, OsError&)
{
    events.push_back("normal " + entry.Path());
    attributes.erase(entry.Path());
    return true;
}

std::unique_ptr<IOpenFile> CFakeFileSystem::OpenForOverwrite(IEntry& file, OsError& error)
{
    const std::string& path = file.Path();
    if (beforeOverwriteOpen)
    {
        beforeOverwriteOpen(path);
    }
    if (failOpen.count(path) || (!files.count(path) && !sizeOnly.count(path)) || links.count(path))
    {
        error = Fail(ErrorKind::SharingViolation, 32);
        return nullptr;
    }
    events.push_back("open " + path);
    return std::make_unique<CFakeOpenFile>(*this, path);
}

std::vector<std::string> CFakeFileSystem::Streams(IEntry& file)
{
    auto it = streams.find(file.Path());
    return it == streams.end() ? std::vector<std::string>{} : it->second;
}

std::unique_ptr<IOpenFile>
CFakeFileSystem::OpenStreamForOverwrite(IEntry& file, const std::string& stream, OsError& error)
{
    std::string path = file.Path() + stream;
    if (failOpen.count(path) || !files.count(path))
    {
        error = Fail(ErrorKind::SharingViolation, 32);
        return nullptr;
    }
    events.push_back("open " + path);
    return std::make_unique<CFakeOpenFile>(*this, path);
}

bool CFakeFileSystem::RenameIn(IEntry& folder, const std::string& from, const std::string& to,
                               OsError& error)
{
    return MoveEntry(JoinPath(folder.Path(), from), JoinPath(folder.Path(), to), error);
}

bool CFakeFileSystem::MoveEntry(const std::string& source, const std::string& target,
                                OsError& error)
{
    if (failRename.count(source))
    {
        error = Fail(ErrorKind::AccessDenied, 5);
        return false;
    }
    if (files.count(target) || folders.count(target) || links.count(target) ||
        sizeOnly.count(target))
    {
        error = Fail(ErrorKind::AlreadyExists, 183);
        return false;
    }
    auto move = [&](auto& map)
    {
        auto node = map.extract(source);
        if (node.empty())
        {
            return false;
        }
        node.key() = target;
        map.insert(std::move(node));
        return true;
    };
    if (!move(sizeOnly) && !move(files))
    {
        error = Fail(ErrorKind::NotFound, 2);
        return false;
    }
    // Streams travel with their file.
    if (auto node = streams.extract(source); !node.empty())
    {
        for (const std::string& stream : node.mapped())
        {
            auto bytes = files.extract(source + stream);
            if (!bytes.empty())
            {
                bytes.key() = target + stream;
                files.insert(std::move(bytes));
            }
        }
        node.key() = target;
        streams.insert(std::move(node));
    }
    auto moved = movedIdentity.extract(FoldKey(source));
    movedIdentity[FoldKey(target)] =
        moved.empty() ? std::hash<std::string>{}(FoldKey(source)) : moved.mapped();
    events.push_back("rename " + source + " " + target);
    return true;
}

bool CFakeFileSystem::RemoveIn(IEntry& folder, const std::string& name, RemoveKind kind,
                               OsError& error)
{
    std::string path = JoinPath(folder.Path(), name);
    switch (kind)
    {
    case RemoveKind::File:
        return RemoveFileAndStreams(path, error);
    case RemoveKind::Folder:
        return RemoveFolder(path, error);
    case RemoveKind::Link:
        return RemoveLink(path, error);
    }
    return false;
}

bool CFakeFileSystem::RemoveFileAndStreams(const std::string& path, OsError& error)
{
    if (!RemoveFile(path, error))
    {
        return false;
    }
    if (auto node = streams.extract(path); !node.empty())
    {
        for (const std::string& stream : node.mapped())
        {
            files.erase(path + stream);
        }
    }
    return true;
}

std::optional<FileStatus> CFakeFileSystem::Status(const std::string& path, OsError& error)
{
    FileStatus status;
    if (auto link = links.find(path); link != links.end())
    {
        status.isLink = true;
        status.isFolder = link->second;
    }
    else if (folders.count(path))
    {
        status.isFolder = true;
    }
    else if (auto file = files.find(path); file != files.end())
    {
        status.size = file->second.size();
    }
    else if (auto huge = sizeOnly.find(path); huge != sizeOnly.end())
    {
        status.size = huge->second;
    }
    else
    {
        error = Fail(ErrorKind::NotFound, 2);
        return std::nullopt;
    }
    if (auto flags = attributes.find(path); flags != attributes.end())
    {
        status.readOnly = flags->second.readOnly;
        status.hidden = flags->second.hidden;
        status.system = flags->second.system;
        status.linkCount = flags->second.linkCount;
        // A link that cannot be removed (as wine shows a file link).
        status.linkStays = flags->second.linkStays;
        status.isLink = status.isLink || status.linkStays;
    }
    return status;
}

bool CFakeFileSystem::RemoveFile(const std::string& path, OsError& error)
{
    if (failDelete.count(path) || (!files.count(path) && !sizeOnly.count(path)) ||
        (onDeleteFailsFor && onDeleteFailsFor(path)))
    {
        error = Fail(ErrorKind::AccessDenied, 5);
        return false;
    }
    files.erase(path);
    sizeOnly.erase(path);
    movedIdentity.erase(FoldKey(path));
    events.push_back("delete " + path);
    return true;
}

bool CFakeFileSystem::RemoveFolder(const std::string& path, OsError& error)
{
    if (failRemove.count(path) || !folders.count(path))
    {
        error = Fail(ErrorKind::AccessDenied, 5);
        return false;
    }
    std::string prefix = path + "\\";
    auto inside = [&prefix](const auto& entry) { return entry.rfind(prefix, 0) == 0; };
    for (const auto& [name, bytes] : files)
    {
        if (inside(name))
        {
            error = Fail(ErrorKind::NotEmpty, 145);
            return false;
        }
    }
    for (const auto& name : folders)
    {
        if (inside(name))
        {
            error = Fail(ErrorKind::NotEmpty, 145);
            return false;
        }
    }
    for (const auto& [name, isFolder] : links)
    {
        if (inside(name))
        {
            error = Fail(ErrorKind::NotEmpty, 145);
            return false;
        }
    }
    folders.erase(path);
    events.push_back("rmdir " + path);
    return true;
}

bool CFakeFileSystem::RemoveLink(const std::string& path, OsError& error)
{
    if (failRemove.count(path) || !links.erase(path))
    {
        error = Fail(ErrorKind::Other, 4390);
        return false;
    }
    events.push_back("unlink " + path);
    return true;
}

bool CFakeFileSystem::ListFolder(const std::string& path, std::vector<FolderEntry>& entries,
                                 OsError& error)
{
    if (failList.count(path) || !folders.count(path))
    {
        error = Fail(ErrorKind::AccessDenied, 5);
        return false;
    }
    entries.clear();
    std::set<std::string> names;
    auto collect = [&](const std::string& entry)
    {
        if (ParentOf(entry) == path && !IsStreamKey(entry))
        {
            names.insert(entry);
        }
    };
    for (const auto& [name, bytes] : files)
    {
        collect(name);
    }
    for (const auto& [name, size] : sizeOnly)
    {
        collect(name);
    }
    for (const auto& name : folders)
    {
        collect(name);
    }
    for (const auto& [name, isFolder] : links)
    {
        collect(name);
    }
    for (const std::string& name : names)
    {
        OsError ignored;
        entries.push_back({name.substr(path.size() + 1), *Status(name, ignored)});
    }
    return true;
}

std::string CFakeFileSystem::ErrorText(std::uint32_t code)
{
    return "System error " + std::to_string(code) + ".\r\n";
}

bool CFakeFileSystem::CreateFolder(const std::string& path, OsError& error)
{
    if (folders.count(path) || files.count(path) || sizeOnly.count(path) || links.count(path))
    {
        error = Fail(ErrorKind::AlreadyExists, 183);
        return false;
    }
    if (failCreate.count(path))
    {
        error = Fail(ErrorKind::AccessDenied, 5);
        return false;
    }
    if (fileLimit && created.size() + foldersMade >= *fileLimit)
    {
        error = Fail(ErrorKind::DiskFull, 112);
        return false;
    }
    ++foldersMade;
    folders.insert(path);
    events.push_back("mkdir " + path);
    return true;
}

std::unique_ptr<IOpenFile> CFakeFileSystem::CreateForWriting(const std::string& path,
                                                             OsError& error)
{
    if (failCreate.count(path) || !folders.count(ParentOf(path)))
    {
        error = Fail(ErrorKind::AccessDenied, 5);
        return nullptr;
    }
    if (fileLimit && created.size() + foldersMade >= *fileLimit)
    {
        error = Fail(ErrorKind::DiskFull, 112);
        return nullptr;
    }
    // Filler files are huge: their sizes are kept, not their bytes.
    if (path.find("SHREDTMP") != std::string::npos)
    {
        sizeOnly[path] = 0;
    }
    else
    {
        files[path] = "";
    }
    created.push_back(path);
    events.push_back("create " + path);
    return std::make_unique<CFakeOpenFile>(*this, path);
}

std::unique_ptr<IOpenFile> CFakeFileSystem::CreateNewForWriting(const std::string& path,
                                                                OsError& error)
{
    if (folders.count(path) || files.count(path) || sizeOnly.count(path) || links.count(path))
    {
        error = Fail(ErrorKind::AlreadyExists, 80);
        return nullptr;
    }
    return CreateForWriting(path, error);
}

std::optional<FreeSpaceInfo> CFakeFileSystem::QueryFreeSpace(const std::string&, bool,
                                                             OsError& error)
{
    if (failFreeSpace)
    {
        error = Fail(ErrorKind::Other, 21);
        return std::nullopt;
    }
    return freeSpace;
}

namespace
{

class CFakeRecycleBin : public IRecycleBinFunctions
{
public:
    explicit CFakeRecycleBin(CFakeShell& shell) : m_shell(shell) {}

    BinQuery Query(const std::string& root) override
    {
        m_shell.queried.push_back(root);
        auto it = m_shell.bins.find(root);
        return it == m_shell.bins.end() ? BinQuery{} : it->second;
    }

    void Empty(const std::string& root) override
    {
        m_shell.emptied.push_back(root);
        m_shell.bins[root].size = 0;
        m_shell.bins[root].items = 0;
        for (const std::string& folder : m_shell.binFolders[root])
        {
            std::string prefix = folder + "\\";
            auto inside = [&prefix](const std::string& p) { return p.rfind(prefix, 0) == 0; };
            for (auto it = m_shell.files->files.begin(); it != m_shell.files->files.end();)
            {
                it = inside(it->first) ? m_shell.files->files.erase(it) : std::next(it);
            }
            for (auto it = m_shell.files->folders.begin(); it != m_shell.files->folders.end();)
            {
                it = inside(*it) ? m_shell.files->folders.erase(it) : std::next(it);
            }
        }
    }

private:
    CFakeShell& m_shell;
};

} // namespace

std::unique_ptr<IRecycleBinFunctions> CFakeShell::LoadRecycleBin(BinShell& state)
{
    state = binState;
    if (binState != BinShell::Ready)
    {
        return nullptr;
    }
    return std::make_unique<CFakeRecycleBin>(*this);
}

void CFakeProgressWindow::SetLine(int line, const std::string& text)
{
    lines[line] = text;
    lineHistory.push_back(std::to_string(line) + ":" + text);
}

namespace
{

// Lets the interface know when the engine destroys its window.
class CTrackedProgressWindow : public CFakeProgressWindow
{
public:
    explicit CTrackedProgressWindow(CFakeUserInterface& ui) : m_ui(ui) {}
    ~CTrackedProgressWindow() override { m_ui.window = nullptr; }
    void SetCaption(const std::string& text) override
    {
        CFakeProgressWindow::SetCaption(text);
        m_ui.captions.push_back(text);
    }

private:
    CFakeUserInterface& m_ui;
};

} // namespace

std::unique_ptr<IProgressWindow>
CFakeUserInterface::CreateProgressWindow(const std::string& caption, const std::string& cancelLabel,
                                         std::function<void()> cancel)
{
    if (failCreate)
    {
        return nullptr;
    }
    ++created;
    lastCaption = caption;
    lastCancelLabel = cancelLabel;
    onCancel = std::move(cancel);
    auto made = std::make_unique<CTrackedProgressWindow>(*this);
    made->caption = caption;
    window = made.get();
    return made;
}

void CFakeUserInterface::PumpMessages()
{
    ++pumps;
    if (onPump)
    {
        onPump(pumps);
    }
    if (pumps == cancelAtPump && onCancel)
    {
        onCancel();
    }
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
