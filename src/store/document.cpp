// Document state, listeners, and the file handling around the archive reader and writer.
#include "store/document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "store/archive_reader.h"
#include "store/archive_writer.h"
#include "store/file_descriptor.h"

namespace wirelark {

namespace {

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The name a save writes: symbolic links are followed, also to a target that does not exist
// yet, so that the link keeps pointing at the saved file. False with errno when the links go
// round in a loop or cannot be read.
bool ResolveSaveTarget(const std::string& path, std::string& target) {
    constexpr int kMaxLinks = 40;  // as many as the kernel follows
    target = path;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        struct stat info {};
        if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
            return true;
        }
        char link[PATH_MAX];
        const ssize_t size = ::readlink(target.c_str(), link, sizeof link);
        if (size < 0) {
            return false;
        }
        if (static_cast<std::size_t>(size) == sizeof link) {
            errno = ENAMETOOLONG;
            return false;
        }
        const std::string_view linked(link, static_cast<std::size_t>(size));
        target = linked.starts_with('/') ? std::string(linked)
                                         : FolderOf(target) + "/" + std::string(linked);
    }
    errno = ELOOP;
    return false;
}

std::string TemporaryName(const std::string& folder, const std::string& baseName) {
    static std::atomic<unsigned> counter{0};
    return folder + "/." + baseName + "." + std::to_string(::getpid()) + "." +
           std::to_string(counter.fetch_add(1)) + ".tmp";
}

// Gives an unnamed file the name `name`, which must not exist; false with errno otherwise.
bool LinkUnnamed(int fd, const std::string& name) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    if (errno != ENOENT) {
        return false;
    }
    // No /proc: linking the descriptor itself works for a privileged process.
    return ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
}

// The new contents of a saved file, written before it replaces the old one. Where the file
// system allows it the file has no name until it is complete, so a process killed while writing
// leaves nothing behind; elsewhere it is a hidden file beside the target, removed on failure.
class CReplacementFile {
public:
    CReplacementFile() = default;
    ~CReplacementFile() {
        m_file.Reset();
        if (!m_temporary.empty()) {
            ::unlink(m_temporary.c_str());
        }
    }
    CReplacementFile(const CReplacementFile&) = delete;
    CReplacementFile& operator=(const CReplacementFile&) = delete;

    // Takes the unnamed file the caller opened; false, with errno set, when there is none.
    bool AdoptUnnamed(int fd) {
        m_file.Reset(fd);
        return fd >= 0;
    }
    // Creates a hidden file in `folder` under a name no one else uses; false with errno.
    bool CreateNamed(const std::string& folder, const std::string& baseName) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = TemporaryName(folder, baseName);
            m_file.Reset(::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
            if (m_file.IsOpen()) {
                m_temporary = name;
                return true;
            }
            if (errno != EEXIST) {
                return false;
            }
        }
        errno = EEXIST;
        return false;
    }

    int Get() const { return m_file.Get(); }

    // Puts the complete file in place of `target`, or under that name when there is none yet;
    // false with errno, the target untouched, otherwise.
    bool Replace(const std::string& target, const std::string& folder,
                 const std::string& baseName) {
        if (m_temporary.empty()) {
            if (LinkUnnamed(m_file.Get(), target)) {
                return true;
            }
            if (errno != EEXIST) {
                return false;
            }
            // A link cannot replace a name: the file gets a hidden name only for the moment
            // between linking it and renaming it over the target.
            for (int attempt = 0; m_temporary.empty(); ++attempt) {
                const std::string name = TemporaryName(folder, baseName);
                if (LinkUnnamed(m_file.Get(), name)) {
                    m_temporary = name;
                } else if (errno != EEXIST || attempt == 99) {
                    return false;
                }
            }
        } else if (::close(m_file.Release()) != 0) {
            // A late write error of a named file shows only here.
            return false;
        }
        if (::rename(m_temporary.c_str(), target.c_str()) != 0) {
            return false;
        }
        m_temporary.clear();
        return true;
    }

private:
    CFileDescriptor m_file;
    std::string m_temporary;  // a named file to remove unless it replaced the target
};

}  // namespace

DocumentOutcome SystemFailure(DocumentError error, int errorNumber) {
    return {error, errorNumber, std::strerror(errorNumber), {}};
}

DocumentOutcome CancelledOutcome() {
    return {DocumentError::Cancelled, 0, "cancelled", {}};
}

DocumentOutcome ReadFailure(const CArchiveReader& ar) {
    if (ar.GetStatus() == ReadStatus::IoError) {
        return SystemFailure(DocumentError::CannotOpen, ar.GetErrorNumber());
    }
    return {DocumentError::UnexpectedFormat, 0, ar.GetDetail(), {}};
}

DocumentOutcome FinishSave(CArchiveWriter& ar) {
    if (!ar.Flush()) {
        return SystemFailure(DocumentError::CannotSave, ar.GetErrorNumber());
    }
    return {};
}

void CDocument::SetPathName(const std::string& path) {
    m_pathName = path;
    m_title = path.empty() ? std::string(kUntitled) : FileNameOf(path);
}

int CDocument::AddUpdateListener(UpdateListener listener) {
    const int id = m_nextListenerId++;
    m_listeners.push_back({id, std::move(listener)});
    return id;
}

void CDocument::RemoveUpdateListener(int id) {
    std::erase_if(m_listeners, [id](const Listener& listener) { return listener.id == id; });
}

void CDocument::UpdateAllViews() {
    // A copy, so that a listener may register or unregister while being called.
    const std::vector<Listener> listeners = m_listeners;
    for (const Listener& listener : listeners) {
        if (listener.callback) {
            listener.callback();
        }
    }
}

bool CDocument::OnNewDocument() {
    DeleteContents();
    SetPathName({});
    SetModifiedFlag(false);
    return true;
}

DocumentOutcome CDocument::LoadArchive(CArchiveReader& ar) {
    DeleteContents();
    if (ar.IsAtEnd()) {
        return {};
    }
    bool bRead = false;
    try {
        bRead = Serialize(ar);
    } catch (const std::bad_alloc&) {
        DeleteContents();
        return SystemFailure(DocumentError::CannotOpen, ENOMEM);
    }
    if (bRead && ar.IsOk()) {
        return {};
    }
    DeleteContents();
    return ReadFailure(ar);
}

int CDocument::OpenRegularFile(const std::string& path, std::uint64_t& size,
                               DocumentOutcome& failure) {
    // Non-blocking, so that naming a FIFO cannot hang the program before it is refused below.
    CFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (file.Get() < 0) {
        failure = SystemFailure(DocumentError::CannotOpen, errno);
        return -1;
    }
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) {
        failure = SystemFailure(DocumentError::CannotOpen, errno);
        return -1;
    }
    if (S_ISDIR(info.st_mode)) {
        failure = SystemFailure(DocumentError::CannotOpen, EISDIR);
        return -1;
    }
    if (!S_ISREG(info.st_mode)) {
        // Devices and pipes have no end to read up to.
        failure = {DocumentError::CannotOpen, 0, "not a regular file", {}};
        return -1;
    }
    ::posix_fadvise(file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
    size = static_cast<std::uint64_t>(info.st_size);
    return file.Release();
}

DocumentOutcome CDocument::OnOpenDocument(const std::string& path) {
    std::uint64_t size = 0;
    DocumentOutcome failure;
    CFileDescriptor file(OpenRegularFile(path, size, failure));
    if (file.Get() < 0) {
        return failure;
    }

    DocumentOutcome outcome;
    try {
        CArchiveReader ar(file.Get(), size);
        outcome = LoadArchive(ar);
    } catch (const std::bad_alloc&) {
        // The reader's own buffer: nothing was changed yet.
        return SystemFailure(DocumentError::CannotOpen, ENOMEM);
    }
    SetPathName(outcome.Succeeded() ? path : std::string());
    SetModifiedFlag(false);
    UpdateAllViews();
    return outcome;
}

DocumentOutcome CDocument::OnSaveDocument(const std::string& path) {
    return SaveAtomically(path, [this](int fd) -> DocumentOutcome {
        CArchiveWriter ar(fd);
        StoreArchive(ar);
        return FinishSave(ar);
    });
}

int CDocument::OpenUnnamedFile(const std::string& folder) const {
    return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
}

DocumentOutcome CDocument::SaveAtomically(const std::string& path,
                                          const std::function<DocumentOutcome(int fd)>& write) {
    std::string target;
    if (!ResolveSaveTarget(path, target)) {
        return SystemFailure(DocumentError::CannotSave, errno);
    }
    const std::string folder = FolderOf(target);
    const std::string baseName = FileNameOf(target);
    CReplacementFile file;
    if (!file.AdoptUnnamed(OpenUnnamedFile(folder))) {
        // File systems without unnamed files refuse them with one of these.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            return SystemFailure(DocumentError::CannotSave, errno);
        }
        if (!file.CreateNamed(folder, baseName)) {
            return SystemFailure(DocumentError::CannotSave, errno);
        }
    }
    struct stat previous {};
    if (::stat(target.c_str(), &previous) == 0 && S_ISREG(previous.st_mode)) {
        // The replacement keeps the permissions the user gave the old file.
        ::fchmod(file.Get(), previous.st_mode & 07777);
    }
    try {
        DocumentOutcome outcome = write(file.Get());
        if (!outcome.Succeeded()) {
            return outcome;
        }
    } catch (const std::bad_alloc&) {
        return SystemFailure(DocumentError::CannotSave, ENOMEM);
    }
    if (::fsync(file.Get()) != 0 || !file.Replace(target, folder, baseName)) {
        return SystemFailure(DocumentError::CannotSave, errno);
    }
    // Makes the new name durable; the save has succeeded whatever this reports.
    CFileDescriptor folderHandle(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folderHandle.Get() >= 0) {
        ::fsync(folderHandle.Get());
    }
    SetPathName(path);
    SetModifiedFlag(false);
    return {};
}

}  // namespace wirelark
