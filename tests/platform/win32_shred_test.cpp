// The file layer and the file shredder on the real Win32 file system.

#include "app/shred_app.h"
#include "engine/file_shredder.h"
#include "engine/folder_shredder.h"
#include "fakes/fake_platform.h"
#include "fakes/recording_file_system.h"
#include "platform/setting_names.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/wide.h"
#include "platform/win32/win32_file_system.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace qw
{
namespace
{

using RecordedWin32Engine = test::FakePlatformOver<test::CRecordingFileSystem<CWin32FileSystem>>;

class Win32ShredTest : public ::testing::Test
{
protected:
    Win32ShredTest()
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        static int serial = 0;
        m_root = WideToUtf8(temp) + "qw shred " + std::to_string(GetCurrentProcessId()) + "-" +
                 std::to_string(++serial);
        CreateDirectoryW(WidePath(m_root).c_str(), nullptr);
        m_app.InitInstance("");
    }

    std::string Make(const std::string& relative, const std::string& content)
    {
        std::string path = m_root + "\\" + relative;
        CUniqueHandle file(CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD wrote = 0;
        WriteFile(file.Get(), content.data(), static_cast<DWORD>(content.size()), &wrote, nullptr);
        return path;
    }
    std::string Folder(const std::string& relative)
    {
        std::string path = m_root + "\\" + relative;
        CreateDirectoryW(WidePath(path).c_str(), nullptr);
        return path;
    }
    bool Exists(const std::string& path)
    {
        return GetFileAttributesW(WidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    std::string m_root;
    RecordedWin32Engine m_env;
    CShredApp m_app{m_env.platform};
    OsError m_error;
};

TEST_F(Win32ShredTest, StatusAttributesAndExclusiveOpen)
{
    CWin32FileSystem& files = m_env.files.RealFiles();
    std::string path = Make("attrs.txt", "12345");
    SetFileAttributesW(WidePath(path).c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    auto entry = files.Open(path, m_error);
    ASSERT_TRUE(entry);
    const FileStatus& status = entry->Status();
    EXPECT_TRUE(status.readOnly && status.hidden && !status.isFolder && !status.isLink);
    EXPECT_EQ(status.size, 5u);
    EXPECT_TRUE(status.identity.known);
    EXPECT_TRUE(files.SetNormalAttributes(*entry, m_error));
    auto now = files.Status(path, m_error);
    EXPECT_FALSE(now->readOnly || now->hidden);

    auto first = files.OpenForOverwrite(*entry, m_error);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Size(m_error), 5u);
    // Nobody else may have the file while it is overwritten.
    EXPECT_FALSE(files.OpenForOverwrite(*entry, m_error));
    EXPECT_EQ(m_error.kind, ErrorKind::SharingViolation);
    EXPECT_TRUE(first->Close(m_error));
    EXPECT_FALSE(files.Open(m_root + "\\missing", m_error));
    EXPECT_FALSE(Exists(m_root + "\\missing"));

    // The name now leads to another file than the one checked: refused.
    ASSERT_TRUE(MoveFileW(WidePath(path).c_str(), WidePath(m_root + "\\moved.txt").c_str()));
    Make("attrs.txt", "other");
    EXPECT_FALSE(files.OpenForOverwrite(*entry, m_error));
    EXPECT_EQ(files.ReadWholeFile(path), "other");
}

TEST_F(Win32ShredTest, GatheredBlocksLandWhereTheyWereWritten)
{
    CWin32FileSystem& files = m_env.files.RealFiles();
    std::string path = Make("gather.bin", std::string(300000, 'o'));
    auto entry = files.Open(path, m_error);
    ASSERT_TRUE(entry);
    auto file = files.OpenForOverwrite(*entry, m_error);
    ASSERT_TRUE(file);
    const std::string a(65536, 'a');
    const std::string b(65536, 'b');
    auto bytes = [](const std::string& text)
    { return reinterpret_cast<const std::uint8_t*>(text.data()); };
    ASSERT_TRUE(file->WriteAt(0, bytes(a), a.size(), m_error));
    ASSERT_TRUE(file->WriteAt(65536, bytes(b), b.size(), m_error));
    ASSERT_TRUE(file->WriteAt(200000, bytes("tail"), 4, m_error)); // not the next offset
    EXPECT_EQ(file->Size(m_error), 300000u);
    ASSERT_TRUE(file->Flush(m_error));
    ASSERT_TRUE(file->WriteAt(0, bytes("z"), 1, m_error));
    EXPECT_TRUE(file->Close(m_error)); // what was held back is written on closing
    std::string expected = "z" + a.substr(1) + b + std::string(200000 - 131072, 'o') + "tail" +
                           std::string(300000 - 200004, 'o');
    EXPECT_TRUE(files.ReadWholeFile(path) == expected);

    // A small file gathers no more than it holds; a write past its end still
    // lands.
    std::string small = Make("small.bin", "0123456789");
    entry = files.Open(small, m_error);
    ASSERT_TRUE(entry);
    file = files.OpenForOverwrite(*entry, m_error);
    ASSERT_TRUE(file);
    ASSERT_TRUE(file->WriteAt(0, bytes("abcdefghij"), 10, m_error));
    ASSERT_TRUE(file->WriteAt(10, bytes("xy"), 2, m_error));
    EXPECT_TRUE(file->Close(m_error));
    EXPECT_EQ(files.ReadWholeFile(small), "abcdefghijxy");
}

TEST_F(Win32ShredTest, OnlyNameSurrogatesAreLinks)
{
    struct Case
    {
        DWORD attributes;
        DWORD tag;
        bool tagKnown;
        bool link;
    };
    const DWORD reparseFile = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE;
    const DWORD reparseFolder = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    const Case cases[] = {
        {reparseFile, IO_REPARSE_TAG_SYMLINK, true, true},
        {reparseFolder, IO_REPARSE_TAG_MOUNT_POINT, true, true}, // junctions, mounted volumes
        {reparseFile, 0x9000001Au, true, false},                 // a cloud placeholder
        {reparseFile, IO_REPARSE_TAG_DEDUP, true, false},        // a deduplicated file
        {reparseFolder, 0x9000001Au, true, false},
        {reparseFile, 0, false, true},  // the tag could not be read: never followed
        {reparseFolder, 0, true, true}, // wine 8.0 lists folder links with tag 0
        {FILE_ATTRIBUTE_ARCHIVE, 0, true, false},
    };
    for (const Case& c : cases)
    {
        FileStatus status = StatusFromAttributes(c.attributes, c.tag, c.tagKnown, 7);
        EXPECT_EQ(status.isLink, c.link) << std::hex << c.tag;
        EXPECT_EQ(status.isFolder, (c.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    }
}

TEST_F(Win32ShredTest, NamesWithLoneSurrogatesRoundTripAndAreShredded)
{
    const std::wstring lone = L"x\xD800y\xDC01.txt";
    EXPECT_EQ(Utf8ToWide(WideToUtf8(lone)), lone);
    EXPECT_EQ(WideToUtf8(L"\xD83D\xDE00"), "\xF0\x9F\x98\x80"); // a pair stays one code point
    EXPECT_EQ(Utf8ToWide("\xFF"), L"\xFFFD");

    std::wstring file = WidePath(m_root) + L"\\" + lone;
    CUniqueHandle made(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!made.Valid())
    {
        GTEST_SKIP() << "this file system keeps no lone surrogates in names";
    }
    made.Reset();
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(m_env.files.RealFiles().ListFolder(m_root, entries, m_error));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(ShredFile(test::Prepared(m_app), m_root + "\\" + entries[0].name, ShredMode::Normal),
              0);
    EXPECT_EQ(GetFileAttributesW(file.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Win32ShredTest, RenameNeverReplacesAndFolderRemovalReportsNotEmpty)
{
    std::string a = Make("a.txt", "a");
    std::string b = Make("b.txt", "b");
    auto folder = m_env.files.RealFiles().Open(m_root, m_error);
    ASSERT_TRUE(folder);
    EXPECT_FALSE(m_env.files.RealFiles().RenameIn(*folder, "a.txt", "b.txt", m_error));
    EXPECT_EQ(m_error.kind, ErrorKind::AlreadyExists);
    EXPECT_EQ(m_env.files.RealFiles().ReadWholeFile(b), "b");
    EXPECT_FALSE(m_env.files.RealFiles().RenameIn(*folder, "a.txt", "..\\a.txt", m_error));

    // By the written handle: renamed, never over another file, and deleted.
    auto entry = m_env.files.RealFiles().OpenIn(*folder, "a.txt", m_error);
    ASSERT_TRUE(entry);
    auto open = m_env.files.RealFiles().OpenForOverwrite(*entry, m_error);
    ASSERT_TRUE(open);
    EXPECT_FALSE(open->Rename(*folder, "a.txt", "b.txt", m_error));
    EXPECT_EQ(m_error.kind, ErrorKind::AlreadyExists);
    EXPECT_TRUE(open->Rename(*folder, "a.txt", "c.txt", m_error)) << m_error.code;
    EXPECT_TRUE(open->Delete(*folder, "c.txt", m_error)) << m_error.code;
    EXPECT_TRUE(open->Close(m_error)) << m_error.code;
    EXPECT_EQ(GetFileAttributesW(Utf8ToWide(m_root + "\\c.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(Utf8ToWide(a).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(m_env.files.RealFiles().ReadWholeFile(b), "b");

    std::string full = Folder("full");
    Make("full\\x", "x");
    EXPECT_FALSE(m_env.files.RealFiles().RemoveFolder(full, m_error));
    EXPECT_EQ(m_error.kind, ErrorKind::NotEmpty);
    EXPECT_EQ(m_error.code, static_cast<std::uint32_t>(ERROR_DIR_NOT_EMPTY));
    EXPECT_FALSE(m_env.files.RealFiles().ErrorText(m_error.code).empty());
    // The same through the folder's own handle.
    EXPECT_FALSE(m_env.files.RealFiles().RemoveIn(*folder, "full", RemoveKind::Folder, m_error));
    EXPECT_EQ(m_error.kind, ErrorKind::NotEmpty) << m_error.code;
    EXPECT_TRUE(m_env.files.RealFiles().ReadWholeFile(full + "\\x"));
    Folder("empty");
    EXPECT_TRUE(m_env.files.RealFiles().RemoveIn(*folder, "empty", RemoveKind::Folder, m_error));
}

TEST_F(Win32ShredTest, AHeldFolderGoesThroughItsOwnHandleOnlyWhenEmpty)
{
    CWin32FileSystem& files = m_env.files.RealFiles();
    Folder("full");
    Make("full\\x", "x");
    Folder("empty");
    Folder("busy");
    Make("busy\\y", "y");
    std::unique_ptr<IEntry> folder = files.Open(m_root, m_error);
    ASSERT_TRUE(folder);
    std::vector<FolderEntry> listed;
    ASSERT_TRUE(files.List(*folder, listed, m_error));
    auto held = [&](const char* name)
    {
        std::unique_ptr<IEntry> entry = files.OpenFolderToRemove(*folder, name, m_error);
        EXPECT_TRUE(entry && entry->Status().isFolder) << name;
        return entry;
    };

    std::unique_ptr<IEntry> full = held("full");
    // Held, the name can be neither renamed nor replaced.
    EXPECT_FALSE(
        MoveFileW(WidePath(m_root + "\\full").c_str(), WidePath(m_root + "\\moved").c_str()));
    EXPECT_FALSE(files.RemoveFolderEntry(*folder, "full", std::move(full), m_error));
    EXPECT_EQ(m_error.kind, ErrorKind::NotEmpty) << m_error.code;
    EXPECT_EQ(files.ReadWholeFile(m_root + "\\full\\x"), "x");

    EXPECT_TRUE(files.RemoveFolderEntry(*folder, "empty", held("empty"), m_error)) << m_error.code;
    EXPECT_FALSE(Exists(m_root + "\\empty"));
    // Held without delete access: it goes by its name.
    Folder("plain");
    EXPECT_TRUE(
        files.RemoveFolderEntry(*folder, "plain", files.OpenIn(*folder, "plain", m_error), m_error))
        << m_error.code;
    EXPECT_FALSE(Exists(m_root + "\\plain"));

    // Still held by an entry opened inside it: it stays, and says so.
    std::unique_ptr<IEntry> busy = held("busy");
    ASSERT_TRUE(busy);
    std::unique_ptr<IEntry> inside = files.OpenIn(*busy, "y", m_error);
    ASSERT_TRUE(inside);
    EXPECT_FALSE(files.RemoveFolderEntry(*folder, "busy", std::move(busy), m_error));
    EXPECT_TRUE(Exists(m_root + "\\busy\\y"));
    EXPECT_FALSE(files.RemoveFolderEntry(*folder, "..\\busy", held("full"), m_error))
        << "a name that is no plain name";
    EXPECT_TRUE(Exists(m_root + "\\full"));
}

TEST_F(Win32ShredTest, ListingKeepsUnicodeNames)
{
    std::string folder = Folder("list");
    Make("list\\\xCE\xB1\xCE\xB2\xCE\xB3.txt", "abc");
    Folder("list\\sub");
    std::vector<FolderEntry> entries;
    ASSERT_TRUE(m_env.files.RealFiles().ListFolder(folder, entries, m_error));
    ASSERT_EQ(entries.size(), 2u);
    std::sort(entries.begin(), entries.end(),
              [](const FolderEntry& x, const FolderEntry& y) { return x.name < y.name; });
    EXPECT_EQ(entries[0].name, "sub");
    EXPECT_TRUE(entries[0].status.isFolder);
    EXPECT_EQ(entries[1].name, "\xCE\xB1\xCE\xB2\xCE\xB3.txt");
    EXPECT_EQ(entries[1].status.size, 3u);
}

TEST_F(Win32ShredTest, ShredsUnicodeNamesAndPathsBeyond260Characters)
{
    std::string deep = m_root;
    for (int i = 0; i < 5; ++i)
    {
        deep += "\\" + std::string(55, static_cast<char>('k' + i));
        ASSERT_TRUE(CreateDirectoryW(WidePath(deep).c_str(), nullptr));
    }
    std::string file = deep + "\\\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E report.final.doc";
    ASSERT_GT(file.size(), 300u);
    {
        CUniqueHandle h(CreateFileW(WidePath(file).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(h.Valid());
        DWORD wrote = 0;
        std::string data(100000, 'S');
        WriteFile(h.Get(), data.data(), static_cast<DWORD>(data.size()), &wrote, nullptr);
    }
    EXPECT_EQ(ShredFile(test::Prepared(m_app), file, ShredMode::Normal), 0);
    EXPECT_FALSE(Exists(file));
    EXPECT_EQ(m_env.files.extents[file].end, 100000u);
    std::vector<FolderEntry> left;
    ASSERT_TRUE(m_env.files.RealFiles().ListFolder(deep, left, m_error));
    EXPECT_TRUE(left.empty());
}

TEST_F(Win32ShredTest, AFileInUseIsReportedAndKept)
{
    std::string path = Make("busy.txt", "busy");
    CUniqueHandle holder(CreateFileW(WidePath(path).c_str(), GENERIC_READ, 0, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.Valid());
    m_app.m_unattended = true;
    EXPECT_EQ(ShredFile(test::Prepared(m_app), path, ShredMode::Normal), 0);
    EXPECT_FALSE(m_app.m_runStatus.empty());
    holder.Reset();
    EXPECT_EQ(m_env.files.RealFiles().ReadWholeFile(path), "busy");
}

TEST_F(Win32ShredTest, AFolderTreeIsEmptiedByTheRules)
{
    std::string top = Folder("tree");
    Folder("tree\\sub");
    Make("tree\\a.txt", "a");
    Make("tree\\sub\\b.txt", "b");
    m_env.settings.WriteInt(kFolder, 2);
    m_env.settings.WriteInt(kRemove, 2);
    EXPECT_EQ(ShredFolder(test::Prepared(m_app), top, false, ShredMode::Normal), 0);
    std::vector<FolderEntry> left;
    ASSERT_TRUE(m_env.files.RealFiles().ListFolder(top, left, m_error));
    EXPECT_TRUE(left.empty());
}

// Entries of a folder are opened relative to its handle and read without
// the volume query: who they are must still be who their full paths say, or
// protected folders and the identity checks would compare unlike values.
TEST_F(Win32ShredTest, EntriesOpenedInAFolderAreWhoTheirPathsSay)
{
    CWin32FileSystem& files = m_env.files.RealFiles();
    std::string top = Folder("in");
    Folder("in\\sub");
    Folder("in\\turned");
    Make("in\\f.txt", "12345");
    std::unique_ptr<IEntry> folder = files.Open(top, m_error);
    ASSERT_TRUE(folder);
    std::vector<FolderEntry> listed;
    ASSERT_TRUE(files.List(*folder, listed, m_error));
    // A name listed as a folder that is a file by the time it is opened.
    ASSERT_TRUE(RemoveDirectoryW(WidePath(top + "\\turned").c_str()));
    Make("in\\turned", "now a file");
    for (const char* name : {"f.txt", "sub", "turned"})
    {
        SCOPED_TRACE(name);
        std::unique_ptr<IEntry> inside = files.OpenIn(*folder, name, m_error);
        std::unique_ptr<IEntry> byPath = files.Open(top + "\\" + name, m_error);
        ASSERT_TRUE(inside && byPath);
        EXPECT_TRUE(inside->Status().identity == byPath->Status().identity);
        EXPECT_EQ(inside->Status().isFolder, byPath->Status().isFolder);
        EXPECT_EQ(inside->Status().size, byPath->Status().size);
        EXPECT_EQ(inside->Status().linkCount, byPath->Status().linkCount);
        std::vector<FolderEntry> below;
        EXPECT_EQ(files.List(*inside, below, m_error), std::string(name) == "sub")
            << "only a folder is held and listable";
    }
    std::unique_ptr<IEntry> file = files.OpenIn(*folder, "f.txt", m_error);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Status().size, 5u);
    // An entry holds the folder it was opened in: closed, both can go.
    file.reset();

    // A chain deeper than any path of 260 characters goes, level by level.
    std::string chain = "in\\sub";
    for (int level = 0; level < 150; ++level)
    {
        chain += "\\d";
        Folder(chain);
    }
    Make(chain + "\\last.txt", "x");
    m_env.settings.WriteInt(kFolder, 2);
    m_env.settings.WriteInt(kRemove, 2);
    folder.reset();
    ShredFolderTarget(test::Prepared(m_app), top, false);
    EXPECT_FALSE(Exists(top));
}

TEST_F(Win32ShredTest, AFileOverTwoGigabytesIsOverwrittenToItsLastByte)
{
    const std::uint64_t size = (2ull << 30) + 65536 + 3;
    std::string path = m_root + "\\big.bin";
    {
        CUniqueHandle h(CreateFileW(WidePath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(h.Valid());
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        ASSERT_TRUE(SetFilePointerEx(h.Get(), end, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(h.Get()));
    }
    ULARGE_INTEGER available;
    GetDiskFreeSpaceExW(WidePath(m_root).c_str(), &available, nullptr, nullptr);
    if (available.QuadPart < size + (512ull << 20))
    {
        DeleteFileW(WidePath(path).c_str());
        GTEST_SKIP() << "not enough free space for a " << size << "-byte file";
    }
    EXPECT_EQ(ShredFile(test::Prepared(m_app), path, ShredMode::Normal), 0);
    EXPECT_EQ(m_env.files.extents[path].end, size);
    EXPECT_EQ(m_env.files.extents[path].bytes, size);
    EXPECT_FALSE(Exists(path));
}

} // namespace
} // namespace qw
