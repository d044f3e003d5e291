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
#include <utility>

#include "store/archive_reader.h"
#include "store/archive_writer.h"

namespace wirelark {

namespace {

DocumentOutcome SystemFailure(DocumentError error, int errorNumber) {
    return {error, errorNumber, std::strerror(errorNumber), {}};
}

// Closes a descriptor on every path out.
class CFileHandle {
public:
    explicit CFileHandle(int fd) : m_fd(fd) {}
    ~CFileHandle() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    CFileHandle(const CFileHandle&) = delete;
    CFileHandle& operator=(const CFileHandle&) = delete;
    int Get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }
    // Closes now and reports the result, which for a written file can carry a late write error.
    int Close() { return ::close(std::exchange(m_fd, -1)); }

private:
    int m_fd;
};

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

// A symbolic link keeps pointing at the saved file: the link's target is what gets replaced.
std::string ResolveSaveTarget(const std::string& path) {
    struct stat linkInfo {};
    if (::lstat(path.c_str(), &linkInfo) == 0 && S_ISLNK(linkInfo.st_mode)) {
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) != nullptr) {
            return resolved;
        }
    }
    return path;
}

// Creates a new file in `folder` under a name no one else uses; -1 with errno on failure.
int CreateTemporary(const std::string& folder, const std::string& baseName, std::string& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder + "/." + baseName + "." + std::to_string(::getpid()) + "." +
               std::to_string(counter.fetch_add(1)) + ".tmp";
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

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
    if (ar.GetStatus() == ReadStatus::IoError) {
        return SystemFailure(DocumentError::CannotOpen, ar.GetErrorNumber());
    }
    return {DocumentError::UnexpectedFormat, 0, ar.GetDetail(), {}};
}

int CDocument::OpenRegularFile(const std::string& path, std::uint64_t& size,
                               DocumentOutcome& failure) {
    // Non-blocking, so that naming a FIFO cannot hang the program before it is refused below.
    CFileHandle file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
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
    CFileHandle file(OpenRegularFile(path, size, failure));
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
        if (!ar.Flush()) {
            return SystemFailure(DocumentError::CannotSave, ar.GetErrorNumber());
        }
        return {};
    });
}

DocumentOutcome CDocument::SaveAtomically(const std::string& path,
                                          const std::function<DocumentOutcome(int fd)>& write) {
    const std::string target = ResolveSaveTarget(path);
    std::string temporary;
    CFileHandle file(CreateTemporary(FolderOf(target), FileNameOf(target), temporary));
    if (file.Get() < 0) {
        return SystemFailure(DocumentError::CannotSave, errno);
    }
    const auto fail = [&temporary](DocumentOutcome outcome) {
        ::unlink(temporary.c_str());
        return outcome;
    };
    struct stat previous {};
    if (::stat(target.c_str(), &previous) == 0 && S_ISREG(previous.st_mode)) {
        // The replacement keeps the permissions the user gave the old file.
        ::fchmod(file.Get(), previous.st_mode & 07777);
    }
    try {
        DocumentOutcome outcome = write(file.Get());
        if (!outcome.Succeeded()) {
            return fail(std::move(outcome));
        }
    } catch (const std::bad_alloc&) {
        return fail(SystemFailure(DocumentError::CannotSave, ENOMEM));
    }
    if (::fsync(file.Get()) != 0 || file.Close() != 0) {
        return fail(SystemFailure(DocumentError::CannotSave, errno));
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return fail(SystemFailure(DocumentError::CannotSave, errno));
    }
    // Makes the rename itself durable; the save has succeeded whatever this reports.
    CFileHandle folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0) {
        ::fsync(folder.Get());
    }
    SetPathName(path);
    SetModifiedFlag(false);
    return {};
}

}  // namespace wirelark
