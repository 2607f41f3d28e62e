#pragma once

#include "platform/file_system.h"

#include <functional>
#include <map>

namespace qw::test
{

// Passes every call to a real file system; a subclass may wrap the files it
// opens for writing to watch what is written.
template <typename Real> class CFileSystemDecorator : public IFileSystem
{
public:
    Real& RealFiles() { return m_real; }

    std::optional<std::string> ReadWholeFile(const std::string& path) override
    {
        return m_real.ReadWholeFile(path);
    }
    bool AppendToFile(const std::string& path, std::string_view bytes) override
    {
        return m_real.AppendToFile(path, bytes);
    }
    std::optional<std::uint64_t> FileSize(const std::string& path) override
    {
        return m_real.FileSize(path);
    }
    std::optional<std::uint64_t> LastWriteTime(const std::string& path) override
    {
        return m_real.LastWriteTime(path);
    }
    std::string AbsolutePath(const std::string& path) override { return m_real.AbsolutePath(path); }
    std::optional<FileStatus> Status(const std::string& path, OsError& error) override
    {
        return m_real.Status(path, error);
    }
    std::unique_ptr<IEntry> Open(const std::string& path, OsError& error) override
    {
        return m_real.Open(path, error);
    }
    std::unique_ptr<IEntry> OpenIn(IEntry& folder, const std::string& name, OsError& error) override
    {
        if (beforeOpenIn)
        {
            beforeOpenIn(JoinPath(folder.Path(), name));
        }
        return m_real.OpenIn(folder, name, error);
    }
    std::unique_ptr<IEntry> OpenFolderToRemove(IEntry& folder, const std::string& name,
                                               OsError& error) override
    {
        if (beforeOpenIn)
        {
            beforeOpenIn(JoinPath(folder.Path(), name));
        }
        return m_real.OpenFolderToRemove(folder, name, error);
    }
    bool List(IEntry& folder, std::vector<FolderEntry>& entries, OsError& error) override
    {
        return m_real.List(folder, entries, error);
    }
    bool SetNormalAttributes(IEntry& entry, OsError& error) override
    {
        return m_real.SetNormalAttributes(entry, error);
    }
    std::unique_ptr<IOpenFile> OpenForOverwrite(IEntry& file, OsError& error) override
    {
        auto open = m_real.OpenForOverwrite(file, error);
        return open ? Wrap(file.Path(), std::move(open)) : nullptr;
    }
    std::vector<std::string> Streams(IEntry& file) override { return m_real.Streams(file); }
    std::unique_ptr<IOpenFile> OpenStreamForOverwrite(IEntry& file, const std::string& stream,
                                                      OsError& error) override
    {
        auto open = m_real.OpenStreamForOverwrite(file, stream, error);
        return open ? Wrap(file.Path() + stream, std::move(open)) : nullptr;
    }
    std::vector<std::string> OtherNames(IEntry& file) override { return m_real.OtherNames(file); }
    bool RenameIn(IEntry& folder, const std::string& from, const std::string& to,
                  OsError& error) override
    {
        return m_real.RenameIn(folder, from, to, error);
    }
    bool RemoveIn(IEntry& folder, const std::string& name, RemoveKind kind, OsError& error) override
    {
        return m_real.RemoveIn(folder, name, kind, error);
    }
    bool RemoveFolderEntry(IEntry& folder, const std::string& name, std::unique_ptr<IEntry> entry,
                           OsError& error) override
    {
        return m_real.RemoveFolderEntry(folder, name, std::move(entry), error);
    }
    bool RemoveFile(const std::string& path, OsError& error) override
    {
        return m_real.RemoveFile(path, error);
    }
    bool RemoveFolder(const std::string& path, OsError& error) override
    {
        return m_real.RemoveFolder(path, error);
    }
    bool ListFolder(const std::string& path, std::vector<FolderEntry>& entries,
                    OsError& error) override
    {
        return m_real.ListFolder(path, entries, error);
    }
    std::string ErrorText(std::uint32_t code) override { return m_real.ErrorText(code); }
    bool CreateFolder(const std::string& path, OsError& error) override
    {
        return m_real.CreateFolder(path, error);
    }
    std::unique_ptr<IOpenFile> CreateForWriting(const std::string& path, OsError& error) override
    {
        auto file = m_real.CreateForWriting(path, error);
        return file ? Wrap(path, std::move(file)) : nullptr;
    }
    std::unique_ptr<IOpenFile> CreateNewForWriting(const std::string& path, OsError& error) override
    {
        auto file = m_real.CreateNewForWriting(path, error);
        return file ? Wrap(path, std::move(file)) : nullptr;
    }
    std::optional<FreeSpaceInfo> QueryFreeSpace(const std::string& root, bool legacy,
                                                OsError& error) override
    {
        return m_real.QueryFreeSpace(root, legacy, error);
    }

    // Runs before an entry is opened inside a folder: a test changes the
    // real tree between a listing and the open.
    std::function<void(const std::string&)> beforeOpenIn;

protected:
    virtual std::unique_ptr<IOpenFile> Wrap(const std::string&, std::unique_ptr<IOpenFile> file)
    {
        return file;
    }

private:
    Real m_real;
};

// Records how far, and how much, each file was written: proof that an
// overwrite reached the last byte.
template <typename Real> class CRecordingFileSystem : public CFileSystemDecorator<Real>
{
public:
    struct Extent
    {
        std::uint64_t end = 0;
        std::uint64_t bytes = 0;
        int flushes = 0;
    };

    std::map<std::string, Extent> extents;
    // Runs before each "flush", "truncate" and "rename" of an open file, and
    // after each truncation ("truncated"), with its path: another process
    // changes the file meanwhile.
    std::function<void(const std::string& call, const std::string& path)> before;
    // Renames and deletes by the names given, whatever file holds them by
    // now, as wine 8.0 does with the name a handle was opened with.
    bool byName = false;

protected:
    std::unique_ptr<IOpenFile> Wrap(const std::string& path,
                                    std::unique_ptr<IOpenFile> file) override
    {
        return std::make_unique<CRecordingFile>(*this, path, std::move(file), extents[path]);
    }

private:
    class CRecordingFile : public IOpenFile
    {
    public:
        CRecordingFile(CRecordingFileSystem& files, std::string path,
                       std::unique_ptr<IOpenFile> file, Extent& extent)
            : m_files(files), m_path(std::move(path)), m_file(std::move(file)), m_extent(extent)
        {
        }
        bool WriteAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size,
                     OsError& error) override
        {
            if (!m_file->WriteAt(offset, data, size, error))
            {
                return false;
            }
            m_extent.end = std::max<std::uint64_t>(m_extent.end, offset + size);
            m_extent.bytes += size;
            return true;
        }
        bool Flush(OsError& error) override
        {
            Before("flush");
            ++m_extent.flushes;
            return m_file->Flush(error);
        }
        bool Truncate(std::uint64_t size, OsError& error) override
        {
            Before("truncate");
            const bool truncated = m_file->Truncate(size, error);
            Before("truncated");
            return truncated;
        }
        std::optional<std::uint64_t> Size(OsError& error) override { return m_file->Size(error); }
        std::optional<std::span<const std::uint8_t>> ReadBack(std::uint64_t offset,
                                                              std::size_t most,
                                                              OsError& error) override
        {
            return m_file->ReadBack(offset, most, error);
        }
        bool Close(OsError& error) override { return m_file->Close(error); }
        bool Rename(IEntry& folder, const std::string& from, const std::string& to,
                    OsError& error) override
        {
            Before("rename");
            if (m_files.byName)
            {
                return m_files.RenameIn(folder, from, to, error);
            }
            return m_file->Rename(folder, from, to, error);
        }
        bool Delete(IEntry& folder, const std::string& name, OsError& error) override
        {
            if (m_files.byName)
            {
                return m_files.RemoveIn(folder, name, RemoveKind::File, error);
            }
            return m_file->Delete(folder, name, error);
        }

    private:
        void Before(const char* call)
        {
            if (m_files.before)
            {
                m_files.before(call, m_path);
            }
        }

        CRecordingFileSystem& m_files;
        std::string m_path;
        std::unique_ptr<IOpenFile> m_file;
        Extent& m_extent;
    };
};

} // namespace qw::test
